#include "support/Rig.h"

#include "core/Widgets.h"
#include "link/StatusLine.h"
#include "operations/Tumbler.h"
#include "panel/Limits.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"

namespace zavo::test {

Rig::Rig(Int16 mode, bool tumbler) {
    tp.port.Open(1);
    SetTag(ui.cmdStop, "1");  // the port the initialization recorded
    ctx.run.InstrReady = true;
    ctx.instr.TumblerConnected = 1;
    Settings& s = ctx.settings;
    s.ZAVMODE = mode;
    ctx.instr.ModeWordWanted = ctx.instr.ModeWordActual = mode == 3 ? 2 : 1;
    unit.pulseUnit = mode == 3;
    s.DMGFD = 50, s.DMGER = 1;
    s.REKFD = 60, s.REKFA = 20, s.REKFM = 100, s.REKER = 1;
    s.TOVFP = 5, s.TOVET = 10;
    unit.FD = mode == 1 ? 50 : 60, unit.FA = mode == 2 ? 20 : 0, unit.FM = mode == 2 ? 100 : 0;
    unit.FP = 5, unit.ET = mode == 3 ? 10 : 5, unit.ER = 1;
    ctx.options->Controls_Enable(false);
    ctx.limits->Limits_Set();
    ctx.options->Option_Highlight(ui.optZAVMode[mode]);
    ctx.enabling->Panels_Enable(true);
    ctx.options->Controls_Enable(true);
    if (tumbler) ui.chkTumbler->setEnabled(true), ui.chkTumbler->SetValue(true);
    ctx.status->Status_Show(true);
    Sent();
}

}  // namespace zavo::test
