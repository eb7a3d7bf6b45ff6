#include "operations/ModeSwitch.h"

#include "core/Activity.h"
#include "core/Clock.h"
#include "core/Context.h"
#include "core/Waits.h"
#include "dialogs/Dialogs.h"
#include "link/CommandSet.h"
#include "link/StatusLine.h"
#include "operations/DemagHold.h"
#include "operations/StatusReport.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"

namespace zavo {

namespace {

constexpr Int16 kDemagnetizer = 1;

enum Yul : Int16 { kYulOff = 0, kYulReady = 1, kYulAbsent = 2 };

}  // namespace

ModeSwitch::ModeSwitch(Ctx& ctx) : ctx_(ctx) {
    Controls& ui = *ctx_.ui;
    for (int i = 1; i <= 3; ++i)
        QObject::connect(ui.optZAVMode[i], &OptionButton::Click,
                         [this](int k) { optZAVMode_Click(k); });
}

bool ModeSwitch::INSTMODE_Set(bool sbdisplay) {
    Activity::Scope scope(*ctx_.activity);
    Settings& s = ctx_.settings;
    InstrumentState& in = ctx_.instr;
    CommandSet& cmds = *ctx_.cmds;
    StatusLine& status = *ctx_.status;

    bool fallback = false;
    bool known = true;
    for (bool asking = true; asking;) {
        asking = false;
        status.Lamp(kLightOrange);
        if (sbdisplay) status.Text("SETTING INSTRUMENT MODE");
        ctx_.report->Status_Read();
        if (ctx_.link.CmdError || ctx_.run.StopRequest) return false;

        if (s.ZAVMODE == kDemagnetizer) {
            fallback = true;
        } else if (s.ZAVMODE == 2 || s.ZAVMODE == 3) {
            switch (in.YULState) {
                case kYulReady:
                    in.ModeWordWanted = s.ZAVMODE == 2 ? 1 : 2;
                    in.MagMode = s.ZAVMODE;
                    break;
                case kYulOff: {
                    status.Lamp(kLightOrange);
                    status.Text("YUL1 UNIT IS OFF!");
                    bool retry = false;
                    if (s.TOUCHMODE)
                        retry = ctx_.dialogs->MsgBox_Large("RETRY", "CANCEL");
                    else
                        retry = ctx_.dialogs->MsgBox_Custom("YUL1 UNIT IS OFF!",
                                                            kRetryCancel + kExclamation, "Warning",
                                                            0, "&Retry", "&Cancel") == kRetry;
                    if (retry)
                        asking = true;
                    else
                        fallback = true;
                    break;
                }
                case kYulAbsent:
                    if (in.FMActual != 0) {
                        cmds.FM_Send(0, sbdisplay);
                    } else if (s.TOUCHMODE) {
                        status.Lamp(kRed);
                        status.Text("## YUL1 UNIT IS NOT CONNECTED!");
                        Wait_Seconds(*ctx_.clock, 3);
                        status.Status_Show(true);
                    } else {
                        ctx_.dialogs->MsgBox_Custom(
                            "## YUL1 UNIT IS NOT CONNECTED!\r\n\r\nDEMAGNETIZER MODE ONLY.",
                            kOKOnly + kCritical, "Critical error", 0, "OK");
                    }
                    fallback = true;
                    break;
                default:
                    known = false;
                    break;
            }
        }
    }
    if (fallback) {
        in.ModeWordWanted = 1;
        s.ZAVMODE = kDemagnetizer;
        if (in.SMActual != 0) cmds.SM_Send(0, sbdisplay);
    }
    if (!ctx_.link.CmdFatal && in.ModeWordActual != in.ModeWordWanted)
        cmds.ModeWord_Send(in.ModeWordWanted, sbdisplay);
    ModeButtons_Paint();
    return known;
}

void ModeSwitch::ModeButtons_Paint() {
    Controls& ui = *ctx_.ui;
    for (int i = 1; i <= 3; ++i) {
        SetBackColor(ui.optZAVMode[i], kButtonFace);
        SetForeColor(ui.optZAVMode[i], kBlack);
    }
    const Int16 mode = ctx_.settings.ZAVMODE;
    if (mode < 1 || mode > 3) return;
    SetBackColor(ui.optZAVMode[mode], kCyan);
    SetForeColor(ui.optZAVMode[mode], kBlue);
}

bool ModeSwitch::Fatal_End() {
    if (!ctx_.link.CmdFatal) return false;
    ctx_.hold->Fatal_End();
    return true;
}

void ModeSwitch::ZAVMode_Set(Int16 ZAVMODENEW) {
    if (ZAVMODENEW < 1 || ZAVMODENEW > 3) return;
    Activity::Scope scope(*ctx_.activity);
    Controls& ui = *ctx_.ui;
    Settings& s = ctx_.settings;
    const Int16 before = s.ZAVMODE;
    s.ZAVMODE = ZAVMODENEW;
    ctx_.options->Controls_Enable(false);
    ui.optZAVMode[s.ZAVMODE]->SetValue(true);
    // A switch that could not be made leaves the panel on the mode the
    // instrument is still in.
    if (!INSTMODE_Set(false)) {
        s.ZAVMODE = before;
        ModeButtons_Paint();
    }
    if (Fatal_End()) return;
    ctx_.limits->Limits_Set();
    if (ctx_.window) ctx_.window->Height_Fit();
    ctx_.enabling->Panels_Enable(true);
    ctx_.enabling->FieldMeters_Enable(true);
    ctx_.options->Controls_Enable(true);
    ctx_.status->Status_Show(true);
}

void ModeSwitch::optZAVMode_Click(int Index) {
    Controls& ui = *ctx_.ui;
    if (Index < 1 || Index > 3 || !InputAccepted(ui.optZAVMode[Index])) return;
    Settings& s = ctx_.settings;
    if (ctx_.activity->Interleaves()) {
        // A click inside another operation's wait: the radio mark goes back
        // to the mode in force, the operation goes on undisturbed.
        ctx_.options->Controls_Enable(false);
        if (s.ZAVMODE >= 1 && s.ZAVMODE <= 3) ui.optZAVMode[s.ZAVMODE]->SetValue(true);
        ctx_.options->Controls_Enable(true);
        return;
    }
    Activity::Scope scope(*ctx_.activity);
    ctx_.options->Controls_Enable(false);
    ctx_.enabling->Panels_Enable(false);
    ui.timSD->stop();

    const Int16 before = s.ZAVMODE;
    s.ZAVMODE = Int16(Index);
    if (Index == 2 || Index == 3) ctx_.instr.MagMode = Int16(Index);
    if (!INSTMODE_Set(false)) s.ZAVMODE = before;
    ctx_.limits->Limits_Set();
    if (ctx_.window) ctx_.window->Height_Fit();
    if (s.ZAVMODE >= 1 && s.ZAVMODE <= 3) ctx_.options->Option_Highlight(ui.optZAVMode[s.ZAVMODE]);
    ctx_.ClickSound();
    if (Fatal_End()) return;

    ctx_.enabling->Panels_Enable(true);
    ctx_.enabling->FieldMeters_Enable(true);
    ctx_.status->Status_Show(true);
    ctx_.hold->Hold_Resume();
    ctx_.options->Controls_Enable(true);
    ctx_.options->Focus_Sink();
}

}  // namespace zavo
