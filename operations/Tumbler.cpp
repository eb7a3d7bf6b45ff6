#include "operations/Tumbler.h"

#include "operations/DemagHold.h"

#include <QCoreApplication>
#include <array>

#include "core/Activity.h"
#include "core/Context.h"
#include "dialogs/Dialogs.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/StatusLine.h"
#include "link/TextUtil.h"
#include "core/Waits.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"

namespace zavo {

namespace {

struct PositionSet {
    const char* letter;  // label prefix of a set, or the whole label of an axis
    std::vector<Int16> positions;
};

// Index = MMode. Axes are single positions; sets are stepped through.
const std::array<PositionSet, 13>& Sets() {
    static const std::array<PositionSet, 13> sets{{
        {"", {}},
        {"+x", {1}},
        {"+y", {3}},
        {"+z", {5}},
        {"-x", {2}},
        {"-y", {4}},
        {"-z", {6}},
        {"U", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}},
        {"A", {7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}},
        {"B", {7, 9, 11, 13, 15, 17}},
        {"P", {10, 7, 1, 9, 8, 14, 11, 3, 13, 12, 18, 15, 5, 17, 16}},
        {"C", {1, 2, 3, 4, 5, 6}},
        {"D", {1, 3, 5}},
    }};
    return sets;
}

constexpr Int16 kFirstSet = 7;
constexpr Int16 kUserMode = 7;
constexpr Int16 kTumblingSpecimen = 7;

void TouchBox_Colour(CheckBox* box, bool on) {
    SetBackColor(box, on ? kCyan : kButtonFace);
    SetForeColor(box, on ? kBlue : kBlack);
}

}  // namespace

Int16 MagPos(Int16 MMode, Int16 MIndex) {
    if (MMode < 1 || MMode > 12) return 0;
    if (MMode < kFirstSet) return Sets()[MMode].positions.front();
    // The user set is the position itself, whatever the operator asks for.
    if (MMode == kUserMode) return MIndex;
    const auto& p = Sets()[MMode].positions;
    if (MIndex < 1 || MIndex > Int16(p.size())) return 0;
    return p[MIndex - 1];
}

Int16 MagPos_Count(Int16 MMode) {
    if (MMode < 0 || MMode > 12) return 0;
    return Int16(Sets()[MMode].positions.size());
}

Tumbler::Tumbler(Ctx& ctx) : ctx_(ctx) {
    Controls& ui = *ctx_.ui;
    for (int i = 0; i <= 12; ++i) {
        QObject::connect(ui.optMMode[i], &OptionButton::Click,
                         [this](int k) { optMMode_Click(k); });
        QObject::connect(ui.optMModeT[i], &OptionButton::Click,
                         [this](int k) { optMModeT_Click(k); });
    }
    QObject::connect(ui.cmdPrevPos, &QPushButton::clicked, [this] { cmdPrevPos_Click(); });
    QObject::connect(ui.cmdNextPos, &QPushButton::clicked, [this] { cmdNextPos_Click(); });
    QObject::connect(ui.cmdInitTumbler, &QPushButton::clicked, [this] { cmdInitTumbler_Click(); });
    QObject::connect(ui.chkTumbler, &CheckBox::Click, [this] { chkTumbler_Click(); });
    QObject::connect(ui.chkTumblerT, &CheckBox::Click, [this] { chkTumblerT_Click(); });
    QObject::connect(ui.chkAutoNext, &CheckBox::Click, [this] { chkAutoNext_Click(); });
    QObject::connect(ui.chkAutoNextT, &CheckBox::Click, [this] { chkAutoNextT_Click(); });
    for (int i = 0; i < int(ui.cmdTumbler.size()); ++i)
        QObject::connect(ui.cmdTumbler[i], &QPushButton::clicked,
                         [this, i] { cmdTumbler_Click(i); });
}

void Tumbler::MModeLabel_Show() {
    const PositionState& p = ctx_.pos;
    if (p.MMode >= kFirstSet && p.MMode <= 12)
        ctx_.ui->lblMMode->setText(QString(Sets()[p.MMode].letter) + QString::number(p.MIndex));
}

