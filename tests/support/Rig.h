#pragma once
// The program on the fake controller: as just built (Bench), or initialized in
// one instrument mode with the controller already holding what the settings
// ask for, so that START's upload sends only its opening rate command (Rig).

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
    // The commands written since the last call.
    W Sent() { return std::exchange(tp.port.writes, {}); }
    // The status line's text, trimmed.
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
