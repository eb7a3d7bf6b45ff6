#include "operations/InstrumentInit.h"

#include <QLabel>
#include <QPushButton>

#include "core/Activity.h"
#include "core/Clock.h"
#include "core/Context.h"
#include "core/Waits.h"
#include "core/Widgets.h"
#include "dialogs/Dialogs.h"
#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/PortSearch.h"
#include "link/SerialPort.h"
#include "link/StatusLine.h"
#include "link/TextUtil.h"
#include "operations/FreqOptimize.h"
#include "operations/CoilTemperature.h"
#include "operations/DemagHold.h"
#include "operations/ModeSwitch.h"
#include "operations/Tumbler.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"

namespace zavo {

namespace {

// The AC frequency is searched again when it is older than this.
constexpr qint64 kFrequencyDays = 30;
constexpr Int16 kUserMode = 7;

}  // namespace

InstrumentInit::InstrumentInit(Ctx& ctx) : ctx_(ctx) {}

void InstrumentInit::Instrument_Init() {
    RunFlags& run = ctx_.run;
    // Done already, or asked again (a key) while it runs.
    if (run.InstrReady || ctx_.activity->Active()) return;
    Activity::Scope scope(*ctx_.activity);
    Settings& s = ctx_.settings;
    LinkState& link = ctx_.link;
    Controls& ui = *ctx_.ui;
    Clock& clock = *ctx_.clock;
    PortSearch& ports = *ctx_.search;
    const bool& stop = run.StopRequest;
    auto failed = [&] { return link.CmdError || link.CmdFatal; };

    run.Busy = true;
    ui.cmdInit->setEnabled(false);
    // STOP ends the initialization (and with it the program).
    ui.cmdStop->setEnabled(true);

    // Each block runs only when the ones before left no reason to end.
    bool ended = false;
    auto endIf = [&](bool why) { return ended = ended || why; };

    ports.Port_Close();
    if (!ports.Port_Search()) {
        link.CmdFatal = true;
        ended = true;
    }
    if (!ended && !s.SIMULMODE) {
        Wait_Seconds(clock, 0.1);
        if (!ports.Port_Open(s.COMM)) {
            // Gone between the search and now (unplugged, taken by another program).
            const QString text = "## COM" + QString::number(s.COMM) + " CANNOT BE OPENED";
            ctx_.status->Lamp(kRed);
            ctx_.status->Text(text);
            if (ctx_.log)
                ctx_.log->Record(ToBytes(text + ": " + FromBytes(ctx_.port->LastError())));
            Wait_Seconds(clock, 3);
            link.CmdFatal = true;
            ended = true;
        }
        Wait_Seconds(clock, 0.1);
    }
    if (!endIf(stop)) {
        // ABORT sends its Esc only to a port named here.
        SetTag(ui.cmdStop, QString::number(s.COMM));
        ctx_.cmd->Command_Execute(std::string{20, 3}, false, false);
        Wait_Seconds(clock, 0.1);
    }
    // A lost instrument is not asked anything more.
    if (!endIf(stop || link.CmdFatal)) ctx_.cmd->Command_Execute("B0", false, false);

    // The wait ends warm, on STOP or on a failed reading; the last two end here.
    if (!endIf(stop || link.CmdFatal) && WorkingTemperature_Wait(ctx_) != CoilWait::Warm)
        endIf(true);

    if (!ended) {
        const QDate last = s.FREQDATE;
        const bool old = !last.isValid() || last.daysTo(clock.Today()) > kFrequencyDays;
        if (old && !Frequency_Renew()) {
            link.CmdFatal = true;
            ended = true;
        }
    }
    bool tumblerKnown = false;
    if (!ended && !failed() && !endIf(stop)) {
        // A unit in a state the program does not know cannot serve the saved
        // magnetizer mode: DEMAGNETIZER, as when the unit is missing.
        if (!ctx_.modes->INSTMODE_Set(false) && !failed() && !endIf(stop)) {
            s.ZAVMODE = 1;
            ctx_.modes->INSTMODE_Set(false);
        }
        // A status report that failed says nothing about the tumbler.
        if (!endIf(stop) && !failed()) {
            ctx_.tumbler->Tumbler_Check();
            tumblerKnown = true;
        }
    }
    if (tumblerKnown && !failed() && !endIf(stop)) {
        if (ctx_.instr.TumblerConnected == 1) {
            if (Tumbler_Ready()) ctx_.limits->Limits_Set();
        } else {
            Tumbler_None();
            ctx_.limits->Limits_Set();
        }
    }

    if (stop || link.CmdFatal) {
        SwitchOff_Exit();
        return;
    }
    Ready_Show();
}

bool InstrumentInit::Frequency_Renew() {
    const Settings& s = ctx_.settings;
    bool go = false;
    if (!s.TOUCHMODE) {
        go = ctx_.dialogs->MsgBox_Custom(
                 "FREQUENCY OPTIMALIZATION WILL START.\r\n\r\nMAKE SURE THERE IS NO SPECIMEN "
                 "IN THE COIL!",
                 kYesNo + kExclamation, "Warning", 0, "&Continue", "&Abort") == kYes;
        if (go) ctx_.freq->Freq_Optimize();
        return go;
    }
    ctx_.enabling->Panels_Enable(false);
    ctx_.status->Lamp(kLightOrange);
    ctx_.status->Text("FREQUENCY OPTIMALIZATION - NO SPECIMEN IN THE COIL!");
    go = ctx_.dialogs->MsgBox_Large("CONTINUE", "ABORT");
    if (go) {
        ctx_.freq->Freq_Optimize();
        ctx_.enabling->Panels_Enable(true);
    }
    return go;
}

bool InstrumentInit::Tumbler_Ready() {
    Controls& ui = *ctx_.ui;
    PositionState& p = ctx_.pos;
    p.TumblerUsed = true;
    ui.chkTumbler->SetValue(true);
    ui.chkTumblerT->SetValue(true);
    SetBackColor(ui.chkTumblerT, kCyan);
    SetForeColor(ui.chkTumblerT, kBlue);
    p.MMode = kUserMode;
    p.MIndex = 1;
    p.MIndexMax = 18;
    ui.lblMMode->setText("U1");
    p.MPos = MagPos(p.MMode, p.MIndex);
    ctx_.tumbler->TumblerInit_Send(true);
    const LinkState& link = ctx_.link;
    return !(link.CmdError || link.CmdFatal || ctx_.run.StopRequest);
}

void InstrumentInit::Tumbler_None() {
    Controls& ui = *ctx_.ui;
    PositionState& p = ctx_.pos;
    p.TumblerUsed = false;
    for (OptionButton* o : {ui.optDMode[0], ui.optDModeT[0], ui.optMMode[0], ui.optMModeT[0]})
        o->SetValue(true);
    ctx_.options->Option_Highlight(ui.optDModeT[0]);
    ctx_.options->Option_Highlight(ui.optMModeT[0]);
    p.MMode = p.MIndex = p.MIndexMax = 0;
    ui.lblMMode->setText("");
    p.MPos = MagPos(p.MMode, p.MIndex);
}

void InstrumentInit::Ready_Show() {
    Controls& ui = *ctx_.ui;
    ctx_.status->Status_Show(true);
    ctx_.enabling->Panels_Enable(true);
    ctx_.options->Controls_Enable(true);
    ui.cmdInit->hide();
    ctx_.run.InstrReady = true;
    ui.cmdStop->setEnabled(false);
    ui.cmdStop->setText("STOP");
    ctx_.run.StopRequest = false;
    ctx_.link.RunCancel = false;
    ctx_.enabling->FieldMeters_Enable(true);
    ctx_.run.Busy = false;
}

void InstrumentInit::SwitchOff_Exit() {
    ctx_.ui->cmdStop->setEnabled(false);
    if (ctx_.run.StopRequest) ctx_.status->Text("STOPPED");
    ctx_.hold->Fatal_End();
}

}  // namespace zavo
