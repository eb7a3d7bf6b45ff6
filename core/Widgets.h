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
