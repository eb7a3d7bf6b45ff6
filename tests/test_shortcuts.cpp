// The main window's shortcuts, keys sent to the window as the platform sends them.
#include <QKeyEvent>
#include <QWindow>

#include "core/Activity.h"
#include "core/Waits.h"
#include "link/Simulator.h"
#include "link/StatusLine.h"
#include "panel/Shortcuts.h"
#include "panel_test.h"

using namespace zavo;
using Calls = std::vector<std::string>;

namespace {

struct ShortcutsTest : test::Panel {
    Calls calls;  // the actions taken, each of which has tests of its own

    void SetUp() override {
        tp.port.responder = [this](const std::string& cmd) {  // lines end in CR, the reply in LF
            return QString::fromStdString(Simulated_Reply(cmd, ctx.instr.ModeWordWanted, s.ZAVMODE))
                       .replace("\r\n", "\r")
                       .toStdString() +
                   "\r\n";
        };
        tp.port.Open(1);
        window.Form_Load();
        s.SERVMODE = true, ui.fraSERVMODE->show();
        window.show(), window.activateWindow();
        Unlock(), ctx.status->Status_Show(true);
        Shortcuts::Actions& a = ctx.keys->actions;
        for (auto [action, name] : {std::pair{&a.Run_Start, "Run_Start"},
                                    {&a.Run_Abort, "Run_Abort"},
                                    {&a.Instrument_Init, "Init"},
                                    {&a.Tumbler_Init, "Tumbler_Init"}})
            *action = [this, name] { calls.push_back(name); };
    }
    void Key(int key, const QString& text = {}, Qt::KeyboardModifiers mods = {},
             bool repeat = false) {
        QKeyEvent e(QEvent::KeyPress, key, mods, text, repeat);
        QApplication::sendEvent(window.windowHandle(), &e);
    }
    Calls Taken() { return std::exchange(calls, {}); }
};

TEST_F(ShortcutsTest, EachKeyActsOnlyWhileItsButtonIsEnabledWhateverTheModifiers) {
    const struct {
        int key;
        QWidget* gate;
        const char* call;
    } keys[] = {
        {Qt::Key_Return, ui.cmdStart, "Run_Start"}, {Qt::Key_Enter, ui.cmdStart, "Run_Start"},
        {Qt::Key_Escape, ui.cmdStop, "Run_Abort"},  {Qt::Key_Space, ui.cmdStop, "Run_Abort"},
        {Qt::Key_Insert, ui.cmdInit, "Init"},       {Qt::Key_I, ui.cmdInitTumbler, "Tumbler_Init"}};
    ui.picFocus->setFocus();
    for (const auto& k : keys)
        for (bool enabled : {true, false})
            for (auto mods : {Qt::NoModifier, Qt::ShiftModifier}) {
                k.gate->setEnabled(enabled);
                Key(k.key, {}, mods);
                EXPECT_EQ(Taken(), enabled ? Calls{k.call} : Calls{})
                    << k.call << " enabled " << enabled << " mods " << mods;
            }
    // Page keys step the position whatever PREV and NEXT say (B-mode: 7 9 11 13 15 17).
    ctx.pos = {.MMode = 9, .MIndex = 1, .MIndexMax = 6, .MPos = 7, .TumblerUsed = true};
    ui.cmdPrevPos->setEnabled(false), ui.cmdNextPos->setEnabled(false);
    Key(Qt::Key_PageDown), Key(Qt::Key_PageDown, {}, Qt::ShiftModifier, true);
    EXPECT_EQ(std::tuple(ctx.pos.MIndex, ctx.pos.MPos, ui.lblMMode->text()),
              std::tuple(3, 11, "B3"));
    Key(Qt::Key_PageUp), Key(Qt::Key_PageUp), Key(Qt::Key_PageUp);
    EXPECT_EQ(std::tuple(ctx.pos.MIndex, ctx.pos.MPos), std::tuple(6, 17));
}

// A key acts once, never also as a button press; inside another operation's wait only Esc acts.
TEST_F(ShortcutsTest, OneKeyOneAction) {
    int clicks = 0;
    for (QPushButton* b : {ui.cmdStart, ui.cmdStop})
        QObject::connect(b, &QPushButton::clicked, [&] { ++clicks; });
    ASSERT_TRUE(ui.cmdStart->isDefault());
    ui.cmdStart->setFocus();
    Key(Qt::Key_Return), Key(Qt::Key_Return, {}, {}, true), Key(Qt::Key_Return, {}, {}, true);
    ui.cmdStop->setEnabled(true), ui.cmdStop->setFocus();
    Key(Qt::Key_Space, " ");
    EXPECT_EQ(std::pair(Taken(), clicks), std::pair(Calls{"Run_Start", "Run_Abort"}, 0));
    Activity::Scope busy(*ctx.activity);
    tp.clock.After(0.05, [&] { Key(Qt::Key_Return), Key(Qt::Key_Insert), Key(Qt::Key_Escape); });
    Wait_Seconds(tp.clock, 0.1);
    EXPECT_EQ(Taken(), Calls{"Run_Abort"});
}

// A mode key does nothing where its button is disabled or the panel locked.
TEST_F(ShortcutsTest, FunctionKeysSwitchModesWhereTheButtonsAllow) {
    ui.optZAVMode[2]->setEnabled(false);
    Key(Qt::Key_F2, {}, Qt::ShiftModifier);
    ctx.options->Controls_Enable(false);
    Key(Qt::Key_F3);
    EXPECT_TRUE(s.ZAVMODE == 1 && ui.optZAVMode[1]->isChecked());
    ctx.options->Controls_Enable(true);
    Key(Qt::Key_F3);
    EXPECT_TRUE(s.ZAVMODE == 3 && ui.optZAVMode[3]->isChecked());
}

// In the terminal only Esc acts; in a parameter box typing keys type, Enter still starts.
TEST_F(ShortcutsTest, TextEntriesKeepTheirKeys) {
    ui.cmdStop->setEnabled(true), ui.cmdInitTumbler->setEnabled(true);
    ctx.pos = {.MMode = 9, .MIndex = 1, .MIndexMax = 6, .MPos = 7, .TumblerUsed = true};
    ui.txtTerm->setFocus();
    tp.port.writes.clear();
    Key(Qt::Key_1, "1"), Key(Qt::Key_Return, "\r"), Key(Qt::Key_Space, " "), Key(Qt::Key_I, "i");
    Key(Qt::Key_PageDown), Key(Qt::Key_F2);
    EXPECT_EQ(tp.port.Written(), "1\r i");
    EXPECT_TRUE(Taken().empty() && ctx.pos.MIndex == 1 && s.ZAVMODE == 1);
    Key(Qt::Key_Escape);
    EXPECT_EQ(Taken(), Calls{"Run_Abort"});

    ui.txtACMax->setFocus(), ui.txtACMax->setText("1");
    Key(Qt::Key_I, "i"), Key(Qt::Key_Space, " "), Key(Qt::Key_Return, "\r");
    EXPECT_EQ(std::pair(ui.txtACMax->text(), Taken()),
              std::pair(QString("1i "), Calls{"Run_Start"}));
}

// The desktop's pulse count follows its scroll bar's keys while the bar is enabled: Tab from the
// pulse time reaches it, Up is more, a digit sets the count (0 for ten).
TEST_F(ShortcutsTest, PulseCountScrollBarTakesTabAndKeys) {
    Key(Qt::Key_F3);
    // The count (label/record) after each key.
    const auto keys = [&](std::initializer_list<Qt::Key> ks) {
        std::string after;
        for (Qt::Key k : ks) {
            Key(k, k >= Qt::Key_0 && k <= Qt::Key_9 ? QString(QChar(k)) : QString());
            after += " " + ui.lblTOVPulses->text().toStdString() + "/" + std::to_string(s.TOVNUM);
        }
        return after;
    };
    ui.txtTOVTime->setFocus();
    keys({Qt::Key_Tab});
    EXPECT_EQ(QApplication::focusWidget(), ui.vslTOVPulses);
    EXPECT_EQ(keys({Qt::Key_Up, Qt::Key_Down, Qt::Key_7, Qt::Key_0, Qt::Key_Up}),
              " 2/2 1/1 7/7 10/10 10/10");
    ui.txtTOVTime->setFocus(), ui.txtTOVTime->setText("1.5");  // a long pulse is a single one
    keys({Qt::Key_Tab});
    EXPECT_NE(QApplication::focusWidget(), ui.vslTOVPulses);
    EXPECT_EQ(keys({Qt::Key_Up}), " 1/1");
}

}  // namespace
