#include "panel/PanelEnabling.h"

#include <QIcon>
#include <QWidget>
#include <filesystem>
#include <string>

#include "core/Context.h"
#include "operations/Tumbler.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"

namespace zavo {

namespace {

constexpr VbColor kACInput = 0xC0C0FF;  // light red
constexpr VbColor kDCInput = 0xC0FFC0;  // light green

// The boxes are read by the same rule as their validation reads them.
double Value(const QLineEdit* box) {
    return Limits::Text_Value(box->text());
}

void Input_Colour(QWidget* box, bool enabled, VbColor on) {
    SetBackColor(box, enabled ? on : kButtonFace);
}

template <typename Range>
void All_Enable(const Range& widgets, bool on) {
    for (QWidget* w : widgets)
        if (w) w->setEnabled(on);
}

}  // namespace

PanelEnabling::PanelEnabling(Ctx& ctx) : ctx_(ctx) {}

void PanelEnabling::Window_Suspend() {
    if (suspended_++ == 0 && ctx_.window) ctx_.window->setUpdatesEnabled(false);
}

void PanelEnabling::Window_Resume() {
    if (--suspended_ == 0 && ctx_.window) {
        ctx_.window->setUpdatesEnabled(true);
        ctx_.window->repaint();
    }
}

void PanelEnabling::Panels_Enable(bool enable) {
    Controls& ui = *ctx_.ui;
    Window_Suspend();
    if (enable) {
        ModeSelect_Enable(true);
        switch (ctx_.settings.ZAVMODE) {
            case 1:
                ADMPanel_Enable(true);
                TOVPanel_Enable(false);
                DemagModes_Enable(true);
                MagPositions_Enable(false);
                break;
            case 2:
                ADMPanel_Enable(true);
                TOVPanel_Enable(false);
                DemagModes_Enable(false);
                MagPositions_Enable(true);
                break;
            case 3:
                ADMPanel_Enable(false);
                TOVPanel_Enable(true);
                DemagModes_Enable(false);
                MagPositions_Enable(true);
                break;
            default:
                break;
        }
        if (ctx_.instr.TumblerConnected == 1) {
            ui.chkTumbler->setEnabled(true);
            ui.chkTumblerT->setEnabled(true);
        }
        ui.cmdStart->setEnabled(true);
        if (ctx_.pos.TumblerUsed) ui.cmdInitTumbler->setEnabled(true);
    } else {
        ModeSelect_Enable(false);
        ADMPanel_Enable(false);
        TOVPanel_Enable(false);
        DemagModes_Enable(false);
        MagPositions_Enable(false);
        All_Enable(std::initializer_list<QWidget*>{ui.cmdInitTumbler, ui.chkTumbler, ui.chkTumblerT,
                                                   ui.cmdStart},
                   false);
    }
    Window_Resume();
}

void PanelEnabling::ModeSelect_Enable(bool enable) {
    Controls& ui = *ctx_.ui;
    if (enable && ctx_.instr.YULState == 2) {
        ui.fraZAVMode->setEnabled(true);
        ui.optZAVMode[1]->setEnabled(true);
        if (!ui.optZAVMode[1]->isChecked()) {
            // The mode switch talks to the controller and shows its progress:
            // the window must repaint meanwhile.
            const bool lifted = suspended_ > 0 && ctx_.window;
            if (lifted) ctx_.window->setUpdatesEnabled(true);
            ui.optZAVMode[1]->SetValue(true);
            if (lifted) ctx_.window->setUpdatesEnabled(false);
        }
        ui.optZAVMode[2]->setEnabled(false);
        ui.optZAVMode[3]->setEnabled(false);
        return;
    }
    ui.fraZAVMode->setEnabled(enable);
    for (int i = 1; i <= 3; ++i) ui.optZAVMode[i]->setEnabled(enable);
}

void PanelEnabling::ADMPanel_Enable(bool enable) {
    Controls& ui = *ctx_.ui;
    const int mode = ctx_.settings.ZAVMODE;
    ui.fraADM->setEnabled(enable);
    ui.fraFields->setEnabled(enable);
    if (mode == 1) ui.fraFields->setTitle("AC amplitude");
    if (mode == 2) ui.fraFields->setTitle("AC/DC fields");

    QWidget* const dcAndMin[] = {ui.lblFieldsCap[2], ui.txtDCField, ui.lblFieldsCap[3],
                                 ui.txtACMin};
    if (enable && mode == 1) {
        ui.lblFieldsCap[1]->setEnabled(true);
        ui.txtACMax->setEnabled(true);
        Input_Colour(ui.txtACMax, true, kACInput);
        for (QWidget* w : dcAndMin) {
            w->hide();
            w->setEnabled(false);
        }
        Input_Colour(ui.txtDCField, false, kDCInput);
        Input_Colour(ui.txtACMin, false, kACInput);
    } else if (enable && mode == 2) {
        ui.lblFieldsCap[1]->setEnabled(true);
        ui.txtACMax->setEnabled(true);
        Input_Colour(ui.txtACMax, true, kACInput);
        for (QWidget* w : dcAndMin) w->show();
        ui.txtACMin->setToolTip("<0 - " + QString::number(Value(ui.txtACMax), 'g', 15) + " mT>");
        ui.lblFieldsCap[2]->setEnabled(true);
        ui.txtDCField->setEnabled(true);
        Input_Colour(ui.txtDCField, true, kDCInput);
        ui.lblFieldsCap[3]->setEnabled(true);
        ui.txtACMin->setEnabled(true);
        Input_Colour(ui.txtACMin, true, kACInput);
    } else if (!enable) {
        if (mode == 1)
            for (QWidget* w : dcAndMin) w->hide();
        if (mode == 2)
            for (QWidget* w : dcAndMin) w->show();
        All_Enable(std::initializer_list<QWidget*>{ui.lblFieldsCap[1], ui.lblFieldsCap[2],
                                                   ui.lblFieldsCap[3], ui.txtACMax, ui.txtDCField,
                                                   ui.txtACMin},
                   false);
        for (QWidget* box : {ui.txtACMax, ui.txtDCField, ui.txtACMin})
            SetBackColor(box, kButtonFace);
    }

    All_Enable(std::initializer_list<QWidget*>{ui.fraRampTime, ui.lblRampTime, ui.txtRampTime},
               enable);
    Input_Colour(ui.txtRampTime, enable, kWhite);

    if (enable) {
        All_Enable(
            std::initializer_list<QWidget*>{ui.fraERate, ui.fraERateT, ui.optERate[0],
                                            ui.optERateT[0], ui.optERate[1], ui.optERateT[1]},
            true);
        // The slower rates cannot reach the higher fields.
        const double acMax = Value(ui.txtACMax);
        if (acMax <= 150) {
            ui.optERate[2]->setEnabled(true);
            ui.optERateT[2]->setEnabled(true);
        }
        if (acMax <= 100) {
            ui.optERate[3]->setEnabled(true);
            ui.optERateT[3]->setEnabled(true);
        }
    } else {
        ui.fraERate->setEnabled(false);
        ui.fraERateT->setEnabled(false);
        All_Enable(ui.optERate, false);
        All_Enable(ui.optERateT, false);
    }

    ui.fraEShape->setEnabled(enable);
    ui.fraEShapeT->setEnabled(enable);
    All_Enable(ui.optEShape, enable);

    for (int n = 1; n <= 3; ++n) {
        SetBackColor(ui.picEShape[n], enable ? kWhite : kButtonFace);
        const std::string name = "EShape" + std::to_string(n) + (enable ? "-on.gif" : "-off.gif");
        const std::filesystem::path pic = ctx_.paths.Picture(name.c_str());
        std::error_code ec;
        // A missing picture leaves the button without one rather than stale.
        ui.optEShapeT[n]->setIcon(std::filesystem::exists(pic, ec)
                                      ? QIcon(QString::fromStdString(pic.string()))
                                      : QIcon());
    }
}

void PanelEnabling::TOVPanel_Enable(bool enable) {
    Controls& ui = *ctx_.ui;
    All_Enable(
        std::initializer_list<QWidget*>{ui.fraTOV, ui.fraTOVField, ui.lblTOVField, ui.txtTOVField},
        enable);
    Input_Colour(ui.txtTOVField, enable, kDCInput);
    All_Enable(std::initializer_list<QWidget*>{ui.fraTOVTime, ui.lblTOVTime, ui.txtTOVTime},
               enable);
    Input_Colour(ui.txtTOVTime, enable, kWhite);

    if (enable && Value(ui.txtTOVTime) > 1) {
        // Pulses longer than a second cannot alternate.
        ctx_.options->Pulses_Enable(false);
        ui.lblTOVPulses->setText("1");
        ui.vslTOVPulses->setValue(1);
    } else {
        ctx_.options->Pulses_Enable(enable);
    }
    ctx_.tumbler->TOVDir_Enable(enable);
}

void PanelEnabling::DemagModes_Enable(bool enable) {
    Controls& ui = *ctx_.ui;
    ui.fraDMode->setEnabled(enable);
    const bool on = enable && ctx_.pos.TumblerUsed;
    All_Enable(ui.optDMode, on);
    All_Enable(ui.optDModeT, on);
}

void PanelEnabling::MagPositions_Enable(bool enable) {
    Controls& ui = *ctx_.ui;
    QWidget* const stepping[] = {ui.cmdPrevPos, ui.cmdNextPos, ui.chkAutoNext, ui.chkAutoNextT};
    if (enable && !ctx_.pos.TumblerUsed) {
        All_Enable(ui.optMMode, false);
        All_Enable(ui.optMModeT, false);
        ui.lblMMode->setEnabled(false);
        ui.cmdPrevPos->setEnabled(false);
        ui.cmdNextPos->setEnabled(false);
        ui.chkAutoNext->setEnabled(false);
        ui.chkAutoNext->setChecked(false);
        ui.chkAutoNextT->setEnabled(false);
        ui.chkAutoNextT->setChecked(false);
        SetBackColor(ui.chkAutoNextT, kButtonFace);
        SetForeColor(ui.chkAutoNextT, kBlack);
    } else if (enable) {
        All_Enable(ui.optMMode, true);
        All_Enable(ui.optMModeT, true);
        ui.lblMMode->setEnabled(true);
        if (ctx_.pos.MMode > 6) All_Enable(stepping, true);
    } else {
        All_Enable(ui.optMMode, false);
        All_Enable(ui.optMModeT, false);
        All_Enable(stepping, false);
    }
}

void PanelEnabling::FieldMeters_Enable(bool enable) {
    Controls& ui = *ctx_.ui;
    ui.fraFieldMeters->setEnabled(enable);
    if (!enable) {
        All_Enable(ui.lblACField, false);
        All_Enable(ui.lblDCField, false);
        ui.lblACField[0]->setText("0 ");
        ui.lblDCField[0]->setText("0 ");
        return;
    }
    switch (ctx_.settings.ZAVMODE) {
        case 1:
            All_Enable(ui.lblACField, true);
            All_Enable(ui.lblDCField, false);
            break;
        case 2:
            All_Enable(ui.lblACField, true);
            All_Enable(ui.lblDCField, true);
            break;
        case 3:
            All_Enable(ui.lblACField, false);
            All_Enable(ui.lblDCField, true);
            break;
        default:
            break;
    }
}

}  // namespace zavo
