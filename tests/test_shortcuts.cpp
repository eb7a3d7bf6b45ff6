// The main window's shortcuts, keys sent to the window as the platform sends
// them: each key with its button enabled and disabled, modifiers ignored, one
// action per key, and the keys typed into text entries.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWindow>

#include "core/Activity.h"
#include "core/Waits.h"
#include "link/Simulator.h"
#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "panel/Shortcuts.h"
#include "support/TestProgram.h"

using namespace zavo;

namespace {

struct ShortcutsTest : ::testing::Test {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    MainWindow& window = tp.program->window();
    std::vector<std::string> calls;  // actions whose owners are not on this branch

    void SetUp() override {
        tp.port.responder = [this](const std::string& cmd) {
            // The simulated replies; lines end in CR, the reply in LF, as the controller's.
            const std::string r =
                Simulated_Reply(cmd, ctx.instr.ModeWordWanted, ctx.settings.ZAVMODE);
            return QString::fromStdString(r).replace("\r\n", "\r").toStdString() + "\r\n";
        };
        tp.port.Open(1);
        window.Form_Load();
        ctx.settings.SERVMODE = true, ui.fraSERVMODE->show();
        window.show();
        window.activateWindow();
        // Ready as after an initialization.
        ctx.enabling->Panels_Enable(true), ctx.options->Controls_Enable(true);
        ctx.status->Status_Show(true);
        auto record = [this](const char* name) { return [this, name] { calls.push_back(name); }; };
        Shortcuts::Actions& a = ctx.keys->actions;
        a.Run_Start = record("Run_Start"), a.Run_Abort = record("Run_Abort");
        a.Instrument_Init = record("Instrument_Init"), a.Tumbler_Init = record("Tumbler_Init");
    }
    void Key(int key, Qt::KeyboardModifiers mods = {}, const QString& text = {},
             bool repeat = false) {
        QKeyEvent e(QEvent::KeyPress, key, mods, text, repeat);
        QApplication::sendEvent(window.windowHandle(), &e);
    }
    std::vector<std::string> Calls() { return std::exchange(calls, {}); }
};

TEST_F(ShortcutsTest, EachKeyActsOnlyWhileItsButtonIsEnabledWhateverTheModifiers) {
    const struct {
        int key;
        QWidget* gate;
        const char* call;
    } keys[] = {{Qt::Key_Return, ui.cmdStart, "Run_Start"},
                {Qt::Key_Enter, ui.cmdStart, "Run_Start"},
                {Qt::Key_Escape, ui.cmdStop, "Run_Abort"},
                {Qt::Key_Space, ui.cmdStop, "Run_Abort"},
                {Qt::Key_Insert, ui.cmdInit, "Instrument_Init"},
                {Qt::Key_I, ui.cmdInitTumbler, "Tumbler_Init"}};
    ui.picFocus->setFocus();
    for (const auto& k : keys)
        for (bool enabled : {true, false})
            for (auto mods : {Qt::NoModifier, Qt::ShiftModifier}) {
                SCOPED_TRACE(testing::Message()
                             << k.call << " enabled " << enabled << " mods " << mods);
                k.gate->setEnabled(enabled);
                Key(k.key, mods);
                EXPECT_EQ(Calls(),
                          enabled ? std::vector<std::string>{k.call} : std::vector<std::string>{});
            }
    // Page keys step the position whatever PREV and NEXT say (B-mode: 7 9 11 13 15 17).
    ctx.pos = {.MMode = 9, .MIndex = 1, .MIndexMax = 6, .MPos = 7, .TumblerUsed = true};
    ui.cmdPrevPos->setEnabled(false), ui.cmdNextPos->setEnabled(false);
    Key(Qt::Key_PageDown), Key(Qt::Key_PageDown, Qt::ShiftModifier, {}, true);
    EXPECT_EQ(std::tuple(ctx.pos.MIndex, ctx.pos.MPos, ui.lblMMode->text()),
              std::tuple(3, 11, "B3"));
    Key(Qt::Key_PageUp), Key(Qt::Key_PageUp), Key(Qt::Key_PageUp);
    EXPECT_EQ(std::tuple(ctx.pos.MIndex, ctx.pos.MPos), std::tuple(6, 17));
}

// START is the default button and Space presses a focused button: a key its shortcut took
// reaches neither, and a key held down acts once.
TEST_F(ShortcutsTest, OneKeyOneAction) {
    int startClicks = 0, stopClicks = 0;
    QObject::connect(ui.cmdStart, &QPushButton::clicked, [&] { ++startClicks; });
    QObject::connect(ui.cmdStop, &QPushButton::clicked, [&] { ++stopClicks; });
    ASSERT_TRUE(ui.cmdStart->isDefault());
    ui.cmdStart->setFocus();
    Key(Qt::Key_Return), Key(Qt::Key_Return, {}, {}, true), Key(Qt::Key_Return, {}, {}, true);
    ui.cmdStop->setEnabled(true), ui.cmdStop->setFocus();
    Key(Qt::Key_Space, {}, " ");
    EXPECT_EQ(Calls(), (std::vector<std::string>{"Run_Start", "Run_Abort"}));
    EXPECT_EQ(std::pair(startClicks, stopClicks), std::pair(0, 0));
    // Inside another operation's wait a key may stop it but starts nothing.
    Activity::Scope busy(*ctx.activity);
    tp.clock.After(0.05, [&] { Key(Qt::Key_Return), Key(Qt::Key_Insert), Key(Qt::Key_Escape); });
    Wait_Seconds(tp.clock, 0.1);
    EXPECT_EQ(Calls(), std::vector<std::string>{"Run_Abort"});
}

// The mode keys click the mode buttons: the switch goes through the controller.
TEST_F(ShortcutsTest, FunctionKeysSwitchModesWhereTheButtonsAllow) {
    ctx.instr.ModeWordActual = 1;
    tp.port.writes.clear();
    Key(Qt::Key_F3);
    EXPECT_EQ(ctx.settings.ZAVMODE, 3);
    EXPECT_EQ(tp.port.writes, std::vector<std::string>{"IP"});
    ui.optZAVMode[2]->setEnabled(false);
    Key(Qt::Key_F2, Qt::ShiftModifier);
    EXPECT_EQ(ctx.settings.ZAVMODE, 3);
    // Locked: the choice is ignored and the mark stays on the mode in force.
    ctx.options->Controls_Enable(false);
    Key(Qt::Key_F1);
    EXPECT_TRUE(ctx.settings.ZAVMODE == 3 && ui.optZAVMode[3]->isChecked());
    ctx.options->Controls_Enable(true);
    Key(Qt::Key_F1);
    EXPECT_TRUE(ctx.settings.ZAVMODE == 1 && ui.optZAVMode[1]->isChecked());
}

// In the terminal only Esc acts: typed keys go to the controller. In a parameter box the
// keys that type a character are typed; Enter still starts the run.
TEST_F(ShortcutsTest, TextEntriesKeepTheirKeys) {
    ui.cmdStop->setEnabled(true), ui.cmdInitTumbler->setEnabled(true);
    ctx.pos = {.MMode = 9, .MIndex = 1, .MIndexMax = 6, .MPos = 7, .TumblerUsed = true};
    ui.txtTerm->setFocus();
    tp.port.writes.clear();
    Key(Qt::Key_1, {}, "1"), Key(Qt::Key_Return, {}, "\r"), Key(Qt::Key_Space, {}, " ");
    Key(Qt::Key_I, {}, "i"), Key(Qt::Key_PageDown), Key(Qt::Key_F2);
    EXPECT_EQ(tp.port.Written(), "1\r i");
    EXPECT_TRUE(Calls().empty() && ctx.pos.MIndex == 1 && ctx.settings.ZAVMODE == 1);
    Key(Qt::Key_Escape);
    EXPECT_EQ(Calls(), std::vector<std::string>{"Run_Abort"});

    ui.txtACMax->setFocus(), ui.txtACMax->setText("1");
    Key(Qt::Key_I, {}, "i"), Key(Qt::Key_Space, {}, " "), Key(Qt::Key_Return, {}, "\r");
    EXPECT_EQ(ui.txtACMax->text(), "1i ");
    EXPECT_EQ(Calls(), std::vector<std::string>{"Run_Start"});
}

}  // namespace
