#pragma once

#include <string>
#include <vector>

#include "core/Sound.h"

namespace zavo::test {

class FakeSound : public Sound {
public:
    void Play(const std::filesystem::path& wav, bool) override {
        played.push_back(wav.filename().string());
    }
    void Beep(int, int) override { ++beeps; }
    std::vector<std::string> played;
    int beeps = 0;
};

}  // namespace zavo::test
