#include "operations/DemagHold.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "core/Activity.h"
#include "core/Clock.h"
#include "core/Context.h"
#include "core/Sound.h"
#include "core/Waits.h"
#include "operations/CoilTemperature.h"
#include "dialogs/Dialogs.h"
#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/StatusLine.h"
#include "maglink/MagLink.h"
#include "operations/StatusReport.h"
#include "panel/Controls.h"
#include "panel/PanelEnabling.h"
#include "panel/SettingsFile.h"

namespace zavo {

namespace {

constexpr double kHoldSeconds = 300;
constexpr const char* kBanner = "** ZAVO";

}  // namespace

DemagHold::DemagHold(Ctx& ctx) : ctx_(ctx) {
    QTimer* t = ctx_.ui->timSD;
    t->setInterval(1000);
    QObject::connect(t, &QTimer::timeout, [this] { timSD_Timer(); });
}

void DemagHold::Hold_Start() {
    sdOnSince_ = ctx_.clock->Now();
    ctx_.ui->timSD->start();
}

void DemagHold::Hold_Stop() {
    sdOnSince_ = 0;
    ctx_.ui->timSD->stop();
    ctx_.ui->lblSD->setText("");
}

void DemagHold::timSD_Timer() {
    Controls& ui = *ctx_.ui;
    // Another operation holds the instrument: try again at the next tick.
    if (ctx_.activity->Active()) return;
    // Restarted without a hold (the demagnetizer was switched on by hand):
    // nothing is being timed, so nothing is switched off.
    if (sdOnSince_ == 0) {
        ui.timSD->stop();
        ui.lblSD->setText("");
        return;
    }
    const double remaining = kHoldSeconds - Timer_Elapsed(*ctx_.clock, sdOnSince_);
    ui.lblSD->setText(QString::number(qRound(remaining)));
    if (remaining <= 0) {
        Hold_Stop();
        if (ctx_.instr.SDActual == 1) {
            Activity::Scope scope(*ctx_.activity);
            ctx_.enabling->Panels_Enable(false);
            if (ctx_.instr.HActual != 0) {
                ctx_.cmds->H_Send(0, false);
                Wait_Seconds(*ctx_.clock, 0.2);
            }
            ctx_.cmds->SD_Send(0, false);
            Wait_Seconds(*ctx_.clock, 0.2);
            ctx_.enabling->Panels_Enable(true);
            if (ctx_.link.CmdFatal) {
                Wait_Seconds(*ctx_.clock, 1);
                if (ctx_.EndProgram) ctx_.EndProgram();
                return;
            }
            ctx_.status->Status_Show(true);
        }
    }
    ctx_.clock->Yield(0);
}

void DemagHold::HotCoil_Warn() {
    float mv = 0;
    ctx_.cmds->Temp_Read(false, mv);
    if (ctx_.link.CmdError || mv <= 0 || mv > kWorkingMV) return;
    ctx_.sound->Beep(1000, 1500);
    ctx_.dialogs->MsgBox_Custom(
        "INCREASED COIL TEMPERATURE!\r\n\r\nIT IS RECOMMENDED TO:\r\n\r\n"
        "-> KEEP THE INSTRUMENT ON\r\n-> PULL THE TUMBLER OUT OF THE COIL",
        kOKOnly + kExclamation, "Warning", 30, "OK");
}

bool DemagHold::Form_QueryUnload() {
    Controls& ui = *ctx_.ui;
    StatusLine& status = *ctx_.status;
    const bool ready = ctx_.run.InstrReady;
    // No closing in the middle of a sequence.
    if (ctx_.run.Busy || ctx_.activity->Active()) return true;

    if (ctx_.settings.TOUCHMODE) {
        ctx_.enabling->Panels_Enable(false);
        status.Lamp(kLightOrange);
        status.Text("EXIT PROGRAM?");
        if (!ctx_.dialogs->MsgBox_Large("YES", "NO")) {
            // An instrument never initialized keeps its panel locked.
            if (ready) ctx_.enabling->Panels_Enable(true);
            status.Status_Show(ready);
            return true;
        }
    } else {
        const int answer =
            ctx_.dialogs->MsgBox_Custom("EXIT PROGRAM?", kYesNo + kQuestion + kDefaultButton2,
                                        "Exiting ZAVO", 5, "&Yes", "&No");
        if (answer != kYes) return true;
    }

    ctx_.maglink->Close();
    if (ready) {
        Activity::Scope scope(*ctx_.activity);
        if (ctx_.settings.TOUCHMODE) {
            ui.cmdStart->setText("YES");
            ui.cmdStop->setText("NO");
        }
        ctx_.cmd->Command_Execute(std::string(1, '\x10'), false, true);
        // Only an instrument that still answers is switched off.
        if (ctx_.link.ReplyText.rfind(kBanner, 0) == 0) {
            ctx_.enabling->Panels_Enable(false);
            status.Lamp(kLightOrange);
            status.Text("SWITCHING OFF...");
            Wait_Seconds(*ctx_.clock, 0.5);
            ctx_.report->Status_Read();
            const InstrumentState& in = ctx_.instr;
            CommandSet& cmds = *ctx_.cmds;
            // The amplifier goes off first.
            if (in.HActual != 0) {
                cmds.H_Send(0, true);
                Wait_Seconds(*ctx_.clock, 0.1);
            }
            if (in.SDActual != 0) {
                cmds.SD_Send(0, true);
                Wait_Seconds(*ctx_.clock, 0.1);
            }
            if (in.SMActual != 0) {
                cmds.SM_Send(0, true);
                Wait_Seconds(*ctx_.clock, 0.1);
            }
            HotCoil_Warn();
            Settings_SaveChecked(ctx_);
        }
    }
    Hold_Stop();
    ctx_.log->Close();
    return false;
}

}  // namespace zavo
