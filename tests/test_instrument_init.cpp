#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <deque>

#include "core/Activity.h"
#include "core/Widgets.h"
#include "link/Simulator.h"
#include "link/StatusLine.h"
#include "operations/FreqOptimize.h"
#include "operations/InstrumentInit.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "panel/SettingsFile.h"
#include "support/TestProgram.h"

using namespace zavo;
using std::tuple;
using W = std::vector<std::string>;

namespace {

const QDate kToday{2026, 12, 6};

// The controller on COM1: a state-less stand-in good enough for the sequences here.
struct FakeController {
    std::deque<int> temperatures;  // coil mV of the next "y" readings; then warm
    bool tumbler = true;
    int yul = 1;
    std::string z = "fg: 1045d 43.0 Hz";
    bool silent = false;  // answers nothing any more
    std::map<std::string, std::function<void()>> on;  // run when the command arrives

    std::string Reply(const std::string& cmd) {
        if (auto it = on.find(cmd); it != on.end()) it->second();
        if (silent) return "";
        if (cmd == "y") {
            const int mv = temperatures.empty() ? 3189 : temperatures.front();
            if (!temperatures.empty()) temperatures.pop_front();
            return "T: " + std::to_string(mv) + "mV   " + std::to_string(mv / 100) + " \xF8" +
                   "C\r\n";
        }
        static const std::map<std::string, std::string> fixed{
            {"\x10", "** ZAVO-A  03-Jul-2013  c22365"},
            {"\x14\x03", "** STOP "},
            {"\x14\x13", " Hz set  -> IF OK SAVE EEprom ! "},
            {"\x14\x08", "-> Data Was Saved to EEprom"},
            {std::string("\0u", 2), "-> Data Was Loaded from EEprom "},
            {"B0", "B0"}};
        if (auto it = fixed.find(cmd); it != fixed.end()) return it->second + "\r\n";
        if (cmd == "z") return z.empty() ? "" : z + "\r\n";
        // The report's lines end in CR alone, as the controller sends them.
        std::string r = QString::fromStdString(Simulated_Reply(cmd, 1, 1))
                            .replace("\r\n", "\r")
                            .replace("TMB1", tumbler ? "TMB1" : "TMB0")
                            .replace("YUL1", "YUL" + QString::number(yul))
                            .toStdString();
        return r.empty() ? r : r + "\r\n";
    }
};

struct InitTest : ::testing::Test {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    FakeController vc;

    void SetUp() override {
        ctx.window->Form_Load();
        ctx.settings.FREQDATE = kToday.addDays(-5);
        tp.port.responder = [this](const std::string& cmd) { return vc.Reply(cmd); };
    }
    W Sent() { return std::exchange(tp.port.writes, {}); }
    QString Status() const { return ui.picStat[1]->Text().trimmed(); }
    void Init() { ctx.init->Instrument_Init(); }
    // What the end of the sequence left: ready, ended, busy, STOP enabled, INITIALIZE shown.
    auto End() const {
        return tuple(ctx.run.InstrReady, tp.ended, ctx.run.Busy, ui.cmdStop->isEnabled(),
                     ui.cmdInit->isVisibleTo(ui.cmdInit->parentWidget()), Status().toStdString());
    }
    auto Ready() const { return tuple(true, 0, false, false, false, "INSTRUMENT IS READY"); }
};

const W kFrequencySearch{
    "IP", "SD1", "H1", "z", "\x14\x13", "\x14\x08", std::string("\0u", 2), "\x14\x03", "H0", "SD0"};

}  // namespace

// The sequence on a warm instrument with a tumbler, the frequency 30 days old: the commands in
// order, the panel unlocked, STOP's tag naming the port; a second INITIALIZE does nothing.
TEST_F(InitTest, WarmInstrumentWithTumbler) {
    ctx.settings.FREQDATE = kToday.addDays(-30);
    tp.dialogs.onAsk = [](const test::AskedBox& b) { ADD_FAILURE() << b.prompt.toStdString(); };
    Init();
    EXPECT_EQ(Sent(), (W{"\x10", "\x14\x03", "B0", "y", "IP", "i"}));
    EXPECT_EQ(End(), Ready());
    EXPECT_EQ(tuple(tp.port.opened, tp.port.IsOpen(), Tag(ui.cmdStop), ui.cmdStop->text()),
              tuple(std::vector<int>{1, 1}, true, QString("1"), QString("STOP")));
    EXPECT_EQ(tuple(ctx.pos.TumblerUsed, ctx.pos.MMode, ctx.pos.MIndex, ctx.pos.MIndexMax,
                    ctx.pos.MPos, ui.lblMMode->text()),
              tuple(true, Int16(7), Int16(1), Int16(18), Int16(1), QString("U1")));
    EXPECT_TRUE(ui.chkTumbler->isChecked() && ui.chkTumblerT->isChecked() &&
                BackColor(ui.chkTumblerT) == kCyan && InputAccepted(ui.optZAVMode[1]) &&
                ui.fraZAVMode->isEnabled() && !ctx.activity->Active());

    ui.cmdInit->click();
    ctx.window->cmdInit_Click();
    EXPECT_TRUE(Sent().empty());
}

