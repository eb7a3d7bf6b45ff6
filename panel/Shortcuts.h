#pragma once
// The main window's keyboard shortcuts. Every key typed into the window passes
// here before the control that has the focus; a key whose shortcut acts is
// taken, so the focused control never acts on it a second time (Enter on the
// START button, Space on a focused button).
//
// Text entries: in the parameter boxes the shortcuts act, except the two keys
// that type a character (Space, I), so a value can be typed and the run
// started with Enter. In the service entries (terminal, port and tumbler
// position) only Esc acts: whatever is typed there is meant for the
// controller or the box, and must never start or switch anything.

#include <QObject>
#include <functional>

class QWidget;

namespace zavo {

struct Ctx;

// The platform's virtual-key code of a Qt key (13 Enter ... 114 F3); 0 for a
// key without one.
int VirtualKey(int qtKey);

class Shortcuts : public QObject {
    Q_OBJECT
  public:
    // Watches the keys of the main window (an application event filter).
    explicit Shortcuts(Ctx& ctx);

    // What the keys do. Tests may replace an action to see it called.
    struct Actions {
        std::function<void()> Run_Start, Run_Abort, Instrument_Init, MagPos_Prev, MagPos_Next,
            Tumbler_Init;
    };
    Actions actions;
    // A row of the key table.
    struct Key;

    // The key-down handler: KeyCode is the virtual-key code, Shift (any
    // modifier) is ignored. True when the key's shortcut took the key.
    bool Form_KeyDown(int KeyCode, int Shift = 0);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    const Key* Key_Find(int KeyCode) const;
    bool Key_Enabled(const Key& k) const;
    // Whether a key may act while the widget has the focus.
    bool Acts_In(const QWidget* focus, int KeyCode) const;
    void ZAVMode_Select(int index);

    Ctx& ctx_;
};

}  // namespace zavo
