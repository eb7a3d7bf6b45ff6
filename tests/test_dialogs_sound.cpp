// Sounds never stop the program: every wait ends within a bound on the program's clock.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "core/QtSound.h"
#include "support/FakeClock.h"

using namespace zavo;
namespace fs = std::filesystem;

// A silent 0.2 s wave file (22050 Hz, 16-bit mono, 8820 data bytes) with a chunk before the data.
static fs::path Wav(const fs::path& path) {
    const char head[] =
        "RIFF\xa6\x22\0\0WAVEfmt \x10\0\0\0\1\0\1\0\x22\x56\0\0\x44\xac\0\0\2\0\x10\0"
        "LIST\6\0\0\0INFOx\0data\x74\x22\0\0";
    std::ofstream(path, std::ios::binary) << std::string(head, 58) << std::string(8820, '\0');
    return path;
}

TEST(Sound, WaveLengthFromTheHeaderAndWaitsBoundedByIt) {
    const QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString(), wav = Wav(dir / "a.wav");
    EXPECT_DOUBLE_EQ(Wav_Seconds(wav), 0.2);
    std::ofstream(dir / "junk.wav", std::ios::binary) << "RIFF\xff\xff\xff\xffWAVEdata";
    EXPECT_EQ(Wav_Seconds(dir / "junk.wav"), 0);

    test::FakeClock c;
    QtSound sound(c);
    sound.Play(dir / "missing.wav", true);
    sound.Play(dir, true);  // a folder, not a file
    sound.Play(wav, false);
    sound.Beep(880, 0);
    sound.Beep(-5, -5);                // nonsense is silence, not a fault
    EXPECT_EQ(c.Absolute(), 36000.0);  // none of these waits
    sound.Play(wav, true);
    sound.Play(wav, true);  // the second time from the loaded sound
    sound.Beep(880, 200);
    EXPECT_LE(c.Absolute() - 36000.0, 2 * (1.2 + 0.06) + 0.7 + 0.06);
}