// A cold coil is waited for without limit (2440 mV still waits), then the program goes on.
// Without a tumbler the operator is told and the positions are cleared.
TEST_F(InitTest, ColdCoilAndMissingTumbler) {
    vc.temperatures = {2000, 2300, 2440, 2441};
    vc.tumbler = false;
    std::vector<QString> waiting;
    vc.on["y"] = [&] { waiting.push_back(Status()); };
    Init();
    // The position signal test goes off without a tumbler.
    EXPECT_EQ(Sent(), (W{"\x10", "\x14\x03", "B0", "y", "y", "y", "y", "IP", "w"}));
    EXPECT_EQ(waiting.back().toStdString(), "WAIT FOR WORKING TEMPERATURE       24 C");
    EXPECT_EQ(End(), Ready());
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    EXPECT_EQ(tp.dialogs.boxes[0].prompt, "TUMBLER IS NOT CONNECTED!");
    EXPECT_EQ(tuple(ctx.pos.TumblerUsed, ctx.pos.MMode, ctx.pos.MIndexMax, ui.lblMMode->text()),
              tuple(false, Int16(0), Int16(0), QString()));
    EXPECT_TRUE(ui.optDMode[0]->isChecked() && ui.optDModeT[0]->isChecked() &&
                ui.optMMode[0]->isChecked() && BackColor(ui.optMModeT[0]) == kCyan);
}

// Older than 30 days: the operator is asked for an empty coil; Continue runs the search and
// stores today's date, Abort ends the program. In tablet mode the large dialog asks.
TEST_F(InitTest, FrequencyDueAskedInBothLayouts) {
    ctx.settings.FREQDATE = kToday.addDays(-31);
    bool busyWhenAsked = false;
    tp.dialogs.onAsk = [&](const test::AskedBox&) { busyWhenAsked = ctx.run.Busy; };
    tp.dialogs.boxAnswers = {kYes, kOK};
    Init();
    W want{"\x10", "\x14\x03", "B0", "y"};
    want.insert(want.end(), kFrequencySearch.begin(), kFrequencySearch.end());
    want.insert(want.end(), {"IP", "i"});
    EXPECT_EQ(Sent(), want);
    EXPECT_EQ(End(), Ready());
    ASSERT_EQ(tp.dialogs.boxes.size(), 2u);
    const test::AskedBox& q = tp.dialogs.boxes[0];
    EXPECT_EQ(tuple(q.prompt, q.style, q.title, q.captions),
              tuple(QString("FREQUENCY OPTIMALIZATION WILL START.\r\n\r\nMAKE SURE THERE IS NO "
                            "SPECIMEN IN THE COIL!"),
                    kYesNo + kExclamation, QString("Warning"), QStringList{"&Continue", "&Abort"}));
    EXPECT_TRUE(busyWhenAsked);
    Settings saved;
    ASSERT_TRUE(Settings_Load(tp.Dir() / "ZAVO.sav", saved));
    EXPECT_EQ(tuple(ctx.settings.FREQDATE, saved.FREQDATE), tuple(kToday, kToday));

    for (bool touch : {false, true}) {
        SCOPED_TRACE(touch);
        test::TestProgram again;
        again.ctx().window->Form_Load();
        again.ctx().settings.TOUCHMODE = touch;
        again.port.responder = [this](const std::string& cmd) { return vc.Reply(cmd); };
        again.dialogs.boxAnswers = {kNo};
        again.dialogs.largeAnswers = {false};
        again.ctx().init->Instrument_Init();
        EXPECT_EQ(tuple(again.ended, again.dialogs.boxes.size(), again.dialogs.large.size()),
                  tuple(1, size_t(touch ? 0 : 1), size_t(touch ? 1 : 0)));
        if (touch) {
            EXPECT_EQ(again.dialogs.large[0], (QStringList{"CONTINUE", "ABORT"}));
        }
        EXPECT_EQ(again.port.Written().find('z'), std::string::npos);
    }
}