void Tumbler::MagPos_Next() {
    PositionState& p = ctx_.pos;
    p.MIndex = Int16(p.MIndex + 1);
    if (p.MIndex > p.MIndexMax) p.MIndex = 1;
    MModeLabel_Show();
    p.MPos = MagPos(p.MMode, p.MIndex);
}

void Tumbler::MagPos_Prev() {
    PositionState& p = ctx_.pos;
    p.MIndex = Int16(p.MIndex - 1);
    if (p.MIndex < 1) p.MIndex = p.MIndexMax;
    MModeLabel_Show();
    p.MPos = MagPos(p.MMode, p.MIndex);
}

void Tumbler::cmdPrevPos_Click() {
    MagPos_Prev();
    ctx_.options->Focus_Sink();
    ctx_.limits->Input_Validate();
}

void Tumbler::cmdNextPos_Click() {
    MagPos_Next();
    ctx_.options->Focus_Sink();
    ctx_.limits->Input_Validate();
}

bool Tumbler::Interrupted() const {
    const LinkState& l = ctx_.link;
    return l.CmdError || l.CmdFatal || l.RunCancel || ctx_.run.StopRequest;
}

void Tumbler::Send(const char* cmd, bool Show) {
    // ABORT reads the command in progress from here.
    ctx_.link.CmdText = cmd;
    ctx_.cmd->Command_Execute(ctx_.link.CmdText, Show, false);
}

bool Tumbler::Tumbler_Check() {
    Controls& ui = *ctx_.ui;
    InstrumentState& in = ctx_.instr;
    if (in.TumblerConnected == 1) {
        // The position-signal test must run while a tumbler is attached.
        if (in.WPState == 0) ctx_.cmds->WPToggle_Send();
        return true;
    }
    for (CheckBox* box : {ui.chkTumbler, ui.chkTumblerT}) {
        box->setEnabled(false);
        box->setChecked(false);
    }
    TouchBox_Colour(ui.chkTumblerT, false);
    ctx_.pos.TumblerUsed = false;
    if (ctx_.settings.TOUCHMODE) {
        ctx_.status->Lamp(kRed);
        ctx_.status->Text("TUMBLER IS NOT CONNECTED!");
        Wait_Seconds(*ctx_.clock, 3);
        ctx_.status->Status_Show(true);
    } else {
        ctx_.dialogs->MsgBox_Custom("TUMBLER IS NOT CONNECTED!", kOKOnly + kCritical,
                                    "Critical error", 0, "OK");
    }
    if (in.WPState == 1) ctx_.cmds->WPToggle_Send();
    return false;
}

void Tumbler::Tumbler_SetPos(Int16 pos, bool Show) {
    if (pos < 0 || pos > 18) return;
    if (pos >= 1) {
        Send("i", Show);
        // A tumbler that did not initialize must not be sent to a position.
        if (Interrupted()) return;
        Wait_Seconds(*ctx_.clock, 0.2);
    }
    if (ctx_.run.StopRequest) return;
    Send(QString("P%1").arg(int(pos), 2, 10, QChar('0')).toLatin1().constData(), Show);
}

void Tumbler::TumblerInit_Send(bool Show) {
    Send("i", Show);
}

void Tumbler::TumblerStart_Send(bool Show) {
    Send("t", Show);
}

void Tumbler::Tumbler_Init() {
    // A sequence is already talking to the controller.
    if (ctx_.run.Busy) return;
    Controls& ui = *ctx_.ui;
    ui.timSD->stop();
    QCoreApplication::processEvents();
    ctx_.run.Busy = true;
    ctx_.enabling->Panels_Enable(false);
    ui.cmdStop->setEnabled(true);
    ctx_.run.StopRequest = false;
    TumblerInit_Send(true);
    ui.cmdStop->setEnabled(false);
    ctx_.run.StopRequest = false;
    ctx_.run.Busy = false;
    if (ctx_.link.CmdFatal) return ctx_.hold->Fatal_End();
    ctx_.status->Status_Show(true);
    ctx_.enabling->Panels_Enable(true);
    ctx_.hold->Hold_Resume();
}

