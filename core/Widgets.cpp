#include "core/Widgets.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>

namespace zavo {

QString Tag(const QWidget* w) { return w->property("Tag").toString(); }
void SetTag(QWidget* w, const QString& tag) { w->setProperty("Tag", tag); }

void SetBackColor(QWidget* w, VbColor c) {
    w->setProperty("BackColor", qlonglong(c));
    QPalette p = w->palette();
    const QColor q = ToQColor(c);
    p.setColor(QPalette::Button, q);
    p.setColor(QPalette::Base, q);
    p.setColor(QPalette::Window, q);
    w->setPalette(p);
    if (qobject_cast<QLabel*>(w)) w->setAutoFillBackground(true);
}

void SetForeColor(QWidget* w, VbColor c) {
    w->setProperty("ForeColor", qlonglong(c));
    QPalette p = w->palette();
    const QColor q = ToQColor(c);
    // A disabled control keeps the style's greyed text, so that it never
    // looks usable while it ignores clicks.
    const QPalette standard = QApplication::palette(w);
    for (const auto role : {QPalette::ButtonText, QPalette::WindowText, QPalette::Text}) {
        p.setColor(QPalette::Active, role, q);
        p.setColor(QPalette::Inactive, role, q);
        p.setColor(QPalette::Disabled, role, standard.color(QPalette::Disabled, role));
    }
    w->setPalette(p);
}

VbColor BackColor(const QWidget* w) {
    const QVariant v = w->property("BackColor");
    return v.isValid() ? VbColor(v.toLongLong()) : kButtonFace;
}

VbColor ForeColor(const QWidget* w) {
    const QVariant v = w->property("ForeColor");
    return v.isValid() ? VbColor(v.toLongLong()) : kBlack;
}

OptionButton::OptionButton(const QString& caption, int index, QWidget* parent)
    : QRadioButton(caption, parent), index_(index) {
    SetTag(this, "1");
    connect(this, &QAbstractButton::clicked, this, [this] { emit Click(index_); });
}

void OptionButton::SetValue(bool on) {
    if (on == isChecked()) return;
    if (!on) {
        // An exclusive group refuses to clear its checked button directly.
        const bool ex = autoExclusive();
        setAutoExclusive(false);
        setChecked(false);
        setAutoExclusive(ex);
        return;
    }
    setChecked(true);
    emit Click(index_);
}

CheckBox::CheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    SetTag(this, "1");
    connect(this, &QAbstractButton::clicked, this, [this] { emit Click(); });
}

void CheckBox::SetValue(bool on) {
    if (on == isChecked()) return;
    setChecked(on);
    emit Click();
}

TextBox::TextBox(QWidget* parent) : QLineEdit(parent) {
    SetTag(this, "1");
    connect(this, &QLineEdit::textChanged, this, [this] { emit Change(); });
}

void TextBox::mouseReleaseEvent(QMouseEvent* e) {
    QLineEdit::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit Click();
}

void TextBox::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    if (!validating_) emit GotFocus();
}

void TextBox::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    if (validating_) return;
    // Losing the focus to another window (a message box) is not leaving the box.
    if (e->reason() == Qt::ActiveWindowFocusReason || e->reason() == Qt::PopupFocusReason) return;
    bool cancel = false;
    validating_ = true;
    emit Validate(cancel);
    validating_ = false;
    if (cancel) {
        validating_ = true;
        setFocus(Qt::OtherFocusReason);
        validating_ = false;
        return;
    }
    emit LostFocus();
}

CountScrollBar::CountScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
    setInvertedAppearance(true);
    setPageStep(1);
    setFocusPolicy(Qt::StrongFocus);
    // Its menu's "Top" and "Bottom" would name the ends the wrong way round.
    setContextMenuPolicy(Qt::NoContextMenu);
    // The slider has already moved by the action; this turns the step round
    // before the value follows it.
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
        int step = 0;
        if (action == SliderSingleStepAdd || action == SliderPageStepAdd) step = -1;
        if (action == SliderSingleStepSub || action == SliderPageStepSub) step = 1;
        if (step) setSliderPosition(std::clamp(value() + step, minimum(), maximum()));
    });
}

void CountScrollBar::keyPressEvent(QKeyEvent* e) {
    if (e->key() >= Qt::Key_0 && e->key() <= Qt::Key_9) {
        const int digit = e->key() - Qt::Key_0;
        setValue(std::clamp(digit == 0 ? 10 : digit, minimum(), maximum()));
        e->accept();
        return;
    }
    QScrollBar::keyPressEvent(e);
}

void CountScrollBar::wheelEvent(QWheelEvent* e) {
    wheel_ += e->angleDelta().y();
    const int steps = wheel_ / 120;
    wheel_ -= steps * 120;
    if (steps) setValue(std::clamp(value() + steps, minimum(), maximum()));
    e->accept();
}

CaptionedLabel::CaptionedLabel(const QString& caption, QWidget* parent)
    : QLabel(parent), caption_(caption) {}

QString CaptionedLabel::Shown() const {
    return text().isEmpty() ? QString() : caption_.arg(text());
}

QSize CaptionedLabel::sizeHint() const {
    const QMargins m = contentsMargins();
    const QFontMetrics fm = fontMetrics();
    return {Shown().isEmpty() ? 0 : fm.horizontalAdvance(Shown()) + m.left() + m.right(),
            fm.height() + m.top() + m.bottom()};
}

void CaptionedLabel::paintEvent(QPaintEvent* e) {
    QFrame::paintEvent(e);
    if (text().isEmpty()) return;
    QPainter p(this);
    style()->drawItemText(&p, contentsRect(), int(alignment()), palette(), isEnabled(), Shown(),
                          foregroundRole());
}

PictureBox::PictureBox(QWidget* parent) : QLabel(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton) emit Click();
}

}  // namespace zavo
