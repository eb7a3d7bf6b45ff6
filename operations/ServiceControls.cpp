#include "operations/ServiceControls.h"

#include <QPushButton>

#include "core/Activity.h"
#include "core/Context.h"
#include "core/Waits.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "operations/DemagHold.h"
#include "operations/ParamUpload.h"
#include "operations/StatusReport.h"
#include "panel/Controls.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"

namespace zavo {

ServiceControls::ServiceControls(Ctx& ctx) : ctx_(ctx) {
    Controls& ui = *ctx_.ui;
    for (int i = 0; i < 2; ++i) {
        connect(ui.cmdSD[i], &QPushButton::clicked, this, [this, i] { cmdSD_Click(i); });
        connect(ui.cmdSM[i], &QPushButton::clicked, this, [this, i] { cmdSM_Click(i); });
        connect(ui.cmdH[i], &QPushButton::clicked, this, [this, i] { cmdH_Click(i); });
        connect(ui.cmdService[i], &QPushButton::clicked, this, [this, i] { cmdService_Click(i); });
    }
    for (int i = 0; i < int(ui.cmdControl.size()); ++i)
        connect(ui.cmdControl[i], &QPushButton::clicked, this, [this, i] { cmdControl_Click(i); });
    connect(ui.cmdARMSet, &QPushButton::clicked, this, [this] { cmdARMSet_Click(); });
    connect(ctx_.activity, &Activity::Changed, this,
            [this](bool active) { Buttons_Enable(!active); });
}

std::vector<QPushButton*> ServiceControls::Buttons() const {
    const Controls& ui = *ctx_.ui;
    std::vector<QPushButton*> b;
    for (const auto* pair : {&ui.cmdSD, &ui.cmdSM, &ui.cmdH, &ui.cmdService})
        b.insert(b.end(), pair->begin(), pair->end());
    b.insert(b.end(), ui.cmdControl.begin(), ui.cmdControl.end());
    b.push_back(ui.cmdARMSet);
    b.insert(b.end(), ui.cmdTumbler.begin(), ui.cmdTumbler.begin() + 3);
    b.push_back(ui.cmdTestTimes);
    return b;
}

void ServiceControls::Buttons_Enable(bool on) {
    const std::vector<QPushButton*> buttons = Buttons();
    // A disabled button passes its focus on along the tab chain, which may be
    // a parameter box that validates the panel on entry: park it instead.
    if (!on)
        for (QPushButton* b : buttons)
            if (b->hasFocus()) ctx_.options->Focus_Sink();
    for (QPushButton* b : buttons) b->setEnabled(on);
}

bool ServiceControls::Refused() const {
    return ctx_.activity->Interleaves();
}

template <class F>
void ServiceControls::Panels_Locked(F fn) {
    // Before the initialization the panel stays locked whatever a service
    // button did.
    const bool unlocked = ctx_.ui->cmdStart->isEnabled();
    ctx_.enabling->Panels_Enable(false);
    fn();
    if (unlocked) ctx_.enabling->Panels_Enable(true);
}

// A stop request left over from an earlier ABORT would end every exchange
// below at its first wait: each button begins with it cleared.

void ServiceControls::cmdSD_Click(int Index) {
    if (Refused()) return;
    Activity::Scope scope(*ctx_.activity);
    ctx_.run.StopRequest = false;
    Panels_Locked([&] {
        ctx_.cmds->SD_Send(Int16(Index), false);
        // The demagnetizer's hold count no longer applies.
        ctx_.hold->Hold_Stop();
    });
}

void ServiceControls::cmdSM_Click(int Index) {
    if (Refused()) return;
    Activity::Scope scope(*ctx_.activity);
    ctx_.run.StopRequest = false;
    ctx_.cmds->SM_Send(Int16(Index), false);
}

void ServiceControls::cmdH_Click(int Index) {
    if (Refused()) return;
    Activity::Scope scope(*ctx_.activity);
    ctx_.run.StopRequest = false;
    ctx_.cmds->H_Send(Int16(Index), false);
}

void ServiceControls::cmdService_Click(int Index) {
    if (Refused()) return;
    Activity::Scope scope(*ctx_.activity);
    ctx_.run.StopRequest = false;
    // Ctrl-T announces a service key; Ctrl-C leaves, Ctrl-S enters.
    ctx_.cmd->Command_Execute("\x14", false, false);
    Wait_Seconds(*ctx_.clock, 0.02);
    ctx_.cmd->Command_Execute(Index == 0 ? "\x03" : "\x13", false, false);
}

void ServiceControls::cmdControl_Click(int Index) {
    if (Index < 0 || Index > 5 || Refused()) return;
    Activity::Scope scope(*ctx_.activity);
    ctx_.run.StopRequest = false;
    Panels_Locked([&] {
        switch (Index) {
            case 0:
                ctx_.cmds->WPToggle_Send();
                break;
            case 1:
                ctx_.cmd->Command_Execute("\x10", false, false);
                break;
            case 2:
                ctx_.report->Status_Read();
                break;
            case 3:
                ctx_.cmd->Command_Execute("IE", false, false);
                break;
            case 4: {
                float mv = 0;
                ctx_.cmds->Temp_Read(false, mv);
                break;
            }
            default:
                ctx_.cmds->J_Send(false);
                break;
        }
    });
}

void ServiceControls::cmdARMSet_Click() {
    if (Refused()) return;
    Activity::Scope scope(*ctx_.activity);
    ctx_.run.StopRequest = false;
    Panels_Locked([&] {
        ctx_.report->Status_Read();
        // Without a fresh report "only what differs" would be guessed from
        // old values.
        if (ctx_.link.CmdError || ctx_.link.CmdFatal) return;
        ctx_.upload->Params_Upload();
    });
}

}  // namespace zavo