void Tumbler::cmdInitTumbler_Click() {
    ctx_.limits->Input_Validate();
    Tumbler_Init();
}

void Tumbler::TOVDir_Enable(bool enable) {
    Controls& ui = *ctx_.ui;
    // Position sets fix the polarity to "+".
    const bool on = enable && ctx_.pos.MMode < 8;
    for (QWidget* w :
         {static_cast<QWidget*>(ui.fraTOVDir), static_cast<QWidget*>(ui.fraTOVDirT),
          static_cast<QWidget*>(ui.optTOVDir[1]), static_cast<QWidget*>(ui.optTOVDir[2]),
          static_cast<QWidget*>(ui.optTOVDirT[1]), static_cast<QWidget*>(ui.optTOVDirT[2])})
        w->setEnabled(on);
}

void Tumbler::AutoNext_Clear() {
    Controls& ui = *ctx_.ui;
    for (CheckBox* box : {ui.chkAutoNext, ui.chkAutoNextT}) {
        box->setEnabled(false);
        box->setChecked(false);
    }
    ctx_.pos.AutoNext = false;
    TouchBox_Colour(ui.chkAutoNextT, false);
}

void Tumbler::optMMode_Click(int Index) {
    MMode_Choose(Index, false);
}

void Tumbler::optMModeT_Click(int Index) {
    MMode_Choose(Index, true);
}

void Tumbler::MMode_Choose(int Index, bool fromTablet) {
    Controls& ui = *ctx_.ui;
    if (Index < 0 || Index > 12) return;
    OptionButton* clicked = fromTablet ? ui.optMModeT[Index] : ui.optMMode[Index];
    if (!InputAccepted(clicked)) return;
    PositionState& p = ctx_.pos;

    ctx_.options->Controls_Enable(false);
    (fromTablet ? ui.optMMode[Index] : ui.optMModeT[Index])->SetValue(true);
    ctx_.options->Option_Highlight(ui.optMModeT[Index]);
    if (Index >= 1) {
        p.MMode = Int16(Index);
        p.MIndex = 1;
        p.MIndexMax = MagPos_Count(p.MMode);
        ctx_.ui->lblMMode->setText(p.MMode < kFirstSet ? QString(Sets()[p.MMode].letter)
                                                       : QString(Sets()[p.MMode].letter) + "1");
    }
    p.MPos = MagPos(p.MMode, p.MIndex);

    if (p.MMode < kFirstSet) {
        ui.cmdPrevPos->setEnabled(false);
        ui.cmdNextPos->setEnabled(false);
        AutoNext_Clear();
    } else {
        ui.cmdPrevPos->setEnabled(true);
        ui.cmdNextPos->setEnabled(true);
        ctx_.settings.TOVDIR = 1;
        ui.optTOVDir[1]->SetValue(true);
        ui.optTOVDirT[1]->SetValue(true);
        ctx_.options->Option_Highlight(ui.optTOVDirT[1]);
        ui.chkAutoNext->setEnabled(true);
        ui.chkAutoNextT->setEnabled(true);
    }
    TOVDir_Enable(true);
    ctx_.options->Focus_Sink();
    ctx_.options->Controls_Enable(true);
    ctx_.limits->Input_Validate();
}

void Tumbler::MMode_Select(int Index) {
    Controls& ui = *ctx_.ui;
    ui.optMMode[Index]->SetValue(true);
    ui.optMModeT[Index]->SetValue(true);
    ctx_.options->Option_Highlight(ui.optMModeT[Index]);
}

void Tumbler::chkTumbler_Click() {
    TumblerBox_Click(ctx_.ui->chkTumbler, ctx_.ui->chkTumblerT);
}

void Tumbler::chkTumblerT_Click() {
    TumblerBox_Click(ctx_.ui->chkTumblerT, ctx_.ui->chkTumbler);
}

