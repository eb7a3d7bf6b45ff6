#pragma once
// The program on the fake controller, as just built (Bench) or initialized in one mode with
// the controller holding what the settings ask, so START uploads only its rate command (Rig).

#include <string>
#include <utility>
#include <vector>

#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "support/FakeUnit.h"
#include "support/TestProgram.h"

namespace zavo::test {

using W = std::vector<std::string>;

inline W Cat(W a, const W& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Bench {
    W Sent() { return std::exchange(tp.port.writes, {}); }
    std::string Status() const { return ui.picStat[1]->Text().trimmed().toStdString(); }

    TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    FakeUnit unit{tp.port, tp.clock};
};

struct Rig : Bench {
    explicit Rig(Int16 mode = 1, bool tumbler = false);
};

}  // namespace zavo::test
