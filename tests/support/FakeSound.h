#pragma once

#include <string>
#include <vector>

#include "core/Sound.h"

namespace zavo::test {

class FakeSound : public Sound {
public:
    void Play(const std::filesystem::path& w, bool) override { played.push_back(w.filename()); }
    void Beep(int, int) override { ++beeps; }
    std::vector<std::string> played;
    int beeps = 0;
};

}  // namespace zavo::test
