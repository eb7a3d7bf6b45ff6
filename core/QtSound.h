#pragma once

#include <map>
#include <memory>
#include <string>

#include "core/Sound.h"

class QSoundEffect;

namespace zavo {

// Sounds through Qt Multimedia. Without an audio device, or without the file,
// nothing plays and nothing waits; sound never stops the program.
class QtSound : public Sound {
  public:
    explicit QtSound(Clock& clock);
    ~QtSound() override;
    QtSound(const QtSound&) = delete;
    QtSound& operator=(const QtSound&) = delete;

    void Play(const std::filesystem::path& wav, bool waitToEnd) override;
    // A generated tone; returns when it has sounded (at most 5 s).
    void Beep(int frequencyHz, int milliseconds) override;

  private:
    Clock& clock_;
    // Loaded once per file: the click sound is played often.
    std::map<std::string, std::unique_ptr<QSoundEffect>> effects_;
};

// Playing time of a PCM wave file in seconds; 0 when it cannot be read as one.
double Wav_Seconds(const std::filesystem::path& wav);

}  // namespace zavo
