#include "panel/Shortcuts.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWindow>
#include <array>

#include "core/Activity.h"
#include "core/Context.h"
#include "operations/InstrumentInit.h"
#include "operations/RunSequence.h"
#include "operations/Tumbler.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"

namespace zavo {

int VirtualKey(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_Insert:
            return 45;
        default:
            break;
    }
    // Digits and letters carry their ASCII code in both worlds.
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 112 + (qtKey - Qt::Key_F1);
    return 0;
}

// One row of the key table: the button whose enabled state the key follows
// (none: always), and what it does.
struct Shortcuts::Key {
    int code;
    QWidget* (*gate)(const Controls&);
    std::function<void()> Actions::*action;  // null for the mode keys
    int mode;                                // optZAVMode index of a mode key
    bool starts;                             // starts an operation on the controller
    bool repeats;                            // acts again while held down
};

namespace {

using Gate = QWidget* (*)(const Controls&);
const Gate kStart = [](const Controls& u) -> QWidget* { return u.cmdStart; };
const Gate kStop = [](const Controls& u) -> QWidget* { return u.cmdStop; };
const Gate kInit = [](const Controls& u) -> QWidget* { return u.cmdInit; };
const Gate kInitTumbler = [](const Controls& u) -> QWidget* { return u.cmdInitTumbler; };
template <int I>
QWidget* ModeButton(const Controls& u) {
    return u.optZAVMode[I];
}

using A = Shortcuts::Actions;

const std::array<Shortcuts::Key, 10>& Keys() {
    // clang-format off
    static const std::array<Shortcuts::Key, 10> keys{{
        {13,  kStart,         &A::Run_Start,       0, true,  false},
        {27,  kStop,          &A::Run_Abort,       0, false, false},
        {32,  kStop,          &A::Run_Abort,       0, false, false},
        {33,  nullptr,        &A::MagPos_Prev,     0, false, true},
        {34,  nullptr,        &A::MagPos_Next,     0, false, true},
        {45,  kInit,          &A::Instrument_Init, 0, true,  false},
        {73,  kInitTumbler,   &A::Tumbler_Init,    0, true,  false},
        {112, ModeButton<1>,  nullptr,             1, true,  false},
        {113, ModeButton<2>,  nullptr,             2, true,  false},
        {114, ModeButton<3>,  nullptr,             3, true,  false},
    }};
    // clang-format on
    return keys;
}

}  // namespace

Shortcuts::Shortcuts(Ctx& ctx) : ctx_(ctx) {
    actions.Run_Start = [this] { ctx_.run_ops->Run_Start(); };
    actions.Run_Abort = [this] { ctx_.run_ops->Run_Abort(); };
    actions.Instrument_Init = [this] { ctx_.init->Instrument_Init(); };
    actions.MagPos_Prev = [this] { ctx_.tumbler->MagPos_Prev(); };
    actions.MagPos_Next = [this] { ctx_.tumbler->MagPos_Next(); };
    actions.Tumbler_Init = [this] { ctx_.tumbler->Tumbler_Init(); };
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

const Shortcuts::Key* Shortcuts::Key_Find(int KeyCode) const {
    for (const Key& k : Keys())
        if (k.code == KeyCode) return &k;
    return nullptr;
}

bool Shortcuts::Key_Enabled(const Key& k) const {
    return !k.gate || k.gate(*ctx_.ui)->isEnabled();
}

bool Shortcuts::Acts_In(const QWidget* focus, int KeyCode) const {
    if (!focus) return true;
    const Controls& ui = *ctx_.ui;
    const bool service = focus == ui.txtCommPort || focus == ui.txtTumbler || focus == ui.txtTerm ||
                         ui.txtTerm->isAncestorOf(focus);
    if (service) return KeyCode == 27;
    if (qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QPlainTextEdit*>(focus))
        return KeyCode != 32 && KeyCode != 73;
    return true;
}

bool Shortcuts::Form_KeyDown(int KeyCode, int /*Shift*/) {
    if (KeyCode < 13 || KeyCode > 114 || !ctx_.ui) return false;
    const Key* key = Key_Find(KeyCode);
    if (!key || !Key_Enabled(*key)) return false;
    // Inside another operation's wait a key may stop it, never start another.
    if (key->starts && ctx_.activity && ctx_.activity->Interleaves()) return true;
    if (key->mode) {
        ZAVMode_Select(key->mode);
    } else if (const auto& f = actions.*(key->action)) {
        f();
    }
    return true;
}

void Shortcuts::ZAVMode_Select(int index) {
    OptionButton* b = ctx_.ui->optZAVMode[size_t(index)];
    // A locked panel ignores the choice, and the mark stays on the mode in
    // force instead of showing one the instrument is not in.
    if (!InputAccepted(b)) return;
    b->SetValue(true);
}

bool Shortcuts::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !ctx_.window || !ctx_.ui) return false;
    // The window receives each key once, before it hands it to the focused
    // control (and that control's parents).
    if (watched != ctx_.window->windowHandle()) return false;
    const auto* k = static_cast<QKeyEvent*>(event);
    const int code = VirtualKey(k->key());
    const Key* key = Key_Find(code);
    if (!key || !Acts_In(ctx_.window->focusWidget(), code)) return false;
    // A key held down starts nothing twice; it is still kept from the control.
    if (k->isAutoRepeat() && !key->repeats) return Key_Enabled(*key);
    return Form_KeyDown(code, int(k->modifiers()));
}

}  // namespace zavo
