#include "operations/RunSequence.h"

#include <QPushButton>
#include <QTimer>

#include "core/Activity.h"
#include "core/Clock.h"
#include "core/Context.h"
#include "core/Sound.h"
#include "core/Waits.h"
#include "operations/CoilTemperature.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/StatusLine.h"
#include "link/TextUtil.h"
#include "maglink/MagLink.h"
#include "maglink/MagProtocol.h"
#include "operations/DemagHold.h"
#include "operations/ModeSwitch.h"
#include "operations/ParamUpload.h"
#include "operations/RunTrace.h"
#include "operations/StatusReport.h"
#include "operations/Tumbler.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/MainWindow.h"
#include "panel/PanelEnabling.h"

namespace zavo {

namespace {

constexpr double kSettle = 0.2;
constexpr Int16 kTumblingSpecimen = 7;
constexpr Int16 kThreeAxes = 8;
const std::string kEsc(1, '\x1b');
const std::string kExecute("G");

}  // namespace

RunSequence::RunSequence(Ctx& ctx) : ctx_(ctx) {
    Controls& ui = *ctx_.ui;
    QObject::connect(ui.cmdStart, &QPushButton::clicked, [this] { Run_Start(); });
    QObject::connect(ui.cmdStop, &QPushButton::clicked, [this] { Run_Abort(); });
}

RunSequence::Next RunSequence::Settle() {
    if (ctx_.link.CmdError) return Next::End;
    Wait_Seconds(*ctx_.clock, kSettle);
    return Check_Stop();
}

RunSequence::Next RunSequence::Check_Stop() const {
    return ctx_.run.StopRequest ? Next::Stop : Next::Go;
}

void RunSequence::Run_Start() {
    // One operation at a time: START inside another one's wait (the Enter
    // key) starts nothing.
    if (ctx_.run.Busy || ctx_.activity->Active()) return;
    if (!ctx_.limits->Input_Validate()) return;
    Activity::Scope scope(*ctx_.activity);
    ctx_.trace->Run_Begin();
    stopped_ = false;
    ctx_.run.Busy = true;
    ctx_.status->Lamp(kLightOrange);
    ctx_.status->Text("STARTING");
    ctx_.enabling->Panels_Enable(false);

    Next how = Start_Common();
    if (how == Next::Go) {
        switch (ctx_.settings.ZAVMODE) {
            case 1:
                how = Demagnetize();
                break;
            case 2:
                how = Anhysteretic();
                break;
            case 3:
                how = Pulses();
                break;
            default:
                how = Next::End;
                break;
        }
    }
    Run_End(how);
}

RunSequence::Next RunSequence::Start_Common() {
    ctx_.report->Status_Read();
    if (ctx_.run.StopRequest) return Next::Stop;
    if (ctx_.link.CmdError) return Next::End;
    ctx_.ui->cmdStop->setEnabled(true);
    ctx_.run.StopRequest = false;
    ctx_.link.RunCancel = false;
    ctx_.hold->Hold_Stop();
    ctx_.upload->Params_Upload();
    if (ctx_.run.StopRequest) return Next::Stop;
    if (ctx_.link.CmdError) return Next::End;
    return Next::Go;
}

RunSequence::Next RunSequence::Power_Stages() {
    const InstrumentState& in = ctx_.instr;
    CommandSet& cmds = *ctx_.cmds;
    // The demagnetizer goes on before the amplifier and off after it.
    if (in.FDActual <= 0) {
        if (in.HActual != 0) {
            cmds.H_Send(0, true);
            if (Next n = Settle(); n != Next::Go) return n;
        }
        if (in.SDActual != 0) {
            cmds.SD_Send(0, true);
            if (Next n = Settle(); n != Next::Go) return n;
        }
    } else {
        if (in.SDActual != 1) {
            cmds.SD_Send(1, true);
            if (Next n = Settle(); n != Next::Go) return n;
        }
        if (in.HActual != 1) {
            cmds.H_Send(1, true);
            if (Next n = Settle(); n != Next::Go) return n;
        }
    }
    return Next::Go;
}

RunSequence::Next RunSequence::Temperature_Wait() {
    switch (WorkingTemperature_Wait(ctx_)) {
        case CoilWait::Warm:
            return Next::Go;
        case CoilWait::Stopped:
            return Next::Stop;
        case CoilWait::Failed:
            break;
    }
    return Next::End;
}

void RunSequence::Execute() {
    ctx_.link.CmdText = kExecute;
    ctx_.trace->Execute_Begin();
    ctx_.cmd->Command_Execute(ctx_.link.CmdText, true, false);
    ctx_.trace->Execute_End();
}

void RunSequence::TimeStamp_Send() {
    // A course the tumbler break or a Cancel cut short is no treatment to
    // stamp.
    if (ctx_.link.RunCancel) return;
    ctx_.maglink->LinkString_Send(TimeStamp_Text(ctx_.clock->Now()));
}

RunSequence::Next RunSequence::Demagnetize() {
    const Settings& s = ctx_.settings;
    const PositionState& p = ctx_.pos;
    Tumbler& tumbler = *ctx_.tumbler;
    if (Next n = Power_Stages(); n != Next::Go) return n;
    if (ctx_.instr.SMActual == 1) {
        ctx_.cmds->SM_Send(0, true);
        if (Next n = Settle(); n != Next::Go) return n;
    }
    const bool axes = p.TumblerUsed && s.DMODE == kThreeAxes;
    const int passes = axes ? 3 : 1;
    for (Int16 AxisPass = 1; AxisPass <= passes; ++AxisPass) {
        if (p.TumblerUsed) {
            if (s.DMODE >= 1 && s.DMODE <= 6)
                tumbler.Tumbler_SetPos(MagPos(s.DMODE, 1), true);
            else if (s.DMODE == kTumblingSpecimen)
                tumbler.TumblerStart_Send(true);
            else if (s.DMODE == kThreeAxes)
                tumbler.Tumbler_SetPos(MagPos(AxisPass, 1), true);
            if (ctx_.link.CmdError) return Next::End;
            // A tumbler the operator gave up on holds no specimen in the coil.
            if (ctx_.link.RunCancel) return Next::End;
            Wait_Seconds(*ctx_.clock, kSettle);
            if (Next n = Check_Stop(); n != Next::Go) return n;
        }
        if (Next n = Temperature_Wait(); n != Next::Go) return n;
        if (Next n = Check_Stop(); n != Next::Go) return n;
        Execute();
        if (ctx_.link.CmdError) return Next::End;
        if (Next n = Check_Stop(); n != Next::Go) return n;
        TimeStamp_Send();
        if (p.TumblerUsed) {
            if ((s.DMODE >= 1 && s.DMODE <= 6) || s.DMODE == kThreeAxes)
                tumbler.Tumbler_SetPos(0, true);
            else if (s.DMODE == kTumblingSpecimen)
                tumbler.TumblerInit_Send(true);
            if (ctx_.link.CmdError) return Next::End;
            Wait_Seconds(*ctx_.clock, kSettle);
            if (Next n = Check_Stop(); n != Next::Go) return n;
        }
        if (ctx_.link.RunCancel) return Next::End;
    }
    return Next::End;
}

RunSequence::Next RunSequence::Magnetizer_Prepare(bool on) {
    if (ctx_.instr.SMActual != Int16(on)) ctx_.cmds->SM_Send(Int16(on), true);
    if (Next n = Settle(); n != Next::Go) return n;
    if (ctx_.pos.MPos != 0) {
        ctx_.tumbler->Tumbler_SetPos(ctx_.pos.MPos, true);
        if (Next n = Settle(); n != Next::Go) return n;
        // A tumbler the operator gave up on holds no specimen in the coil.
        if (ctx_.link.RunCancel) return Next::End;
    }
    return Next::Go;
}

RunSequence::Next RunSequence::Anhysteretic() {
    if (Next n = Power_Stages(); n != Next::Go) return n;
    // The magnetizer switch follows the DC bias.
    if (Next n = Magnetizer_Prepare(ctx_.instr.FMActual > 0); n != Next::Go) return n;
    if (Next n = Temperature_Wait(); n != Next::Go) return n;
    if (Next n = Check_Stop(); n != Next::Go) return n;
    Execute();
    // A failed course is no treatment: nothing is stamped, nothing steps on.
    if (ctx_.link.CmdError) return Next::End;
    if (Next n = Check_Stop(); n != Next::Go) return n;
    Wait_Seconds(*ctx_.clock, kSettle);
    if (Next n = Check_Stop(); n != Next::Go) return n;
    return Magnetizer_Finish();
}

RunSequence::Next RunSequence::Pulses() {
    if (Next n = Magnetizer_Prepare(ctx_.instr.FPActual >= 1); n != Next::Go) return n;
    // The direction command stores each confirmed polarity for the meters;
    // the operator's choice comes back however the series ends.
    const Int16 chosen = ctx_.settings.TOVDIR;
    const Next n = Pulse_Series();
    ctx_.settings.TOVDIR = chosen;
    if (n != Next::Go) return n;
    return Magnetizer_Finish();
}

RunSequence::Next RunSequence::Pulse_Series() {
    const Settings& s = ctx_.settings;
    // Alternating pulses: an even number starts opposite, so the last one
    // has the chosen polarity.
    int d = s.TOVDIR - 1;
    if (s.TOVNUM % 2 == 0) d = 1 - d;
    for (int i = 1; i <= s.TOVNUM; ++i) {
        ctx_.cmds->D_Send(Int16(d + 1), false);
        d = 1 - d;
        if (Next n = Check_Stop(); n != Next::Go) return n;
        if (ctx_.link.CmdError) return Next::End;
        Execute();
        if (ctx_.link.CmdError) return Next::End;
        Wait_Seconds(*ctx_.clock, 0.01);
        if (Next n = Check_Stop(); n != Next::Go) return n;
        if (ctx_.link.RunCancel) break;
    }
    return Next::Go;
}

RunSequence::Next RunSequence::Magnetizer_Finish() {
    TimeStamp_Send();
    if (ctx_.pos.MPos != 0) {
        ctx_.tumbler->Tumbler_SetPos(0, true);
        if (!ctx_.link.CmdError) Wait_Seconds(*ctx_.clock, kSettle);
    }
    return Next::End;
}

void RunSequence::Run_End(Next how) {
    Controls& ui = *ctx_.ui;
    CommandLink& link = *ctx_.cmd;
    if (how == Next::Stop) {
        // What the controller still says after the Esc.
        double t = 3;
        link.Reply_Read(t);
        stopped_ = true;
    }
    if (ctx_.link.CmdText == kExecute && ctx_.run.StopRequest) {
        double t = 3;
        link.Reply_Read(t);
    }
    if (ctx_.link.CmdError) return Error_End();
    ctx_.run.StopRequest = false;
    if (ctx_.instr.HActual == 1) {
        // The amplifier never stays on after a run.
        ctx_.cmds->H_Send(0, true);
        if (ctx_.link.CmdError) return Error_End();
        Wait_Seconds(*ctx_.clock, kSettle);
        if (ctx_.run.StopRequest) return Error_End();
    }
    // Steps by what the boxes show: the record may still say "on" after the
    // boxes were cleared without their handler.
    const bool autoNext = ui.chkAutoNext->isChecked() || ui.chkAutoNextT->isChecked();
    ctx_.pos.AutoNext = autoNext;
    const Int16 mode = ctx_.settings.ZAVMODE;
    if ((mode == 2 || mode == 3) && autoNext && !stopped_ && !ctx_.link.RunCancel)
        ctx_.tumbler->MagPos_Next();

    ctx_.enabling->Panels_Enable(true);
    ctx_.sound->Beep(500, 500);
    ui.cmdStop->setEnabled(false);
    ctx_.status->Status_Show(true);
    ctx_.clock->Yield(0);
    Wait_Seconds(*ctx_.clock, 0.02);
    if (ctx_.instr.SDActual == 1) ctx_.hold->Hold_Start();
    ctx_.run.Busy = false;
    // Cut short by the operator or the tumbler: the journal says so.
    const bool cut = stopped_ || ctx_.link.RunCancel;
    ctx_.link.RunCancel = false;
    ctx_.trace->Run_End(cut ? RunTrace::Outcome::Stopped : RunTrace::Outcome::Done,
                        ui.picStat[1]->Text().trimmed());

    if (ui.chkAutoSwitch->isChecked())
        ctx_.modes->ZAVMode_Set(mode == 1 ? ctx_.instr.MagMode : Int16(1));
}

void RunSequence::Error_End() {
    Controls& ui = *ctx_.ui;
    ctx_.run.Busy = false;
    ui.cmdStop->setEnabled(false);
    ctx_.run.StopRequest = false;
    ctx_.trace->Run_End(RunTrace::Outcome::Error, ui.picStat[1]->Text().trimmed());
    if (!ctx_.link.CmdFatal) {
        ctx_.enabling->Panels_Enable(true);
        ctx_.status->Status_Show(true);
        // The amplifier and demagnetizer stay on after a failed course; the
        // hold switches them off in time, as after any run.
        if (ctx_.instr.SDActual == 1) ctx_.hold->Hold_Start();
        return;
    }
    ctx_.hold->Fatal_End();
}

void RunSequence::Run_Abort() {
    Controls& ui = *ctx_.ui;
    ui.cmdStop->setEnabled(false);
    if (ctx_.window) ctx_.window->repaint();
    ctx_.run.StopRequest = true;
    ctx_.clock->Yield(0);
    if (ctx_.window) ctx_.window->repaint();
    ui.timLEDBlink->stop();
    ctx_.status->Lamp(kRed);
    // No port was ever recorded: there is nobody to tell.
    if (Tag(ui.cmdStop).toInt() == 0) return;
    CommandLink& link = *ctx_.cmd;
    link.Command_Send(kEsc);
    const std::string inProgress = ctx_.link.CmdText;
    if (inProgress != "IP" && inProgress != "G") {
        double t = 5;
        link.Reply_Read(t);
    }
    ctx_.clock->Yield(0);
    if (inProgress == "G") {
        Wait_Seconds(*ctx_.clock, kSettle);
        link.Command_Send(kEsc);
    }
}

}  // namespace zavo
