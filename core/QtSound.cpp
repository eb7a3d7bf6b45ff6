#include "core/QtSound.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QFile>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/Clock.h"
#include "core/Waits.h"

namespace zavo {

namespace {

// A file whose length cannot be read is waited for at most this long.
constexpr double kUnknownLength = 5.0;

bool Audio_Present() {
    return !QMediaDevices::defaultAudioOutput().isNull();
}

}  // namespace

double Wav_Seconds(const std::filesystem::path& wav) {
    QFile f(QString::fromStdString(wav.string()));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray b = f.read(1 << 20);
    if (b.size() < 12 || !b.startsWith("RIFF") || b.mid(8, 4) != "WAVE") return 0;
    quint32 byteRate = 0;
    qsizetype at = 12;
    while (at + 8 <= b.size()) {
        const QByteArray id = b.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(b.constData() + at + 4);
        if (id == "fmt " && at + 20 <= b.size())
            byteRate = qFromLittleEndian<quint32>(b.constData() + at + 16);
        if (id == "data") return byteRate ? double(size) / byteRate : 0;
        at += 8 + qsizetype(size) + (size & 1);
    }
    return 0;
}

QtSound::QtSound(Clock& clock) : clock_(clock) {}
QtSound::~QtSound() = default;

void QtSound::Play(const std::filesystem::path& wav, bool waitToEnd) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(wav, ec) || !Audio_Present()) return;
    auto& effect = effects_[wav.string()];
    if (!effect) {
        effect = std::make_unique<QSoundEffect>();
        effect->setSource(QUrl::fromLocalFile(QString::fromStdString(wav.string())));
    }
    effect->play();  // a sound still loading starts once it is loaded
    if (!waitToEnd) return;

    const double length = Wav_Seconds(wav);
    const double bound = std::min(30.0, (length > 0 ? length : kUnknownLength) + 1.0);
    const double start = clock_.Now();
    bool started = false;
    for (;;) {
        const double elapsed = Timer_Elapsed(clock_, start);
        if (elapsed >= bound || effect->status() == QSoundEffect::Error) break;
        if (effect->isPlaying()) {
            started = true;
        } else if (effect->status() == QSoundEffect::Ready && (started || elapsed > 0.5)) {
            break;
        }
        clock_.Yield(std::min(0.05, bound - elapsed));
    }
}

void QtSound::Beep(int frequencyHz, int milliseconds) {
    const int ms = std::clamp(milliseconds, 0, 5000);
    if (ms == 0) return;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    QAudioFormat format;
    format.setSampleRate(22050);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (device.isNull() || !device.isFormatSupported(format)) {
        if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
        return;
    }

    // A sine tone with 5 ms ramps at both ends, so it does not click.
    const double hz = std::clamp(frequencyHz, 37, 11000);
    const int samples = format.sampleRate() * ms / 1000;
    const int ramp = format.sampleRate() / 200;
    QByteArray pcm(qsizetype(samples) * 2, '\0');
    auto* out = reinterpret_cast<qint16*>(pcm.data());
    for (int i = 0; i < samples; ++i) {
        const double edge = std::min({1.0, double(i) / ramp, double(samples - 1 - i) / ramp});
        const double v = 0.4 * edge * std::sin(2 * std::numbers::pi * hz * i / format.sampleRate());
        out[i] = qint16(std::lround(v * 32767));
    }
    QBuffer buffer(&pcm);
    buffer.open(QIODevice::ReadOnly);
    QAudioSink sink(device, format);
    sink.start(&buffer);
    const double start = clock_.Now();
    const double bound = ms / 1000.0 + 0.5;
    for (;;) {
        const double elapsed = Timer_Elapsed(clock_, start);
        if (elapsed >= bound || sink.state() == QAudio::StoppedState) break;
        if (sink.state() == QAudio::IdleState && buffer.atEnd()) break;
        clock_.Yield(std::min(0.05, bound - elapsed));
    }
    sink.stop();
}

}  // namespace zavo
