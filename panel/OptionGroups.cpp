#include "panel/OptionGroups.h"

#include <algorithm>

#include "core/Context.h"
#include "panel/Controls.h"
#include "panel/Limits.h"

namespace zavo {

OptionGroups::OptionGroups(Ctx& ctx) : ctx_(ctx) {
    Controls& ui = *ctx_.ui;
    const auto connectGroup = [this](auto& group, void (OptionGroups::*handler)(int)) {
        for (OptionButton* b : group)
            if (b)
                QObject::connect(b, &OptionButton::Click,
                                 [this, handler](int i) { (this->*handler)(i); });
    };
    connectGroup(ui.optERate, &OptionGroups::optERate_Click);
    connectGroup(ui.optERateT, &OptionGroups::optERateT_Click);
    connectGroup(ui.optEShape, &OptionGroups::optEShape_Click);
    connectGroup(ui.optEShapeT, &OptionGroups::optEShapeT_Click);
    connectGroup(ui.optDMode, &OptionGroups::optDMode_Click);
    connectGroup(ui.optDModeT, &OptionGroups::optDModeT_Click);
    connectGroup(ui.optTOVDir, &OptionGroups::optTOVDir_Click);
    connectGroup(ui.optTOVDirT, &OptionGroups::optTOVDirT_Click);
    for (int i = 1; i <= 3; ++i)
        QObject::connect(ui.picEShape[i], &PictureBox::Click, [this, i] { picEShape_Click(i); });
    QObject::connect(ui.vslTOVPulses, &QScrollBar::valueChanged,
                     [this](int v) { vslTOVPulses_Change(v); });
    QObject::connect(ui.cmdTOVMinus, &QPushButton::clicked, [this] { cmdTOVMinus_Click(); });
    QObject::connect(ui.cmdTOVPlus, &QPushButton::clicked, [this] { cmdTOVPlus_Click(); });
}

void OptionGroups::Controls_Enable(bool enable) {
    const QString tag = enable ? "1" : "0";
    for (QWidget* w : ctx_.ui->InputFlagged()) SetTag(w, tag);
}

void OptionGroups::Option_Highlight(QAbstractButton* button) {
    if (!button) return;
    if (QWidget* frame = button->parentWidget()) {
        for (QRadioButton* sister :
             frame->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) {
            SetBackColor(sister, kButtonFace);
            SetForeColor(sister, kBlack);
        }
    }
    SetBackColor(button, kCyan);
    SetForeColor(button, kBlue);
}

void OptionGroups::Pulses_Enable(bool on) {
    Controls& ui = *ctx_.ui;
    for (QWidget* w :
         {static_cast<QWidget*>(ui.fraTOVPulses), static_cast<QWidget*>(ui.lblTOVPulsesCap),
          static_cast<QWidget*>(ui.lblTOVPulses), static_cast<QWidget*>(ui.vslTOVPulses),
          static_cast<QWidget*>(ui.cmdTOVPlus), static_cast<QWidget*>(ui.cmdTOVMinus)})
        w->setEnabled(on);
    SetBackColor(ui.lblTOVPulses, on ? kWhite : kButtonFace);
}

void OptionGroups::Focus_Sink() {
    ctx_.ui->picFocus->setFocus(Qt::OtherFocusReason);
}

Int16* OptionGroups::ShapeField() {
    switch (ctx_.settings.ZAVMODE) {
        case 1:
            return &ctx_.settings.DMGES;
        case 2:
            return &ctx_.settings.REKES;
        default:
            return nullptr;
    }
}

template <size_t N>
void OptionGroups::Mirror(const std::array<OptionButton*, N>& twin, int index, bool highlight) {
    Controls_Enable(false);
    twin[size_t(index)]->SetValue(true);
    // The twin shows the choice the same way, whichever set was clicked.
    if (highlight) Option_Highlight(twin[size_t(index)]);
    Controls_Enable(true);
}

void OptionGroups::optERate_Click(int index) {
    Controls& ui = *ctx_.ui;
    if (!InputAccepted(ui.optERate[index])) return;
    // The range shown on the AC max box follows the rate in either set.
    ui.txtACMax->setToolTip(Limits::Rate_Range(index));
    if (Int16* f = Limits::Rate_Field(ctx_.settings)) *f = Int16(index);
    Mirror(ui.optERateT, index, true);
    Focus_Sink();
    ctx_.limits->Input_Validate();
}

void OptionGroups::optERateT_Click(int index) {
    Controls& ui = *ctx_.ui;
    if (!InputAccepted(ui.optERateT[index])) return;
    Option_Highlight(ui.optERateT[index]);
    ctx_.ClickSound();
    ui.txtACMax->setToolTip(Limits::Rate_Range(index));
    if (Int16* f = Limits::Rate_Field(ctx_.settings)) *f = Int16(index);
    Mirror(ui.optERate, index, false);
    Focus_Sink();
    ctx_.limits->Input_Validate();
}

void OptionGroups::optEShape_Click(int index) {
    Controls& ui = *ctx_.ui;
    if (!InputAccepted(ui.optEShape[index])) return;
    if (Int16* f = ShapeField()) *f = Int16(index);
    Mirror(ui.optEShapeT, index, true);
    Focus_Sink();
    ctx_.limits->Input_Validate();
}

void OptionGroups::optEShapeT_Click(int index) {
    Controls& ui = *ctx_.ui;
    if (!InputAccepted(ui.optEShapeT[index])) return;
    ctx_.ClickSound();
    Option_Highlight(ui.optEShapeT[index]);
    if (Int16* f = ShapeField()) *f = Int16(index);
    Mirror(ui.optEShape, index, false);
    Focus_Sink();
    ctx_.limits->Input_Validate();
}

void OptionGroups::picEShape_Click(int index) {
    Controls& ui = *ctx_.ui;
    // A locked panel keeps its selection: the picture is no way around the lock.
    if (!InputAccepted(ui.optEShape[index])) return;
    ui.optEShape[index]->SetValue(true);
    ui.optEShapeT[index]->SetValue(true);
}

void OptionGroups::optDMode_Click(int index) {
    Controls& ui = *ctx_.ui;
    if (!InputAccepted(ui.optDMode[index])) return;
    Mirror(ui.optDModeT, index, true);
    if (index > 0) ctx_.settings.DMODE = Int16(index);
    Focus_Sink();
    ctx_.limits->Input_Validate();
}

void OptionGroups::optDModeT_Click(int index) {
    Controls& ui = *ctx_.ui;
    if (!InputAccepted(ui.optDModeT[index])) return;
    Controls_Enable(false);
    ui.optDMode[index]->SetValue(true);
    Option_Highlight(ui.optDModeT[index]);
    Controls_Enable(true);
    if (index > 0) ctx_.settings.DMODE = Int16(index);
    Focus_Sink();
    ctx_.limits->Input_Validate();
}

void OptionGroups::optTOVDir_Click(int index) {
    Controls& ui = *ctx_.ui;
    if (!InputAccepted(ui.optTOVDir[index])) return;
    ctx_.settings.TOVDIR = Int16(index);
    Mirror(ui.optTOVDirT, index, true);
    Focus_Sink();
}

void OptionGroups::optTOVDirT_Click(int index) {
    Controls& ui = *ctx_.ui;
    if (!InputAccepted(ui.optTOVDirT[index])) return;
    Option_Highlight(ui.optTOVDirT[index]);
    ui.optTOVDir[index]->SetValue(true);
    ctx_.settings.TOVDIR = Int16(index);
    Focus_Sink();
}

void OptionGroups::TOVNUM_Show(int n) {
    ctx_.settings.TOVNUM = Int16(n);
    ctx_.ui->lblTOVPulses->setText(QString::number(n));
}

void OptionGroups::vslTOVPulses_Change(int value) {
    TOVNUM_Show(value);
}

// The scroll bar follows the buttons, so both layouts keep one count.
void OptionGroups::cmdTOVMinus_Click() {
    TOVNUM_Show(std::clamp(ctx_.settings.TOVNUM - 1, 1, 10));
    ctx_.ui->vslTOVPulses->setValue(ctx_.settings.TOVNUM);
}

void OptionGroups::cmdTOVPlus_Click() {
    TOVNUM_Show(std::clamp(ctx_.settings.TOVNUM + 1, 1, 10));
    ctx_.ui->vslTOVPulses->setValue(ctx_.settings.TOVNUM);
}

}  // namespace zavo
