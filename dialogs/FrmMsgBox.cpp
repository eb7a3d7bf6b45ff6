#include "dialogs/FrmMsgBox.h"

#include <QBoxLayout>
#include <QFrame>
#include <QPushButton>
#include <QResizeEvent>
#include <algorithm>

#include "core/Widgets.h"

namespace zavo {

namespace {

QPushButton* LargeButton(QWidget* parent, const char* name, const QString& caption,
                         VbColor colour) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    // Enter must not answer for the operator: nothing is a default button.
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    SetBackColor(b, colour);
    SetForeColor(b, kBlack);
    return b;
}

}  // namespace

FrmMsgBox::FrmMsgBox(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName("frmMsgBox");
    setModal(true);
    setFont(QFont("Arial"));

    fraMsgBox = new QFrame(this);
    fraMsgBox->setObjectName("fraMsgBox");
    fraMsgBox->setFrameShape(QFrame::Box);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(fraMsgBox);

    cmdOK = LargeButton(fraMsgBox, "cmdOK", "OK", kLightGreen);
    cmdCANCEL = LargeButton(fraMsgBox, "cmdCANCEL", "CANCEL", kLightRed);
    auto* row = new QBoxLayout(QBoxLayout::LeftToRight, fraMsgBox);
    row->setContentsMargins(6, 6, 6, 6);
    row->setSpacing(8);
    row->addWidget(cmdOK);
    row->addWidget(cmdCANCEL);

    // Holds the focus so that no key press answers by accident.
    picFocus = new PictureBox(fraMsgBox);
    picFocus->setObjectName("picFocus");
    picFocus->setFocusPolicy(Qt::StrongFocus);
    picFocus->setGeometry(0, 0, 1, 1);

    connect(cmdOK, &QPushButton::clicked, this, &FrmMsgBox::cmdOK_Click);
    connect(cmdCANCEL, &QPushButton::clicked, this, &FrmMsgBox::cmdCANCEL_Click);
    resize(420, 140);
}

bool FrmMsgBox::Form_Activate() {
    cmdOK->setEnabled(true);
    cmdCANCEL->setEnabled(true);
    MsgBoxOK = false;
    if (!cover_ || !cover_->isVisible() || cover_->size().isEmpty()) return false;
    setGeometry(QRect(cover_->mapToGlobal(QPoint(0, 0)), cover_->size()));
    return true;
}

void FrmMsgBox::cmdOK_Click() {
    Answer(true);
}
void FrmMsgBox::cmdCANCEL_Click() {
    Answer(false);
}

void FrmMsgBox::Answer(bool ok) {
    // The first press disables both buttons: a double press counts once.
    if (!cmdOK->isEnabled() && !cmdCANCEL->isEnabled()) return;
    cmdOK->setEnabled(false);
    cmdCANCEL->setEnabled(false);
    MsgBoxOK = ok;
    done(ok ? Accepted : Rejected);
}

void FrmMsgBox::reject() {
    Answer(false);
}

void FrmMsgBox::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    Fonts_Scale();
    picFocus->setFocus();
}

void FrmMsgBox::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    // A tall, narrow frame stacks the buttons; a wide one sets them side by side.
    if (auto* row = qobject_cast<QBoxLayout*>(fraMsgBox->layout()))
        row->setDirection(e->size().height() > e->size().width() ? QBoxLayout::TopToBottom
                                                                 : QBoxLayout::LeftToRight);
    Fonts_Scale();
}

void FrmMsgBox::Fonts_Scale() {
    // The captions grow with the form, as far as the longest one still fits.
    const bool stacked = height() > width();
    const int bw = stacked ? width() - 12 : (width() - 20) / 2;
    const int bh = stacked ? (height() - 20) / 2 : height() - 12;
    const int chars = int(std::max({cmdOK->text().size(), cmdCANCEL->text().size(), qsizetype(4)}));
    const int px = std::clamp(std::min(bh * 2 / 5, bw * 4 / (3 * (chars + 1))), 10, 72);
    QFont f("Arial");
    f.setBold(true);
    f.setPixelSize(px);
    cmdOK->setFont(f);
    cmdCANCEL->setFont(f);
}

}  // namespace zavo
