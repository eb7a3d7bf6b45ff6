#pragma once
// frmKbrd: the on-screen numeric keypad of tablet mode. It lies directly below
// the parameter box it edits, as wide as the main window, writes each key into
// the box as it is typed and closes on OK only with a value within the box's
// limit (or when OK is touched before any key). The caller knows the limit:
// it is asked at each OK, as typing into the box may move it (a higher AC
// max selects a faster rate).

#include <QDialog>
#include <QPointer>
#include <array>
#include <functional>

#include "core/State.h"
#include "core/VbColor.h"

class QPushButton;

namespace zavo {

struct Ctx;
class TextBox;
class PictureBox;

class Keypad : public QDialog {
    Q_OBJECT
  public:
    using Limit = std::function<double()>;
    // owner: the window the keypad belongs to, as wide as it and at its left edge.
    Keypad(Ctx& ctx, QWidget* owner, TextBox* target, Limit limit);

    // Opens the keypad for target, modal over owner, and returns when it
    // has closed.
    static void Keypad_Show(Ctx& ctx, QWidget* owner, TextBox* target, Limit limit);

    // Size and place, new entry, the "Limits: " line, focus.
    void Form_Activate();
    // Touch keys: on press and on release.
    void cmdKey_MouseDown(int Index);
    void cmdKey_MouseUp(int Index);
    void cmdDelete_MouseDown();
    void cmdDelete_MouseUp();
    void cmdEnter_MouseDown();
    void cmdEnter_MouseUp();
    // A character typed on a physical keyboard.
    void Form_KeyPress(QChar c);

    // Whether it had to go above the box for want of room below.
    bool PlacedAbove() const { return above_; }

    TextBox* Target;
    QString Entry;
    std::array<QPushButton*, 11> cmdKey{};  // 0..9, 10 "."
    QPushButton* cmdDelete;
    QPushButton* cmdEnter;
    PictureBox* picFocus;

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // Escape does not leave the keypad: only OK does.
    void reject() override {}

  private:
    void Keys_Paint(int pressed);
    void Line_Print(const QString& head, VbColor fore);
    void Target_Write(const QString& text);
    void Sound_Play(const char* wav);
    void Fonts_Scale();
    void Form_Close();

    Ctx& ctx_;
    QWidget* owner_;
    Limit limit_;
    bool above_ = false;
    bool closing_ = false;
};

}  // namespace zavo
