#pragma once

#include <filesystem>

namespace zavo {

class Clock;

class Sound {
public:
    virtual ~Sound() = default;
    // Plays a wave file; with waitToEnd the call returns when it has played
    // (the event loop keeps running meanwhile). A missing file plays nothing.
    virtual void Play(const std::filesystem::path& wav, bool waitToEnd) = 0;
    virtual void Beep(int frequencyHz, int milliseconds) = 0;
};

}  // namespace zavo
