#pragma once
// The program on the fake controller, as just built (Bench) or initialized in one mode with
// the controller holding what the settings ask, so START uploads only its rate command (Rig).

#include <string>
#include <utility>
#include <vector>

#include "core/Widgets.h"
#include "link/StatusLine.h"
#include "operations/Tumbler.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
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
    explicit Rig(Int16 mode = 1, bool tumbler = false) {
        tp.port.Open(1);
        SetTag(ui.cmdStop, "1");  // the port the initialization recorded
        ctx.run.InstrReady = true, ctx.instr.TumblerConnected = 1;
        Settings& s = ctx.settings;
        s.ZAVMODE = mode, ctx.instr.ModeWordWanted = ctx.instr.ModeWordActual = mode == 3 ? 2 : 1;
        unit.pulseUnit = mode == 3, s.DMGFD = 50, s.DMGER = 1, s.TOVFP = 5, s.TOVET = 10;
        s.REKFD = 60, s.REKFA = 20, s.REKFM = 100, s.REKER = 1;
        unit.FD = mode == 1 ? 50 : 60, unit.FA = mode == 2 ? 20 : 0, unit.FM = mode == 2 ? 100 : 0;
        unit.FP = 5, unit.ET = mode == 3 ? 10 : 5, unit.ER = 1, ctx.options->Controls_Enable(false);
        ctx.limits->Limits_Set(), ctx.options->Option_Highlight(ui.optZAVMode[mode]);
        ctx.enabling->Panels_Enable(true), ctx.options->Controls_Enable(true);
        if (tumbler) ui.chkTumbler->setEnabled(true), ui.chkTumbler->SetValue(true);
        ctx.status->Status_Show(true);
        Sent();
    }
};

}  // namespace zavo::test
