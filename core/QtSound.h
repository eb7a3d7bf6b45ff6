#pragma once

#include "core/Sound.h"

namespace zavo {

// Sounds through Qt Multimedia.
class QtSound : public Sound {
public:
    explicit QtSound(Clock& clock);
    void Play(const std::filesystem::path& wav, bool waitToEnd) override;
    void Beep(int frequencyHz, int milliseconds) override;

private:
    Clock& clock_;
};

}  // namespace zavo
