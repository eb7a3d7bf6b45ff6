// The initialization and the AC frequency search on the fake controller.
#include <gtest/gtest.h>

#include <QApplication>

#include "core/Activity.h"
#include "core/Widgets.h"
#include "operations/FreqOptimize.h"
#include "operations/InstrumentInit.h"
#include "panel/MainWindow.h"
#include "panel/SettingsFile.h"
#include "support/Rig.h"

using namespace zavo;
using namespace zavo::test;
using std::tuple;

namespace {

const QDate kToday{2026, 12, 6};
const W kStart{"\x10", "\x14\x03", "B0", "y"};
const W kSearch{"IP", "SD1", "H1", "z", "\x14\x13", "\x14\x08", std::string("\0u", 2), "\x14\x03",
                "H0", "SD0"};

// The program just started, its frequency searched five days ago.
struct Started : Bench {
    Started() {
        ctx.window->Form_Load();
        ctx.settings.FREQDATE = kToday.addDays(-5);
    }
    QDate SavedDate() const {
        Settings saved;
        return Settings_Load(tp.Dir() / "ZAVO.sav", saved) ? saved.FREQDATE : QDate();
    }
};

struct InitTest : ::testing::Test, Started {};

}  // namespace

// The sequence by what instrument and operator say: commands, outcome, boxes, the search date.
TEST(Init, Outcomes) {
    struct Case {
        const char* what;
        std::function<void(Started&)> arrange;
        W sent;
        bool ready;
        std::vector<QString> asked;  // titles of the boxes
        int searched;                // days ago, in the record (and the file when saved)
    };
    const auto due = [](Started& s, int answer) {
        s.ctx.settings.FREQDATE = kToday.addDays(-31);
        s.tp.dialogs.boxAnswers = {answer, kOK};
    };
    const Case cases[] = {
        {"warm, frequency 30 days old",
         [](Started& s) { s.ctx.settings.FREQDATE = kToday.addDays(-30); },
         Cat(kStart, {"IP", "i"}), true, {}, 30},
        {"frequency due, Abort: switched off on the way out", [&](Started& s) { due(s, kNo); },
         Cat(kStart, {"\x10", "IP"}), false, {"Warning"}, 31},
        {"search answered with an error line",
         [&](Started& s) { due(s, kYes), s.unit.freq = "## Freq. Out of Range -> Limit Set ! "; },
         Cat(kStart, {"IP", "SD1", "H1", "z", "H0", "SD0", "\x10", "IP"}), false,
         {"Warning", "Critical error"}, 31},
        {"silent while the frequency is saved",
         [&](Started& s) { due(s, kYes), s.unit.on["\x14\x13"] = [&s] { s.unit.silent = true; }; },
         Cat(kStart, {"IP", "SD1", "H1", "z", "\x14\x13"}), false,
         {"Warning", "Frequency optimalization", "Critical error"}, 31},
        {"unknown unit state: DEMAGNETIZER, as without the unit",
         [](Started& s) { s.ctx.settings.ZAVMODE = 3, s.unit.yul = 3; },
         Cat(kStart, {"IP", "IP", "i"}), true, {}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Started s;
        c.arrange(s);
        s.ctx.init->Instrument_Init();
        EXPECT_EQ(s.Sent(), c.sent);
        EXPECT_EQ(tuple(s.ctx.run.InstrReady, s.tp.ended, s.Status(), s.ctx.settings.ZAVMODE),
                  tuple(c.ready, c.ready ? 0 : 1,
                        c.ready ? "INSTRUMENT IS READY" : "SWITCHING OFF...", 1));
        std::vector<QString> asked;
        for (const AskedBox& b : s.tp.dialogs.boxes) asked.push_back(b.title);
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(s.ctx.settings.FREQDATE, kToday.addDays(-c.searched));
        EXPECT_EQ(s.SavedDate() == kToday, c.searched == 0);
        const OptionButton* demag = s.ui.optZAVMode[1];
        EXPECT_TRUE(!c.ready || (demag->isChecked() && BackColor(demag) == kCyan));
    }
}

// Ready with a tumbler: STOP off, tagged with the port, the user set; INITIALIZE again: nothing.
TEST_F(InitTest, ReadyWithTumbler) {
    ctx.init->Instrument_Init();
    EXPECT_EQ(tuple(ctx.run.Busy, ui.cmdStop->isEnabled(), ui.cmdStop->text(), Tag(ui.cmdStop),
                    ui.cmdInit->isVisibleTo(ui.cmdInit->parentWidget()), tp.port.opened),
              tuple(false, false, "STOP", "1", false, std::vector<int>{1, 1}));
    EXPECT_EQ(tuple(ctx.pos.TumblerUsed, ctx.pos.MMode, ctx.pos.MIndex, ctx.pos.MIndexMax,
                    ctx.pos.MPos, ui.lblMMode->text()),
              tuple(true, Int16(7), Int16(1), Int16(18), Int16(1), QString("U1")));
    EXPECT_TRUE(ui.chkTumbler->isChecked() && InputAccepted(ui.optZAVMode[1]) &&
                !ctx.activity->Active());
    Sent();
    ui.cmdInit->click();
    ctx.window->cmdInit_Click();
    EXPECT_TRUE(Sent().empty());
}

// The operator is asked for an empty coil while busy; on the tablet ABORT ends the program.
TEST_F(InitTest, FrequencyDueQuestion) {
    ctx.settings.FREQDATE = kToday.addDays(-31);
    bool busyWhenAsked = false;
    tp.dialogs.onAsk = [&](const AskedBox&) { busyWhenAsked = ctx.run.Busy; };
    tp.dialogs.boxAnswers = {kNo};
    ctx.init->Instrument_Init();
    EXPECT_TRUE(tp.dialogs.boxes.size() == 1 && busyWhenAsked);
    Started tablet;
    tablet.ctx.settings.FREQDATE = kToday.addDays(-31);
    tablet.ctx.settings.TOUCHMODE = true;
    tablet.tp.dialogs.largeAnswers = {false};
    tablet.ctx.init->Instrument_Init();
    EXPECT_EQ(tuple(tablet.tp.dialogs.large, tablet.tp.dialogs.boxes.size(), tablet.tp.ended),
              tuple(std::vector<QStringList>{{"CONTINUE", "ABORT"}}, 0u, 1));
    EXPECT_EQ(tablet.Sent(), Cat(kStart, {"\x10", "IP"}));
}

// Simulation touches no port; STOP in the temperature wait ends the program.
TEST_F(InitTest, SimulationAndStop) {
    ctx.settings.SIMULMODE = true;
    ctx.init->Instrument_Init();
    EXPECT_TRUE(tp.port.opened.empty() && Sent().empty() && ctx.run.InstrReady);

    Started cold;
    cold.unit.coilMV = 2000;
    cold.tp.clock.After(10, [&] {
        EXPECT_TRUE(cold.ui.cmdStop->isEnabled());  // usable from the start
        cold.ui.cmdStop->setEnabled(true), cold.ui.cmdStop->click();
    });
    cold.ctx.init->Instrument_Init();
    EXPECT_EQ(tuple(cold.tp.ended, cold.Status(), cold.ctx.run.InstrReady, cold.ui.cmdStop->isEnabled()),
              tuple(1, "SWITCHING OFF...", false, false));
    EXPECT_NEAR(cold.tp.clock.Absolute() - 36000, 12, 1.5);
}

// The first showing initializes once, after the window is up; unless asked to, never.
TEST_F(InitTest, FirstShowingInitializesOnce) {
    const auto show = [&] {
        ctx.window->hide();
        ctx.window->show();
        QApplication::processEvents();
        return Sent();
    };
    EXPECT_TRUE(show().empty());
    ctx.window->Activation_InitEnable();
    EXPECT_EQ(show(), Cat(kStart, {"IP", "i"}));
    ctx.run.InstrReady = false;
    EXPECT_TRUE(show().empty());
}

TEST(FrequencyText, FromTheSearchReply) {
    const tuple<const char*, const char*, bool> cases[] = {
        {"fg: 1045d 43.0 Hz", "43.0 Hz", true},
        {"1045d 43.0 Hz", "", false},  // no colon: nothing is taken
        {"fg: 1045 43.0 Hz", "", true},
        {"fg:d 43.0 Hz", "43.0 Hz", true},
        {"fg:1045d   43.0 Hz", "43.0 H", true},       // 9 characters after the d, trimmed
        {"fg: 123456789012345678d 40 Hz", "", true},  // the d beyond 20 characters
    };
    for (auto [reply, f, colon] : cases) {
        bool hasColon = !colon;
        EXPECT_EQ(tuple(Frequency_Text(reply, hasColon), hasColon), tuple(std::string(f), colon))
            << reply;
    }
}

// The search alone: confirmed, DEMAGNETIZER, STOP usable; a failed one stores nothing.
TEST_F(InitTest, FrequencySearch) {
    ASSERT_TRUE(tp.port.Open(1));
    ctx.settings.ZAVMODE = 2;
    const QDate old = ctx.settings.FREQDATE;
    unit.freq = "1045d 43.0 Hz";  // no colon
    ctx.freq->Freq_Optimize();
    EXPECT_EQ(Sent(), kSearch);
    EXPECT_EQ(tp.dialogs.boxes.at(0).prompt, "FREQUENCY WILL BE SAVED TO EEPROM:\r\n");
    EXPECT_EQ(tuple(ctx.settings.ZAVMODE, ctx.settings.FREQDATE, ui.cmdStop->isEnabled()),
              tuple(Int16(1), kToday, true));

    ctx.settings.TOUCHMODE = true;
    unit.freq = "fg: 1045d 43.0 Hz";
    std::vector<std::string> shown;
    unit.on["z"] = unit.on["\x14\x13"] = unit.on["H0"] = [&] { shown.push_back(Status()); };
    ctx.freq->Freq_Optimize();
    EXPECT_EQ(tuple(Sent(), tp.dialogs.boxes.size()), tuple(kSearch, 1u));
    EXPECT_EQ(shown, (std::vector<std::string>{"SEARCHING FOR AC FREQUENCY", "SAVING AC FREQUENCY",
                                               "SAVING AC FREQUENCY"}));

    ctx.settings.FREQDATE = old;
    unit.freq = "## Hypex Overheated ";  // an error the controller survives
    ctx.freq->Freq_Optimize();
    EXPECT_EQ(tuple(Sent(), ctx.settings.FREQDATE), tuple(W{"IP", "SD1", "H1", "z", "H0", "SD0"}, old));
}

// STOP in the search: last words, the stages off, nothing stored, the operator's mode back.
TEST_F(InitTest, FrequencySearchStopped) {
    ASSERT_TRUE(tp.port.Open(1));
    const QDate old = ctx.settings.FREQDATE;
    unit.freq.clear();
    unit.on["z"] = [this] { tp.clock.After(2, [this] { ctx.run.StopRequest = true; }); };
    const double start = tp.clock.Absolute();
    ctx.freq->Freq_Optimize();
    EXPECT_EQ(Sent(), (W{"IP", "SD1", "H1", "z", "H0", "SD0"}));
    EXPECT_NEAR(tp.clock.Absolute() - start, 0.5 + 2 + 3 + 5, 0.8);
    EXPECT_EQ(tuple(ctx.settings.FREQDATE, ui.cmdStop->isEnabled()), tuple(old, false));

    ctx.run.StopRequest = false;
    ctx.settings.ZAVMODE = 3;
    unit.on["IP"] = [this] { ctx.run.StopRequest = true; };
    ctx.freq->Freq_Optimize();
    EXPECT_EQ(tuple(Sent(), ctx.settings.ZAVMODE), tuple(W{"IP", "H0", "SD0"}, 3));
}