// The search answered with an error line still switches the stages off before the program
// ends; a controller that falls silent during the save gets nothing more (one dialog), and the
// settings keep the old date, so the next start searches again.
TEST_F(InitTest, FrequencySearchFaultsEndSafely) {
    const W upToSearch{"\x10", "\x14\x03", "B0", "y", "IP", "SD1", "H1", "z"};
    struct Row {
        const char* what;
        std::string z;
        bool silentAfterZ;
        W after;
        size_t criticalBoxes;
    };
    const Row rows[] = {
        {"error line", "## Freq. Out of Range -> Limit Set ! ", false,
         {"H0", "SD0", "\x10", "IP"}, 1},
        {"silent", "fg: 1045d 43.0 Hz", true, {"\x14\x13"}, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        test::TestProgram t;
        t.ctx().window->Form_Load();
        t.ctx().settings.FREQDATE = kToday.addDays(-40);
        FakeController c;
        c.z = r.z;
        if (r.silentAfterZ) c.on["z"] = [&c] { c.on["\x14\x13"] = [&c] { c.silent = true; }; };
        t.port.responder = [&c](const std::string& cmd) { return c.Reply(cmd); };
        t.dialogs.boxAnswers = {kYes};
        t.ctx().init->Instrument_Init();
        W want = upToSearch;
        want.insert(want.end(), r.after.begin(), r.after.end());
        EXPECT_EQ(t.port.writes, want);
        size_t critical = 0;
        for (const auto& b : t.dialogs.boxes) critical += b.title == "Critical error";
        EXPECT_EQ(tuple(t.ended, critical), tuple(1, r.criticalBoxes));
        EXPECT_EQ(t.ctx().settings.FREQDATE, kToday.addDays(-40));
        Settings saved;
        ASSERT_TRUE(Settings_Load(t.Dir() / "ZAVO.sav", saved));
        EXPECT_NE(saved.FREQDATE, kToday);
    }
}

// A saved magnetizer mode with a unit in a state the program does not know falls back to
// DEMAGNETIZER, as a missing unit does: the panel never shows a mode the instrument is not in.
TEST_F(InitTest, UnknownUnitStateFallsBackToDemagnetizer) {
    ctx.settings.ZAVMODE = 3;
    vc.yul = 3;
    Init();
    EXPECT_EQ(End(), Ready());
    EXPECT_EQ(ctx.settings.ZAVMODE, 1);
    EXPECT_TRUE(ui.optZAVMode[1]->isChecked() && BackColor(ui.optZAVMode[1]) == kCyan);
}

// Simulation mode: the port is neither searched nor reopened. STOP in the temperature wait, no
// instrument at all: "SWITCHING OFF..." for a second, then the program ends.
TEST_F(InitTest, SimulationAndSwitchOff) {
    ctx.settings.SIMULMODE = true;
    Init();
    EXPECT_TRUE(tp.port.opened.empty() && Sent().empty());
    EXPECT_EQ(End(), Ready());

    test::TestProgram cold;
    cold.ctx().window->Form_Load();
    cold.ctx().settings.FREQDATE = kToday;
    vc.temperatures.assign(100, 2000);
    cold.port.responder = [this](const std::string& cmd) { return vc.Reply(cmd); };
    cold.clock.After(10, [&] { cold.ctx().run.StopRequest = true; });
    cold.ctx().init->Instrument_Init();
    EXPECT_EQ(cold.ended, 1);
    EXPECT_EQ(cold.ctx().ui->picStat[1]->Text().trimmed(), "SWITCHING OFF...");
    EXPECT_NEAR(cold.clock.Absolute() - 36000, 12, 1.5);
    EXPECT_FALSE(cold.ctx().run.InstrReady || cold.ctx().ui->cmdStop->isEnabled());

    test::TestProgram none;
    none.ctx().window->Form_Load();
    none.port.existing.clear();
    none.ctx().init->Instrument_Init();
    EXPECT_EQ(tuple(none.ended, none.dialogs.boxes.size(), none.ctx().run.InstrReady),
              tuple(1, size_t(1), false));
}

// The first showing of the window initializes once, after the window is up; showing it again
// does not; a window that was not asked to (tests, screenshots) never does.
TEST_F(InitTest, FirstShowingInitializesOnce) {
    ctx.window->show();
    QApplication::processEvents();
    EXPECT_TRUE(Sent().empty());
    ctx.window->hide();
    ctx.window->Activation_InitEnable();
    ctx.window->show();
    QApplication::processEvents();
    EXPECT_EQ(End(), Ready());
    ctx.run.InstrReady = false;
    ctx.window->hide(), Sent();
    ctx.window->show();
    QApplication::processEvents();
    EXPECT_TRUE(Sent().empty());
}

TEST(FrequencyText, FromTheSearchReply) {
    const tuple<const char*, const char*, bool> cases[] = {
        {"fg: 1045d 43.0 Hz", "43.0 Hz", true},
        {"1045d 43.0 Hz", "", false},  // no colon: nothing is taken
        {"fg: 1045 43.0 Hz", "", true},
        {"fg:1045d   43.0 Hz", "43.0 H", true},       // 9 characters after the d, trimmed
        {"fg: 123456789012345678d 40 Hz", "", true},  // the d beyond 20 characters
    };
    for (auto [reply, f, colon] : cases) {
        bool hasColon = !colon;
        EXPECT_EQ(tuple(Frequency_Text(reply, hasColon), hasColon), tuple(std::string(f), colon))
            << reply;
    }
}

// The optimization alone: DEMAGNETIZER stays selected, the frequency shown and confirmed; in
// tablet mode nothing is asked; a failed search stores nothing but still switches off.
TEST_F(InitTest, FrequencyOptimization) {
    ASSERT_TRUE(tp.port.Open(1));
    ctx.settings.ZAVMODE = 2;
    const QDate old = ctx.settings.FREQDATE;
    vc.z = "1045d 43.0 Hz";  // no colon
    ctx.freq->Freq_Optimize();
    EXPECT_EQ(Sent(), kFrequencySearch);
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    const test::AskedBox& b = tp.dialogs.boxes[0];
    EXPECT_EQ(tuple(b.prompt, b.style, b.title),
              tuple(QString("FREQUENCY WILL BE SAVED TO EEPROM:\r\n"), kOKOnly + kInformation,
                    QString("Frequency optimalization")));
    EXPECT_EQ(tuple(ctx.settings.ZAVMODE, ctx.settings.FREQDATE, ui.cmdStop->isEnabled()),
              tuple(Int16(1), kToday, true));

    ctx.settings.TOUCHMODE = true;
    vc.z = "fg: 1045d 43.0 Hz";
    std::vector<QString> shown;
    vc.on["\x14\x13"] = [&] { shown.push_back(Status()); };
    ctx.freq->Freq_Optimize();
    EXPECT_EQ(Sent(), kFrequencySearch);
    EXPECT_EQ(tp.dialogs.boxes.size(), 1u);
    EXPECT_EQ(shown, (std::vector<QString>{"SAVING AC FREQUENCY"}));

    ctx.settings.FREQDATE = old;
    vc.z = "## Hypex Overheated ";  // an error the controller survives
    ctx.freq->Freq_Optimize();
    EXPECT_EQ(Sent(), (W{"IP", "SD1", "H1", "z", "H0", "SD0"}));
    EXPECT_EQ(ctx.settings.FREQDATE, old);
}

// STOP during the search: the controller's last words are collected for 3 s, then 5 s later
// the amplifier and the demagnetizer go off; nothing is stored, STOP stays off. STOP right
// after the mode switch puts the operator's mode back.
TEST_F(InitTest, FrequencyOptimizationStopped) {
    ASSERT_TRUE(tp.port.Open(1));
    const QDate old = ctx.settings.FREQDATE;
    vc.z.clear();
    vc.on["z"] = [this] { tp.clock.After(2, [this] { ctx.run.StopRequest = true; }); };
    const double start = tp.clock.Absolute();
    ctx.freq->Freq_Optimize();
    EXPECT_EQ(Sent(), (W{"IP", "SD1", "H1", "z", "H0", "SD0"}));
    EXPECT_NEAR(tp.clock.Absolute() - start, 0.5 + 2 + 3 + 5, 0.8);
    EXPECT_EQ(tuple(ctx.settings.FREQDATE, ui.cmdStop->isEnabled()), tuple(old, false));

    ctx.run.StopRequest = false;
    ctx.settings.ZAVMODE = 3;
    vc.on["IP"] = [this] { ctx.run.StopRequest = true; };
    ctx.freq->Freq_Optimize();
    EXPECT_EQ(Sent(), (W{"IP", "H0", "SD0"}));
    EXPECT_EQ(ctx.settings.ZAVMODE, 3);
}
