#pragma once
// Small widget classes with the event model the operator panel is built on:
// selecting an option or ticking a box from code runs its Click handler just
// as an operator's click does, and every panel control carries an input flag
// ("Tag", "1" accept input / "0" ignore) as a widget property.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "core/VbColor.h"

namespace zavo {

// Input flag of a panel control.
QString Tag(const QWidget* w);
void SetTag(QWidget* w, const QString& tag);
inline bool InputAccepted(const QWidget* w) { return Tag(w) != "0"; }

// Colours as the panel routines set them; the value is also kept in the
// properties "BackColor" / "ForeColor" so it can be read back.
void SetBackColor(QWidget* w, VbColor c);
void SetForeColor(QWidget* w, VbColor c);
VbColor BackColor(const QWidget* w);
VbColor ForeColor(const QWidget* w);

// An option button of a control array: Index is its array index.
class OptionButton : public QRadioButton {
    Q_OBJECT
public:
    OptionButton(const QString& caption, int index, QWidget* parent = nullptr);
    int Index() const { return index_; }
    // Selects it from code; fires Click when it was not selected before.
    void SetValue(bool on);
    bool Value() const { return isChecked(); }
signals:
    void Click(int index);

private:
    int index_;
};

class CheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit CheckBox(const QString& caption, QWidget* parent = nullptr);
    // Ticks or clears it from code; fires Click when the state changes.
    void SetValue(bool on);
    bool Value() const { return isChecked(); }
signals:
    void Click();
};

// A parameter text box with the handler family of the panel.
class TextBox : public QLineEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent = nullptr);
    // Text as VB assigns it: fires Change (QLineEdit::textChanged does).
    void SetText(const QString& t) { setText(t); }
signals:
    void Click();
    void GotFocus();
    void LostFocus();
    // Emitted when the focus leaves the box; a handler sets cancel to keep it.
    void Validate(bool& cancel);
    void Change();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    bool validating_ = false;
};

// The vertical scroll bar of a small count (1 to 10): more is up, as its
// handle shows, for the arrows, a click beside the handle, the Up and Down
// keys and the wheel alike (a plain inverted scroll bar moves the other way
// for all of them); a digit key sets the count, 0 for ten. Tab and a click
// give it the focus.
class CountScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit CountScrollBar(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    int wheel_ = 0;  // eighths of a degree not yet turned into a step
};

// A label whose text, as code sets and reads it, is shown within a caption
// ("DEMAGNETIZER OFF IN %1 s"); an empty text shows nothing and takes no room.
class CaptionedLabel : public QLabel {
    Q_OBJECT
public:
    CaptionedLabel(const QString& caption, QWidget* parent = nullptr);
    // What the label shows.
    QString Shown() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QString caption_;
};

// A picture box: a label that can be clicked and can take the focus.
class PictureBox : public QLabel {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);
signals:
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

}  // namespace zavo
