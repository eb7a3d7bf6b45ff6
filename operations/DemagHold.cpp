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
#include "link/TextUtil.h"
#include "link/SerialPort.h"
#include "maglink/MagLink.h"
#include "operations/Journal.h"
#include "operations/RunSequence.h"
#include "operations/RunTrace.h"
#include "operations/StatusReport.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
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
    if (ctx_.port) ctx_.port->OnLost = [this] { Port_Lost(); };
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

void DemagHold::Hold_Resume() {
    if (ctx_.instr.SDActual == 1 && sdOnSince_ != 0)
        ctx_.ui->timSD->start();
    else
        Hold_Stop();
}

void DemagHold::timSD_Timer() {
    Controls& ui = *ctx_.ui;
    // Another operation holds the instrument: try again at the next tick.
    if (ctx_.activity->Active()) return;
    // Restarted without a hold (the demagnetizer was switched on by hand), or
    // something else switched the demagnetizer off: nothing is being timed.
    if (sdOnSince_ == 0 || ctx_.instr.SDActual != 1) {
        Hold_Stop();
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
            if (ctx_.link.CmdFatal) return Fatal_End();
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

bool DemagHold::Stages_Off() {
    StatusLine& status = *ctx_.status;
    ctx_.cmd->Command_Execute(std::string(1, '\x10'), false, true);
    if (ctx_.link.ReplyText.rfind(kBanner, 0) != 0) return false;
    ctx_.enabling->Panels_Enable(false);
    status.Lamp(kLightOrange);
    status.Text("SWITCHING OFF...");
    Wait_Seconds(*ctx_.clock, 0.5);
    ctx_.report->Status_Read();
    // Without a report nothing is known to be off: everything is switched off.
    const bool known = !ctx_.link.CmdError;
    const InstrumentState& in = ctx_.instr;
    CommandSet& cmds = *ctx_.cmds;
    // The amplifier goes off first.
    if (!known || in.HActual != 0) {
        cmds.H_Send(0, true);
        Wait_Seconds(*ctx_.clock, 0.1);
    }
    if (!known || in.SDActual != 0) {
        cmds.SD_Send(0, true);
        Wait_Seconds(*ctx_.clock, 0.1);
    }
    if (!known || in.SMActual != 0) {
        cmds.SM_Send(0, true);
        Wait_Seconds(*ctx_.clock, 0.1);
    }
    return true;
}

bool DemagHold::Form_QueryUnload() {
    Controls& ui = *ctx_.ui;
    StatusLine& status = *ctx_.status;
    const bool ready = ctx_.run.InstrReady;
    if (closed_) return false;
    // No closing in the middle of a sequence.
    if (ctx_.run.Busy || ctx_.activity->Active()) return true;

    if (terminating_) {
        // Nobody is asked: the session is ending.
    } else if (ctx_.settings.TOUCHMODE) {
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
        // Only an instrument that still answers is switched off.
        if (!ctx_.link.InstrumentLost && Stages_Off()) {
            if (!terminating_) HotCoil_Warn();
            Settings_SaveChecked(ctx_);
        }
    }
    // Journal rows still unwritten go beside the journal, and the operator is
    // told (in the daily log when the session ends and nobody is asked).
    if (const Journal::Unsaved unsaved = ctx_.trace->Log().Unsaved_Save(); unsaved.rows > 0) {
        if (terminating_)
            ctx_.log->Record(ToBytes(unsaved.Text().replace('\n', ' ')));
        else
            ctx_.dialogs->MsgBox_Custom(unsaved.Text(), kOKOnly + kExclamation,
                                        "Journal Not Written", 30, "OK");
    }
    Hold_Stop();
    ctx_.log->Close();
    closed_ = true;
    return false;
}

void DemagHold::Fatal_End() {
    if (ending_) return;
    ending_ = true;
    const QString why = ctx_.ui->picStat[1]->Text().trimmed();
    Hold_Stop();
    // The operation that failed is over: its STOP would cut the switch-off.
    ctx_.run.StopRequest = false;
    bool off = false;
    if (!ctx_.link.InstrumentLost && ctx_.port->IsOpen()) {
        Activity::Scope scope(*ctx_.activity);
        off = Stages_Off();
    }
    ctx_.status->Lamp(kLightOrange);
    ctx_.status->Text("SWITCHING OFF...");
    if (ctx_.log) {
        ctx_.log->Record(ToBytes("ZAVO ENDS: " + why +
                                 (off ? " - STAGES SWITCHED OFF" : " - INSTRUMENT NOT REACHED")));
    }
    Wait_Seconds(*ctx_.clock, 1);
    if (ctx_.EndProgram) ctx_.EndProgram();
}

void DemagHold::Port_Lost() {
    // A late word about a port opened again since is no loss.
    if (ctx_.link.CmdFatal || ending_ || !ctx_.port->Failed()) return;
    // A running operation meets the failure at its next exchange; whatever
    // is left unnoticed is told when it has ended.
    if (ctx_.activity->Active()) {
        ctx_.activity->When_Idle("link.lost", [this] { Port_Lost(); });
        return;
    }
    {
        Activity::Scope scope(*ctx_.activity);
        ctx_.cmd->Loss_Report();
    }
    if (ctx_.link.CmdFatal) Fatal_End();
}

void DemagHold::Terminate() {
    if (closed_ || ending_) return;
    if (!terminating_ && ctx_.log) ctx_.log->Record("TERMINATION SIGNAL: THE PROGRAM CLOSES");
    terminating_ = true;
    // An open question is answered the cautious way; a run or initialization
    // is stopped as ABORT stops it.
    ctx_.dialogs->Dismiss();
    if (ctx_.run.Busy && !ctx_.run.StopRequest) ctx_.run_ops->Run_Abort();
    // Not from inside a dialog's or an operation's loop: from the event loop.
    QTimer::singleShot(0, ctx_.ui->timSD, [this] { Terminate_Close(); });
}

void DemagHold::Terminate_Close() {
    if (closed_ || ending_) return;
    if (ctx_.dialogs->Showing() > 0) {
        QTimer::singleShot(50, ctx_.ui->timSD, [this] { Terminate_Close(); });
        return;
    }
    if (ctx_.run.Busy || ctx_.activity->Active()) {
        ctx_.activity->When_Idle("exit.terminate", [this] {
            QTimer::singleShot(0, ctx_.ui->timSD, [this] { Terminate_Close(); });
        });
        return;
    }
    if (Form_QueryUnload()) return;
    if (ctx_.window) ctx_.window->close();
}

}  // namespace zavo