void Tumbler::TumblerBox_Click(CheckBox* box, CheckBox* twin) {
    if (!InputAccepted(box)) return;
    Controls& ui = *ctx_.ui;
    PositionState& p = ctx_.pos;
    const bool used = box->isChecked();

    ctx_.options->Controls_Enable(false);
    p.TumblerUsed = used;
    twin->setChecked(used);
    TouchBox_Colour(ui.chkTumblerT, used);
    if (used) {
        ctx_.enabling->DemagModes_Enable(true);
        ui.optDMode[kTumblingSpecimen]->SetValue(true);
        ui.optDModeT[kTumblingSpecimen]->SetValue(true);
        ctx_.options->Option_Highlight(ui.optDModeT[kTumblingSpecimen]);
        // The record follows what the panel now shows.
        ctx_.settings.DMODE = kTumblingSpecimen;
        MMode_Select(kUserMode);
        p.MMode = kUserMode;
        p.MIndex = 1;
        p.MIndexMax = MagPos_Count(kUserMode);
        ui.lblMMode->setText("U1");
        p.MPos = MagPos(p.MMode, p.MIndex);
        // After the position mode is set, so PREV/NEXT follow the user set.
        ctx_.enabling->MagPositions_Enable(true);
        ui.cmdInitTumbler->setEnabled(true);
    } else {
        ctx_.enabling->DemagModes_Enable(false);
        ui.optDMode[0]->SetValue(true);
        ui.optDModeT[0]->SetValue(true);
        ctx_.options->Option_Highlight(ui.optDModeT[0]);
        MMode_Select(0);
        ctx_.enabling->MagPositions_Enable(false);
        p.MMode = p.MIndex = p.MIndexMax = 0;
        ui.lblMMode->setText("");
        p.MPos = MagPos(p.MMode, p.MIndex);
        // Without a tumbler there is no next position to step to.
        ui.chkAutoNext->setChecked(false);
        ui.chkAutoNextT->setChecked(false);
        TouchBox_Colour(ui.chkAutoNextT, false);
        p.AutoNext = false;
        ui.cmdInitTumbler->setEnabled(false);
    }
    ctx_.options->Controls_Enable(true);
    ctx_.options->Focus_Sink();
    ctx_.limits->Input_Validate();
}

void Tumbler::chkAutoNext_Click() {
    AutoNextBox_Click(ctx_.ui->chkAutoNext, ctx_.ui->chkAutoNextT);
}

void Tumbler::chkAutoNextT_Click() {
    AutoNextBox_Click(ctx_.ui->chkAutoNextT, ctx_.ui->chkAutoNext);
}

void Tumbler::AutoNextBox_Click(CheckBox* box, CheckBox* twin) {
    if (!InputAccepted(box)) return;
    const bool on = box->isChecked();
    ctx_.pos.AutoNext = on;
    twin->setChecked(on);
    TouchBox_Colour(ctx_.ui->chkAutoNextT, on);
}

void Tumbler::cmdTumbler_Click(int Index) {
    Controls& ui = *ctx_.ui;
    std::string cmd;
    switch (Index) {
        case 0:
            cmd = "i";
            break;
        case 1: {
            const std::string pos = ToBytes(ui.txtTumbler->text().trimmed());
            // An empty box names no position.
            if (pos.empty()) return;
            cmd = (pos.size() == 1 ? "P0" : "P") + pos;
            break;
        }
        case 2:
            cmd = "t";
            break;
        case 3:
            // STOP: what ABORT does, for a tumbler that is moving. The flag
            // is for the operation running now and ends with it; raised with
            // nothing running, it would abandon every later command.
            ctx_.cmd->Command_Send(std::string(1, '\x1b'));
            if (!ctx_.activity->Active()) return;
            ctx_.run.StopRequest = true;
            ctx_.activity->When_Idle("tumbler-stop", [this] { ctx_.run.StopRequest = false; });
            return;
        default:
            return;
    }
    ctx_.run.StopRequest = false;
    ui.cmdStop->setEnabled(true);
    ctx_.link.CmdText = cmd;
    ctx_.cmd->Command_Execute(ctx_.link.CmdText, false, false);
    ui.cmdStop->setEnabled(false);
}

}  // namespace zavo
