// Sounds never stop the program: missing files, no audio device and slow
// back ends all end within a bound measured on the program's clock.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include "core/QtSound.h"
#include "support/FakeClock.h"

using namespace zavo;
using zavo::test::FakeClock;

namespace {

template <class T>
QByteArray Le(T v) {
    QByteArray b(sizeof(T), '\0');
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray Le32(quint32 v) {
    return Le(v);
}
QByteArray Le16(quint16 v) {
    return Le(v);
}

// A silent 16-bit mono PCM file, optionally with a chunk before the data.
std::filesystem::path Wav_Write(const QString& path, int rate, double seconds, bool listChunk) {
    const quint32 bytes = quint32(rate * seconds) * 2;
    QByteArray body = "WAVE";
    body += "fmt " + Le32(16) + Le16(1) + Le16(1) + Le32(quint32(rate)) + Le32(quint32(rate) * 2) +
            Le16(2) + Le16(16);
    if (listChunk) body += "LIST" + Le32(5) + QByteArray("INFOx", 5) + QByteArray(1, '\0');
    body += "data" + Le32(bytes) + QByteArray(qsizetype(bytes), '\0');
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("RIFF" + Le32(quint32(body.size())) + body);
    return path.toStdString();
}

}  // namespace

TEST(Sound, WaveLengthFromTheHeader) {
    QTemporaryDir dir;
    EXPECT_DOUBLE_EQ(Wav_Seconds(Wav_Write(dir.filePath("a.wav"), 8000, 0.25, false)), 0.25);
    EXPECT_DOUBLE_EQ(Wav_Seconds(Wav_Write(dir.filePath("b.wav"), 22050, 1.0, true)), 1.0);
    QFile junk(dir.filePath("junk.wav"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("RIFF\xff\xff\xff\xffWAVEdata");
    junk.close();
    EXPECT_EQ(Wav_Seconds(dir.filePath("junk.wav").toStdString()), 0);
    EXPECT_EQ(Wav_Seconds(dir.filePath("missing.wav").toStdString()), 0);
}

TEST(Sound, MissingFilePlaysNothingAndDoesNotWait) {
    FakeClock clock;
    QtSound sound(clock);
    sound.Play("/nonexistent/sounds/start.wav", true);
    sound.Play(std::filesystem::temp_directory_path(), true);  // a folder, not a file
    EXPECT_EQ(clock.Yields(), 0);
}

TEST(Sound, WaitingForASoundEndsWithinItsLength) {
    QTemporaryDir dir;
    const auto wav = Wav_Write(dir.filePath("click.wav"), 8000, 0.2, false);
    FakeClock clock;
    QtSound sound(clock);
    for (int i = 0; i < 2; ++i) {  // the second time from the loaded sound
        const double start = clock.Absolute();
        sound.Play(wav, true);
        EXPECT_LE(clock.Absolute() - start, 1.2 + 0.06);
    }
    const double start = clock.Absolute();
    sound.Play(wav, false);
    EXPECT_EQ(clock.Absolute(), start);
}

TEST(Sound, BeepEndsWithinItsLength) {
    FakeClock clock;
    QtSound sound(clock);
    sound.Beep(880, 200);
    EXPECT_LE(clock.Absolute() - 36000.0, 0.7 + 0.06);
    sound.Beep(880, 0);
    sound.Beep(-5, -5);  // nonsense is silence, not a fault
}
