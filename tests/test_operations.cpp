// The operations on the fake controller: run, demagnetizer hold and exit; status report, mode
// switch and upload; tumbler and service buttons; initialization and AC frequency search.
#include <gtest/gtest.h>

#include <QApplication>
#include <array>

#include "core/Activity.h"
#include "core/Paths.h"
#include "core/Waits.h"
#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "operations/DemagHold.h"
#include "operations/FreqOptimize.h"
#include "operations/InstrumentInit.h"
#include "operations/ModeSwitch.h"
#include "operations/ParamUpload.h"
#include "operations/RunSequence.h"
#include "operations/ServiceControls.h"
#include "operations/StatusReport.h"
#include "panel/MainWindow.h"
#include "panel/SettingsFile.h"
#include "support/FakeMagTransport.h"
#include "support/Rig.h"

using namespace zavo;
using namespace zavo::test;
using std::tuple;

namespace {

const std::string ESC = "\x1b";

struct RunRig : Rig {
    using Rig::Rig;
    W Run() { return ctx.run_ops->Run_Start(), Sent(); }
    // A run leaves everything idle, whichever way it ended.
    void ExpectIdle() const {
        EXPECT_FALSE(ctx.run.Busy || ctx.run.StopRequest || ctx.link.RunCancel ||
                     ui.cmdStop->isEnabled() || ctx.activity->Active());
    }
    void AutoNext(int mmode) { ui.optMMode[mmode]->SetValue(true), ui.chkAutoNext->SetValue(true); }
    // The magnetometer program, told the time of each treatment.
    FakeMagTransport& magnetometer = Listening(ctx);
    int Stamps() const { return int(magnetometer.sent.size()); }
};

// What the operator sees: the checked mode, the highlighted one, the panel shown.
std::string Shown(const Controls& ui) {
    std::string s;
    for (int i = 1; i <= 3; ++i) {
        if (ui.optZAVMode[i]->isChecked()) s += "checked " + std::to_string(i) + ", ";
        if (BackColor(ui.optZAVMode[i]) == kCyan) s += "lit " + std::to_string(i) + ", ";
    }
    return s + (ui.fraTOV->isVisibleTo(ui.owner) ? "TOV" : "ADM") +
           (ui.fraMMode->isVisibleTo(ui.owner) ? "+positions" : "");
}

struct ModeTest : ::testing::Test, Rig { void Click(int mode) { ui.optZAVMode[mode]->click(); } };

const char* const kDemag = "checked 1, lit 1, ADM";

struct TumblerTest : ::testing::Test, Rig {
    TumblerTest() : Rig(3) {}
    void SetUp() override { ui.txtTOVTime->setText("1"); }  // no message but the tumbler's
    Tumbler& tumbler = *ctx.tumbler;
    auto Pos() const {
        return tuple(ctx.pos.MMode, ctx.pos.MIndex, ctx.pos.MIndexMax, ctx.pos.MPos,
                     ui.lblMMode->text().toStdString());
    }
};

struct ServiceTest : ::testing::Test, Rig {
    ServiceTest() { ctx.settings.SERVMODE = true; }
};

const QDate kToday{2026, 12, 6};
const W kStart{"\x10", "\x14\x03", "B0", "y"};
const W kSearch{"IP", "SD1", "H1", "z", "\x14\x13", "\x14\x08", std::string("\0u", 2), "\x14\x03",
                "H0", "SD0"};

// The program just started, its frequency searched five days ago.
struct Started : Bench {
    Started() { ctx.window->Form_Load(), ctx.settings.FREQDATE = kToday.addDays(-5); }
    QDate SavedDate() const {
        Settings saved;
        return Settings_Load(tp.Dir() / "ZAVO.sav", saved) ? saved.FREQDATE : QDate();
    }
};

struct InitTest : ::testing::Test, Started {};

}  // namespace

// Demagnetizer passes by mode, the specimen out after each, a stamp per "G", one beep, the hold.
TEST(Run, DemagnetizerPasses) {
    const tuple<bool, int, W, int> cases[] = {  // tumbler used, DMODE, passes, time stamps
        {true, 8, {"i", "P01", "y", "G", "P00", "i", "P03", "y", "G", "P00", "i", "P05", "y", "G", "P00"}, 3},
        {false, 8, {"y", "G"}, 1},
        {true, 7, {"t", "y", "G", "i"}, 1},
        {true, 5, {"i", "P04", "y", "G", "P00"}, 1},
    };
    for (const auto& [tumbler, dmode, passes, stamps] : cases) {
        SCOPED_TRACE(dmode);
        RunRig r(1, tumbler);
        r.ctx.settings.DMODE = Int16(dmode);
        EXPECT_EQ(r.Run(), Cat(Cat({"IP", "ER1", "SD1", "H1"}, passes), {"H0"}));
        EXPECT_EQ(tuple(r.Stamps(), r.tp.sound.beeps, r.Status(), r.ui.cmdStart->isEnabled(),
                        r.ui.timSD->isActive(), r.ctx.hold->SDOnSince()),
                  tuple(stamps, 1, "INSTRUMENT IS READY", true, true, r.tp.clock.Now()));
        r.ExpectIdle();
    }
}

// No AC peak: the stages go off instead and "G" still runs; a coil at 2440 mV is waited for.
TEST(Run, ZeroPeakAndTemperatureWait) {
    RunRig r(1);
    r.ctx.settings.DMGFD = 0, r.unit.FD = 0, r.unit.H = r.unit.SD = r.unit.SM = 1;
    r.ctx.limits->Limits_Set(), r.unit.temperatures = {2440, 2440}, r.unit.coilMV = 2441;
    std::vector<double> at;  // of each reading and of "G"
    r.unit.on["y"] = r.unit.on["G"] = [&] { at.push_back(r.tp.clock.Absolute()); };
    EXPECT_EQ(r.Run(), (W{"IP", "ER1", "H0", "SD0", "SM0", "y", "y", "y", "G"}));
    EXPECT_TRUE(at.back() - at.front() >= 2.0 && at.back() - at.front() < 2.5 &&
                !r.ui.timSD->isActive());
    r.ExpectIdle();
}

// Pulses alternate so the last has the chosen polarity; the magnetizer is on from 1 mT.
TEST(Run, PulseSeries) {
    const tuple<int, int, int, W> cases[] = {  // direction, pulses, field, commands after "IP"
        {1, 3, 5, {"SM1", "D1", "G", "D2", "G", "D1", "G"}},
        {1, 2, 5, {"SM1", "D2", "G", "D1", "G"}},
        {2, 4, 5, {"SM1", "D1", "G", "D2", "G", "D1", "G", "D2", "G"}},
        {2, 1, 1, {"FP001", "SM1", "D2", "G"}},
        {2, 1, 0, {"FP000", "D2", "G"}},
    };
    for (const auto& [dir, num, field, pulses] : cases) {
        SCOPED_TRACE(testing::Message() << dir << " " << num << " " << field);
        RunRig r(3);
        r.ctx.settings.TOVDIR = Int16(dir), r.ctx.settings.TOVNUM = Int16(num);
        r.ui.txtTOVField->setText(QString::number(field));
        EXPECT_EQ(r.Run(), Cat({"IP"}, pulses));
        EXPECT_EQ(tuple(r.Stamps(), r.ctx.settings.TOVDIR, r.unit.SM), tuple(1, dir, field >= 1));
        r.ExpectIdle();
    }
}

// ABORT: Esc twice 0.2 s apart, no stamp, no next position; before a port, only the flag.
TEST(Run, Abort) {
    RunRig r(2, true);
    r.AutoNext(10), r.unit.course = 10;
    r.unit.on["G"] = [&] { r.tp.clock.After(1, [&] { r.ui.cmdStop->click(); }); };
    EXPECT_EQ(r.Run(), (W{"IP", "ER1", "SD1", "H1", "SM1", "i", "P10", "y", "G", ESC, ESC, "H0"}));
    const auto& t = r.tp.port.writeTimes;
    EXPECT_NEAR(t.end()[-2] - t.end()[-3], 0.2, 0.02) << "second Esc";
    EXPECT_EQ(tuple(r.Stamps(), r.ctx.pos.MIndex, r.ctx.pos.MPos, BackColor(r.ui.picStat[0])),
              tuple(0, 1, 10, kGreen));
    r.ExpectIdle();
    SetTag(r.ui.cmdStop, "0");
    r.ui.cmdStop->setEnabled(true), r.ui.cmdStop->click();
    EXPECT_TRUE(r.Sent().empty() && r.ctx.run.StopRequest && BackColor(r.ui.picStat[0]) == kRed);
}

// Failed courses: the hold switches off, a fatal one switches off first, no stamps or steps.
TEST(Run, FailedCourses) {
    const W demag{"IP", "ER1", "SD1", "H1", "y", "G"};
    const tuple<Int16, bool, const char*, W> cases[] = {  // mode, tumbler, "G" answer, commands
        {1, false, "## Hypex Overheated ", demag},
        {1, false, "## Coil Overheated ", Cat(demag, {"B1", "\x10", "IP", "H0", "SD0"})},
        {2, true, "## User Tumbler Break ", {"IP", "ER1", "SD1", "H1", "SM1", "i", "P10", "y", "G", "P00", "H0"}},
        {3, true, "## User Tumbler Break ", {"IP", "SM1", "i", "P10", "D1", "G", "P00"}},
    };
    for (const auto& [mode, tumbler, error, sent] : cases) {
        SCOPED_TRACE(testing::Message() << mode << error);
        RunRig r(mode, tumbler);
        r.ctx.settings.DMODE = 1, r.ctx.settings.TOVNUM = 3;
        if (mode > 1) r.AutoNext(10);
        r.unit.gError = error;
        EXPECT_EQ(r.Run(), sent);
        const bool fatal = error[3] == 'C';
        EXPECT_EQ(tuple(r.tp.ended, r.Stamps(), r.ctx.pos.MIndex, r.ui.cmdStart->isEnabled()),
                  tuple(fatal ? 1 : 0, 0, tumbler ? 1 : 0, !fatal));
        r.ExpectIdle();
        if (error[3] != 'H') continue;
        std::string said;
        r.unit.on["H0"] = [&] { said = r.Status(); }, r.tp.clock.Advance(300);
        r.ctx.hold->timSD_Timer();
        EXPECT_EQ(tuple(r.Sent(), said), tuple(W{"H0", "SD0"}, "INSTRUMENT IS READY"));
    }
}

// The next position when "Auto next" shows on, whatever the record; auto switch after it.
TEST(Run, AutoNextAndAutoSwitch) {
    RunRig r(2, true);
    r.AutoNext(10), r.ui.chkAutoSwitch->setChecked(true);
    EXPECT_EQ(r.Run(),
              (W{"IP", "ER1", "SD1", "H1", "SM1", "i", "P10", "y", "G", "P00", "H0", "IP", "SM0"}));
    EXPECT_EQ(tuple(r.ctx.pos.MIndex, r.ctx.pos.MPos, r.ui.lblMMode->text().toStdString(),
                    r.ctx.settings.ZAVMODE, r.Stamps()),
              tuple(2, 7, "P2", 1, 1));
    r.ExpectIdle();
    // The boxes cleared behind the handler's back (a tumbler lost at re-initialization).
    r.ui.chkAutoSwitch->setChecked(false);
    r.ctx.settings.ZAVMODE = 2, r.ctx.limits->Limits_Set(), r.ctx.enabling->Panels_Enable(true);
    r.ui.chkAutoNext->setChecked(false), r.ui.chkAutoNextT->setChecked(false), r.Sent();
    r.unit.gError = "## User Tumbler Break ";
    EXPECT_EQ(r.Run(), (W{"IP", "ER1", "H1", "SM1", "i", "P07", "y", "G", "P00", "H0"}));
    EXPECT_EQ(tuple(r.ctx.pos.MIndex, r.ctx.pos.AutoNext), tuple(2, false));
}

// The hold counts across midnight, waits out other operations, then switches off.
TEST(Hold, CountsAcrossMidnightAndSwitchesOff) {
    RunRig r(1);
    DemagHold& hold = *r.ctx.hold;
    r.tp.clock.Advance(86380 - r.tp.clock.Now()), r.Run();
    const double end = hold.SDOnSince();
    ASSERT_TRUE(end > 86380 && end < 86400) << "the run ends before midnight: " << end;
    r.tp.clock.Advance(90), hold.timSD_Timer();
    EXPECT_EQ(r.ui.lblSD->text(), "210");
    r.ctx.tumbler->Tumbler_Init();
    EXPECT_TRUE(r.ui.timSD->isActive() && hold.SDOnSince() == end && r.Sent() == W{"i"});
    r.tp.clock.Advance(210);
    {
        Activity::Scope busy(*r.ctx.activity);
        hold.timSD_Timer();
        EXPECT_TRUE(r.tp.port.writes.empty() && r.ui.lblSD->text() == "210");
    }
    hold.timSD_Timer();
    EXPECT_EQ(tuple(r.Sent(), r.ui.lblSD->text().toStdString(), hold.SDOnSince(),
                    r.ui.timSD->isActive(), r.ctx.instr.SDActual),
              tuple(W{"SD0"}, "", 0.0, false, 0));
    // Restarted without a hold (the demagnetizer switched on by hand): nothing is timed.
    r.ctx.instr.SDActual = 1, r.ui.timSD->start(), hold.timSD_Timer();
    EXPECT_EQ(tuple(r.Sent(), r.ui.timSD->isActive()), tuple(W{}, false));
}

// A mode switch that leaves the demagnetizer on keeps the count; "M2" clears it.
TEST(Hold, ModeSwitchesKeepOrClearTheCount) {
    RunRig r(1);
    r.unit.yul = 0;  // the unit off: ANHYSTERETIC falls back, the demagnetizer stays on
    r.Run(), r.tp.clock.Advance(10), r.ctx.hold->timSD_Timer();
    EXPECT_EQ(r.ui.lblSD->text(), "290");
    r.tp.dialogs.boxAnswers = {kCancel}, r.ui.optZAVMode[2]->click();
    EXPECT_EQ(tuple(r.ctx.settings.ZAVMODE, r.ui.timSD->isActive()), tuple(1, true));
    r.unit.yul = 1, r.ui.optZAVMode[3]->click();
    EXPECT_EQ(tuple(r.ctx.settings.ZAVMODE, r.ctx.instr.SDActual, r.ui.lblSD->text().toStdString(),
                    r.ui.timSD->isActive()),
              tuple(3, 0, "", false));
}

// Closing: refused busy or on No; Yes switches an initialized, answering instrument off, saves.
TEST(Exit, Paths) {
    enum Case { Busy, No, Yes, Silent, NotReady, HotCoil };
    const W off{"\x10", "IP", "H0", "SD0", "SM0", "y"};
    const tuple<Case, bool, W, bool, std::vector<QString>> cases[] = {
        // stays open, commands, settings saved, boxes asked
        {Busy, true, {}, false, {}},
        {No, true, {}, false, {"Exiting ZAVO"}},
        {Yes, false, off, true, {"Exiting ZAVO"}},
        {Silent, false, {"\x10"}, false, {"Exiting ZAVO"}},
        {NotReady, false, {}, false, {"Exiting ZAVO"}},
        {HotCoil, false, off, true, {"Exiting ZAVO", "Warning"}},
    };
    for (const auto& [c, kept, sent, saved, asked] : cases) {
        SCOPED_TRACE(c);
        RunRig r(1);
        r.unit.H = r.unit.SD = r.unit.SM = 1, r.ctx.log->Open(r.tp.Dir() / "mon" / "today.mon");
        r.ctx.run.Busy = c == Busy, r.ctx.run.InstrReady = c != NotReady;
        if (c == Silent) r.unit.overrides["\x10"] = "";
        if (c == HotCoil) r.unit.coilMV = 2400;
        r.tp.dialogs.boxAnswers = {c == No ? kNo : kYes, kOK};
        std::string said = "not asked";
        r.unit.on["\x10"] = [&] { said = r.Status(); };
        EXPECT_EQ(r.ctx.hold->Form_QueryUnload(), kept);
        EXPECT_EQ(r.Sent(), sent);
        EXPECT_EQ(ReadBytes(r.ctx.paths.SettingsFile()), saved ? Settings_Bytes(r.ctx.settings) : "");
        std::vector<QString> titles;
        for (const AskedBox& b : r.tp.dialogs.boxes) titles.push_back(b.title);
        EXPECT_EQ(tuple(titles, r.ctx.log->IsOpen(), r.tp.sound.beeps, said),
                  tuple(asked, kept, c == HotCoil ? 1 : 0,
                        sent.empty() ? "not asked" : "INSTRUMENT IS READY"));
    }
}

// A termination signal in a run stops it, switches off and saves without a question.
TEST(Exit, TerminationSignal) {
    RunRig r(1);
    r.unit.course = 10, r.unit.H = r.unit.SD = r.unit.SM = 1;
    r.unit.on["G"] = [&] { r.tp.clock.After(1, [&] { r.ctx.hold->Terminate(); }); };
    EXPECT_EQ(r.Run(), (W{"IP", "ER1", "SM0", "y", "G", ESC, ESC, "H0"}));
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(tuple(r.Sent(), r.tp.dialogs.boxes.size(), r.ctx.hold->Closed()),
              tuple(W{"\x10", "IP", "SD0"}, 0u, true));
    EXPECT_EQ(ReadBytes(r.ctx.paths.SettingsFile()), Settings_Bytes(r.ctx.settings));
}

// The port failing inside an operation is told, logged and ends the program after it.
TEST(Exit, PortLost) {
    RunRig r(1);
    r.ctx.log->Open(r.tp.Dir() / "mon" / "today.mon"), r.tp.port.FailAfter(1);
    {
        Activity::Scope scope(*r.ctx.activity);
        Wait_Seconds(r.tp.clock, 2);
        EXPECT_EQ(r.tp.ended, 0);
    }
    r.tp.clock.Advance(2);
    QCoreApplication::processEvents();
    ASSERT_EQ(r.tp.dialogs.boxes.size(), 1u);
    EXPECT_EQ(tuple(r.tp.dialogs.boxes[0].prompt, r.tp.ended, r.Sent()),
              tuple("## INSTRUMENT IS DISCONNECTED! \r\n\r\nZAVO WILL BE CLOSED!", 1, W{}));
    const std::string log = ReadBytes(r.tp.Dir() / "mon" / "today.mon");
    EXPECT_NE(log.find("DISCONNECTED! - ZAVO WILL BE CLOSED!"), std::string::npos) << log;
}

// The YUL1 unit's states decide a magnetizer mode (answer: box's, or tablet's 1 OK / 0 Cancel).
TEST(ModeSwitch, UnitStatesDecideTheMode) {
    struct Case {
        const char* what; bool tablet;
        int mode, yul, yulLater, fm, answer;
        W sent; int modeAfter, dialogs; std::string shown;
    };
    const Case cases[] = {
        {"off, tablet RETRY once it is on", true, 3, 0, 1, 0, 1, {"IP", "IP", "M2"}, 3, 1,
         "checked 3, lit 3, TOV+positions"},
        {"off, Cancel", false, 2, 0, -1, 0, kCancel, {"IP"}, 1, 1, kDemag},
        {"off, tablet CANCEL", true, 3, 0, -1, 0, 0, {"IP"}, 1, 1, kDemag},
        {"not connected, DC field left on", false, 2, 2, -1, 5, kOK, {"IP", "FM000"}, 1, 0, kDemag},
        {"unknown unit state", false, 3, 3, -1, 0, kOK, {"IP"}, 1, 0, kDemag},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r(1);
        r.unit.yul = c.yul, r.unit.yulLater = c.yulLater, r.unit.FM = c.fm;
        r.ctx.settings.TOUCHMODE = c.tablet;
        r.tp.dialogs.largeAnswers = {c.answer == 1}, r.tp.dialogs.boxAnswers = {c.answer};
        r.ui.optZAVMode[c.mode]->click();
        EXPECT_EQ(r.Sent(), c.sent);
        EXPECT_EQ(tuple(r.ctx.settings.ZAVMODE, r.tp.dialogs.boxes.size() + r.tp.dialogs.large.size(),
                        Shown(r.ui)),
                  tuple(c.modeAfter, size_t(c.dialogs), c.shown));
        EXPECT_TRUE(r.ui.optZAVMode[c.modeAfter]->isEnabled() && InputAccepted(r.ui.cmdStart));
    }
}

TEST_F(ModeTest, TabletTellsAMissingUnitOnTheStatusLine) {
    ctx.settings.TOUCHMODE = true, unit.yul = 2;
    std::pair<std::string, VbColor> seen;
    tp.clock.After(1, [&] { seen = {Status(), ui.picStat[0]->Back()}; });
    const double t0 = tp.clock.Absolute();
    Click(2);
    EXPECT_EQ(seen, std::pair(std::string("## YUL1 UNIT IS NOT CONNECTED!"), VbColor(kRed)));
    EXPECT_TRUE(tp.clock.Absolute() - t0 >= 3.0 && tp.dialogs.boxes.empty());
    EXPECT_EQ(tuple(Status(), ctx.settings.ZAVMODE), tuple("INSTRUMENT IS READY", 1));
}

// A failed report or STOP keeps the mode; a lost instrument ends the program.
TEST_F(ModeTest, FailedReadStopOrLoss) {
    unit.overrides["IP"] = "## Hypex Overheated ";  // an error the program survives
    Click(3);
    EXPECT_EQ(tuple(Sent(), ctx.settings.ZAVMODE, Shown(ui), ctx.link.CmdFatal),
              tuple(W{"IP"}, 1, kDemag, false));
    unit.overrides.clear(), tp.port.replyDelay = 0.5;
    tp.clock.After(0.1, [&] { ctx.run.StopRequest = true; });  // "IP" still completes
    Click(2);
    EXPECT_EQ(tuple(Sent(), Shown(ui)), tuple(W{"IP"}, kDemag));
    ctx.run.StopRequest = false, unit.overrides["IP"] = "## Unknown Cmd. ";
    Click(2);
    EXPECT_EQ(tuple(ctx.link.CmdFatal, tp.ended), tuple(true, 1));
}

// A click inside another exchange's wait does nothing; between operations it switches, the
// stages going off before the mode word; DEMAGNETIZER switches the magnetizer off.
TEST_F(ModeTest, ClickInsideAnotherExchangeIsRefusedStagesOffFirst) {
    tp.port.replyDelay = 1.0, tp.clock.After(0.3, [&] { Click(3); }), ctx.cmds->SD_Send(1, false);
    EXPECT_EQ(tuple(Sent(), ctx.instr.SDActual, ctx.settings.ZAVMODE, Shown(ui), ctx.cmd->Refused()),
              tuple(W{"SD1"}, 1, 1, kDemag, 0));
    tp.port.replyDelay = 0.01, unit.H = 1, Click(3);
    EXPECT_EQ(tuple(Sent(), ctx.settings.ZAVMODE), tuple(W{"IP", "H0", "SD0", "M2"}, 3));
    unit.SM = 1, Click(1);
    EXPECT_EQ(Sent(), (W{"IP", "SM0", "M1"}));
    EXPECT_EQ(tuple(ctx.instr.ModeWordActual, ctx.instr.SMActual, ctx.instr.MagMode),
              tuple(1, 0, 3));
}

// Only what differs, in table order, 0.2 s apart, AC modes opening with the fast rate.
TEST(Upload, OnlyWhatDiffersInTableOrder) {
    struct Case {
        const char* what; int mode;
        std::function<void(Settings&, FakeUnit&)> arrange;
        W sent, again;  // the commands of an upload and of a second right after
    };
    const Case cases[] = {
        {"all equal, fast rate", 1, [](Settings&, FakeUnit&) {}, {"ER1"}, {"ER1"}},
        {"all equal, slow rate", 1, [](Settings& s, FakeUnit&) { s.DMGER = 3; }, {"ER1", "ER3"},
         {"ER1", "ER3"}},
        {"every row differs", 1,
         [](Settings& s, FakeUnit& u) { s.DMGFD = 150, s.DMGES = 3, s.DMGER = 2, s.DMGET = 12, u.FM = u.FA = 1; },
         {"ER1", "FD150", "FM000", "A000", "ES3", "ER2", "ET12"}, {"ER1", "ER2"}},
        {"anhysteretic", 2,
         [](Settings& s, FakeUnit&) { s.REKFD = 80, s.REKFM = 50, s.REKFA = 30, s.REKER = 0, s.REKET = 7; },
         {"ER1", "FD080", "FM050", "A030", "ER0", "ET07"}, {"ER1", "ER0"}},
        {"pulses: never a rate", 3, [](Settings& s, FakeUnit&) { s.TOVFP = 15, s.TOVET = 25; },
         {"FP015", "ET25"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r(Int16(c.mode));
        c.arrange(r.ctx.settings, r.unit), r.ctx.report->Status_Read(), r.Sent();
        r.tp.port.writeTimes.clear(), r.ctx.upload->Params_Upload();
        const std::vector<double> t = r.tp.port.writeTimes;
        EXPECT_EQ(r.Sent(), c.sent);
        for (size_t i = 1; i < t.size(); ++i) EXPECT_NEAR(t[i] - t[i - 1], 0.21, 0.005) << i;
        EXPECT_TRUE(t.empty() || std::abs(r.tp.clock.Absolute() - t.back() - 0.21) < 0.005);
        r.ctx.upload->Params_Upload();
        EXPECT_EQ(r.Sent(), c.again);
    }
}

// A failure or a stop ends the upload, a stopped command confirming nothing; no mode, none.
TEST(Upload, FailureAndStopEndIt) {
    Rig r(1);
    Settings& s = r.ctx.settings;
    s.DMGFD = 60, s.DMGES = 3, s.DMGET = 9, r.unit.overrides["ES3"] = "## Hypex Overheated ";
    r.ctx.upload->Params_Upload();
    EXPECT_EQ(tuple(r.Sent(), r.ctx.link.CmdError, r.ctx.instr.FDActual),
              tuple(W{"ER1", "FD060", "ES3"}, true, 60));
    s.DMGFD = 70;
    r.unit.on["FD070"] = [&] { r.ctx.run.StopRequest = true; };  // while it waits for the reply
    r.tp.port.replyDelay = 0.5, r.ctx.upload->Params_Upload();
    EXPECT_EQ(tuple(r.Sent(), r.ctx.link.CmdError, r.ctx.instr.FDActual),
              tuple(W{"ER1", "FD070"}, false, 60));
    s.ZAVMODE = 0, r.ctx.run.StopRequest = false, r.ctx.upload->Params_Upload();
    EXPECT_EQ(r.Sent(), W{});
}

const std::string kDmg =
    "Actual RAM Set:\r\nDMG\r\nTMB1 YUL1 WP1 REG1 B0\r\nFD 120 mT CD 1036  SC 622 cm2\r\n"
    "FA 40 mT\r\nFM 250 uT CM 0980\r\nER 3  ES 2  ET 5 s\r\nfg: 1045d 43.0 Hz\r\nSD1  SM0  H1";
const std::string kTov =
    "IPActual RAM Set:\r\nTOV\r\nTMB0 YUL2 WP0  B0\r\nFP 15 mT CP 0987\r\nD-  ET 5000 ms\r\nSM1";

using S = InstrumentState;
using V = std::array<int, 14>;
// Every value, in report order: mode word, flags, DMG values, pulse field; marked: -1..-14.
constexpr std::array<Int16 S::*, 14> kFields{
    &S::ModeWordActual, &S::TumblerConnected, &S::YULState, &S::WPState,  &S::FDActual,
    &S::FAActual,       &S::FMActual,         &S::ERActual, &S::ESActual, &S::ETActual,
    &S::SDActual,       &S::SMActual,         &S::HActual,  &S::FPActual};
V Values(const S& s) { return std::apply([&](auto... f) { return V{s.*f...}; }, kFields); }
S Marked() {
    S s;
    for (int i = 0; i < 14; ++i) s.*kFields[i] = Int16(-1 - i);
    return s;
}
const V kMarked = Values(Marked());
V Parse(const std::string& reply) {
    S s = Marked();
    return StatusReport::Status_Parse(reply, s), Values(s);
}
std::string Replace(const std::string& s, const char* from, const char* to) {
    return QString::fromStdString(s).replace(from, to).toStdString();
}

TEST(StatusParse, LayoutsAndDamagedReports) {
    const V full{1, 1, 1, 1, 120, 40, 250, 3, 2, 5, 1, 0, 1, -14};
    for (const auto& r : {kDmg, Replace(kDmg, "\n", ""), Replace(kDmg + "\n", "\r", "\n\r\n")})
        EXPECT_EQ(Parse(r), full) << r;  // line feeds anywhere read as CR alone
    // TOV: pulse time in tenths of a second, FD..H other than SM kept.
    EXPECT_EQ(Parse(kTov), (V{2, 0, 2, 0, -5, -6, -7, -8, -9, 50, -11, 1, -13, 15}));
    for (auto [ms, tenths] : {std::pair{1000, 10}, {1050, 10}, {1150, 12}, {10, 0}})
        EXPECT_EQ(Parse(Replace(kTov, "5000", std::to_string(ms).c_str()))[9], tenths) << ms;
    // What is missing, unknown or garbled keeps its value (a sign is no digit, beyond 16 bits no
    // reading); cut after any line, the complete lines are read.
    for (const std::string r : {"", "\r\r\r", "Actual RAM Set:\r\n"}) EXPECT_EQ(Parse(r), kMarked);
    EXPECT_EQ(Parse(Replace(kDmg, "DMG", "XYZ")),
              (V{0, 1, 1, 1, -5, -6, -7, -8, -9, -10, -11, -12, -13, -14}));
    EXPECT_EQ(Parse("T\rDMG\rTMB0 YUL-2\rFD\rFA 4x0\rFM 99999 uT\rER 2  ES .\r\rSD1  SM1"),
              (V{1, 0, 2, -4, -5, 40, -7, 2, 0, -10, 1, 1, -13, -14}));
    EXPECT_EQ(Parse(Replace(kDmg, "250", "32767"))[6], 32767);  // the 16-bit edge is read
    const int firstField[] = {0, 0, 1, 4, 5, 6, 7, 10, 10, 13};  // by line count
    for (size_t lines = 1, end = 0; lines <= 9; ++lines) {
        V want = kMarked;
        std::copy_n(full.begin(), firstField[lines], want.begin());
        EXPECT_EQ(Parse(kDmg.substr(0, end = kDmg.find("\r\n", end + 1))), want) << lines;
    }
}

// Simulated reports follow the mode; a stop, an error line or silence keep the last good report.
TEST(StatusRead, SimulatedAndFailedReports) {
    TestProgram tp;
    Ctx& ctx = tp.ctx();
    ctx.settings.SIMULMODE = true, ctx.instr = Marked(), ctx.report->Status_Read();
    EXPECT_EQ(Values(ctx.instr), (V{1, 1, 1, 1, 0, 0, 0, 3, 2, 5, 0, 0, 0, -14}));
    ctx.settings.ZAVMODE = 3, ctx.report->Status_Read();
    EXPECT_EQ(Values(ctx.instr), (V{2, 1, 1, 1, 0, 0, 0, 3, 2, 50, 0, 0, 0, 0}));
    ctx.instr = Marked(), ctx.run.StopRequest = true, ctx.report->Status_Read();
    EXPECT_EQ(Values(ctx.instr), kMarked);
    ctx.settings.SIMULMODE = ctx.run.StopRequest = false;
    ASSERT_TRUE(tp.port.Open(1));
    for (const std::string reply : {"## Unknown Cmd. \n", ""}) {
        tp.port.responder = [&](const std::string&) { return reply; }, ctx.report->Status_Read();
        EXPECT_TRUE(Values(ctx.instr) == kMarked && ctx.link.CmdText == "IP") << reply;
    }
}

// Axes: one position; the user set: the index itself; the sets step round; outside: 0.
TEST(MagPos, PositionTable) {
    const std::vector<int> sets[] = {
        {},  {1},  {3},  {5},  {2},  {4},  {6},  {},  // 0..7
        {7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18},
        {7, 9, 11, 13, 15, 17},
        {10, 7, 1, 9, 8, 14, 11, 3, 13, 12, 18, 15, 5, 17, 16},
        {1, 2, 3, 4, 5, 6},
        {1, 3, 5}};
    for (Int16 m = 1; m <= 12; ++m) {
        const std::vector<int>& set = sets[m];
        EXPECT_EQ(MagPos_Count(m), m == 7 ? 18 : int(set.size())) << m;
        for (Int16 i = 1; i <= int(set.size()); ++i) EXPECT_EQ(MagPos(m, i), set[i - 1]) << m << "/" << i;
    }
    for (Int16 m = 8; m <= 12; ++m)
        EXPECT_EQ(MagPos(m, 0) + MagPos(m, Int16(MagPos_Count(m) + 1)), 0) << m;
    EXPECT_EQ(std::tuple(MagPos(4, 9), MagPos(7, 25), MagPos(0, 1), MagPos(13, 1)),
              std::tuple(2, 25, 0, 0));
}

// The tumbler box, single axes and position sets (their polarity, stepping round).
TEST_F(TumblerTest, TumblerBoxAndPositionModes) {
    ctx.settings.DMODE = 3, ui.chkTumbler->setEnabled(true), ui.chkTumbler->SetValue(true);
    EXPECT_EQ(Pos(), tuple(7, 1, 18, 1, "U1"));
    EXPECT_TRUE(ctx.pos.TumblerUsed && ctx.settings.DMODE == 7 && ui.optMModeT[7]->isChecked());
    ui.chkAutoNext->SetValue(true);
    EXPECT_TRUE(ctx.pos.AutoNext && ui.chkAutoNextT->isChecked());
    ui.optMMode[5]->SetValue(true);  // -y-axis
    tumbler.MagPos_Next();           // a single axis keeps its label and position
    EXPECT_EQ(Pos(), tuple(5, 1, 1, 4, "-y"));
    EXPECT_FALSE(ctx.pos.AutoNext || ui.chkAutoNext->isChecked() || ui.cmdNextPos->isEnabled());
    ctx.settings.TOVDIR = 2, ui.optTOVDir[2]->setChecked(true);
    ui.optMModeT[10]->SetValue(true);  // P-mode, from the tablet set
    EXPECT_EQ(Pos(), tuple(10, 1, 15, 10, "P1"));
    EXPECT_TRUE(ui.optMMode[10]->isChecked() && ctx.settings.TOVDIR == 1 &&
                ui.optTOVDirT[1]->isChecked() && !ui.optTOVDirT[2]->isEnabled());
    ui.cmdPrevPos->click();
    EXPECT_EQ(Pos(), tuple(10, 15, 15, 16, "P15"));
    ui.cmdNextPos->click(), ui.cmdNextPos->click();
    EXPECT_EQ(Pos(), tuple(10, 2, 15, 7, "P2"));
    ui.optMMode[7]->SetValue(true);  // the user set leaves the polarity free
    EXPECT_TRUE(ui.optTOVDirT[2]->isEnabled());
    ui.chkAutoNextT->SetValue(true), ui.chkTumblerT->SetValue(false);
    EXPECT_EQ(Pos(), tuple(0, 0, 0, 0, ""));
    EXPECT_FALSE(ctx.pos.TumblerUsed || ui.chkTumbler->isChecked() || ctx.pos.AutoNext ||
                 ui.cmdInitTumbler->isEnabled() || ui.optMMode[7]->isEnabled());
}

// A position 0.2 s after an initialization; none beyond the set, after a stop or a failure. The
// operator's initialization: STOP usable and said meanwhile; an old stop is cleared.
TEST_F(TumblerTest, PositionCommandsAndInitialization) {
    tumbler.Tumbler_SetPos(0, false), tumbler.Tumbler_SetPos(5, true);
    EXPECT_EQ(Sent(), (W{"P00", "i", "P05"}));
    EXPECT_GE(tp.port.writeTimes.end()[-1] - tp.port.writeTimes.end()[-2], 0.2);
    for (Int16 pos : {19, -1}) tumbler.Tumbler_SetPos(pos, false);
    tp.clock.After(0.1, [this] { ctx.run.StopRequest = true; });  // ABORT while settling
    tumbler.Tumbler_SetPos(18, false), unit.overrides["i"] = "## Tumbler Init Error ";
    ctx.run.StopRequest = false, tumbler.Tumbler_SetPos(3, false);  // init failed: not moved
    EXPECT_EQ(Sent(), (W{"i", "i"}));
    unit.overrides.clear(), tp.port.replyDelay = 5, ctx.link.CmdFatal = false;
    std::string said;
    bool stopUsable = false;
    unit.on["i"] = [&] { said = Status(), stopUsable = ui.cmdStop->isEnabled(); };
    ctx.run.StopRequest = true, ctx.instr.SDActual = 1, ctx.hold->Hold_Start();
    const double start = tp.clock.Absolute();
    tumbler.Tumbler_Init();
    EXPECT_EQ(tuple(Sent(), said, stopUsable, ctx.link.ReplyText),
              tuple(W{"i"}, "INITIALIZING TUMBLER", true, "** Tumbler Ready "));
    EXPECT_GE(tp.clock.Absolute() - start, 5.0);
    EXPECT_FALSE(ctx.run.StopRequest || ctx.run.Busy || ui.cmdStop->isEnabled());
    EXPECT_EQ(tuple(ui.cmdStart->isEnabled(), ui.timSD->isActive(), tp.ended, Status()),
              tuple(true, true, 0, "INSTRUMENT IS READY"));
}

// Service buttons clear an old stop and send with STOP usable; the tumbler's STOP sends Esc.
TEST_F(TumblerTest, ServiceButtons) {
    const tuple<int, const char*, W> buttons[] = {  // button, position typed, sent
        {1, " 12 ", {"P12"}}, {1, "123", {"P123"}}, {1, "  ", {}}, {0, "", {"i"}}, {2, "", {"t"}}};
    bool stopUsable = false;
    for (const std::string c : {"i", "t", "P07", "P12", "P123"})
        unit.on[c] = [&] { stopUsable = ui.cmdStop->isEnabled(); };
    for (const auto& [index, typed, sent] : buttons) {
        SCOPED_TRACE(typed);
        ui.txtTumbler->setText(typed), ctx.run.StopRequest = true, stopUsable = false;
        ui.cmdTumbler[index]->click();
        EXPECT_EQ(tuple(Sent(), ctx.run.StopRequest, stopUsable, ui.cmdStop->isEnabled()),
                  tuple(sent, sent.empty(), !sent.empty(), false));
    }
    ctx.run.StopRequest = false, ui.cmdTumbler[3]->click();
    EXPECT_EQ(tuple(Sent(), ctx.run.StopRequest), tuple(W{"\x1b"}, false));
    tp.port.replyDelay = 2, tp.clock.After(0.5, [&] { ui.cmdTumbler[3]->click(); });
    ui.cmdTumbler[2]->click();  // START, stopped while the tumbler answers
    QCoreApplication::processEvents();
    tp.port.replyDelay = 0.01, ctx.cmds->SD_Send(0, false);
    EXPECT_EQ(tuple(Sent(), ctx.run.StopRequest, ctx.link.ReplyText, ctx.link.CmdError),
              tuple(W{"t", "\x1b", "SD0"}, false, "SD0", false));
}

// Without a tumbler: told (tablet: status line 3 s); the boxes and the position test go off.
TEST_F(TumblerTest, Check) {
    ui.chkTumbler->setEnabled(true), ui.chkTumbler->SetValue(true);
    ctx.instr.TumblerConnected = 0, ctx.instr.WPState = 1;
    EXPECT_FALSE(tumbler.Tumbler_Check());
    ASSERT_EQ(tuple(tp.dialogs.boxes.size(), Sent(), ctx.instr.WPState), tuple(1u, W{"w"}, 0));
    EXPECT_FALSE(ctx.pos.TumblerUsed || ui.chkTumbler->isChecked() || ui.chkTumblerT->isEnabled());
    ctx.settings.TOUCHMODE = true;
    std::string said;
    tp.clock.After(1, [&] { said = Status(); });
    const double t0 = tp.clock.Absolute();
    EXPECT_FALSE(tumbler.Tumbler_Check());
    EXPECT_GE(tp.clock.Absolute() - t0, 3.0);
    EXPECT_EQ(tuple(said, tp.dialogs.boxes.size(), Sent()),
              tuple("TUMBLER IS NOT CONNECTED!", 1u, W{}));
    ctx.instr.TumblerConnected = 1;  // connected: the test goes on
    EXPECT_TRUE(tumbler.Tumbler_Check() && Sent() == W{"w"} && ctx.instr.WPState == 1);
}

// Each button sends its command, the panel left as found; the service pair 0.02 s apart.
TEST_F(ServiceTest, EachButtonSendsItsCommand) {
    const std::pair<QPushButton*, W> cases[] = {
        {ui.cmdSD[1], {"SD1"}}, {ui.cmdSD[0], {"SD0"}}, {ui.cmdSM[1], {"SM1"}}, {ui.cmdSM[0], {"SM0"}},
        {ui.cmdH[1], {"H1"}}, {ui.cmdH[0], {"H0"}}, {ui.cmdControl[0], {"w"}}, {ui.cmdControl[1], {"\x10"}},
        {ui.cmdControl[2], {"IP"}}, {ui.cmdControl[3], {"IE"}}, {ui.cmdControl[4], {"y"}},
        {ui.cmdControl[5], {"j"}}, {ui.cmdService[0], {"\x14", "\x03"}}, {ui.cmdService[1], {"\x14", "\x13"}},
    };
    for (bool unlocked : {true, false}) {
        if (!unlocked) ctx.enabling->Panels_Enable(false);  // not yet initialized
        for (const auto& [button, sent] : cases) {
            button->click();
            EXPECT_EQ(tuple(Sent(), ui.cmdStart->isEnabled()), tuple(sent, unlocked))
                << button->objectName().toStdString();
        }
    }
    EXPECT_GE(tp.port.writeTimes.end()[-1] - tp.port.writeTimes.end()[-2], 0.02);
    EXPECT_TRUE(tp.dialogs.boxes.empty() && !ctx.link.CmdFatal);
    // A service key left unanswered is a lost instrument, as in any exchange.
    unit.overrides["\x13"] = "", ui.cmdService[1]->click();
    EXPECT_TRUE(tp.dialogs.boxes.size() == 1 && ctx.link.CmdFatal);
}

// The preset sends the fast rate and what differs, an old stop notwithstanding; meanwhile the
// service buttons are off and clicks do nothing. By hand the demagnetizer ends its hold count.
TEST_F(ServiceTest, PresetOnlyWhatDiffersRefusingClicksMeanwhile) {
    std::vector<bool> during;
    tp.clock.After(0.1, [&] {
        for (QPushButton* b : ctx.service->Buttons()) during.push_back(b->isEnabled());
        during.push_back(ui.cmdTumbler[3]->isEnabled()), ui.cmdSD[1]->click();
        ctx.service->cmdSD_Click(1), ctx.service->cmdControl_Click(1);
    });
    unit.FD = 40, ui.cmdARMSet->click();
    EXPECT_EQ(Sent(), (W{"IP", "ER1", "FD050"}));
    std::vector<bool> expected(ctx.service->Buttons().size(), false);
    expected.push_back(true);
    EXPECT_EQ(during, expected);
    for (QPushButton* b : ctx.service->Buttons()) EXPECT_TRUE(b->isEnabled());
    ctx.settings.DMGER = 3, ctx.run.StopRequest = true, ui.cmdARMSet->click();
    EXPECT_EQ(Sent(), (W{"IP", "ER1", "ER3"}));
    ctx.instr.SDActual = 1, ctx.hold->Hold_Start(), ui.lblSD->setText("212"), ui.cmdSD[1]->click();
    EXPECT_TRUE(ctx.instr.SDActual == 1 && !ui.timSD->isActive() && ui.lblSD->text().isEmpty());
    Sent();
    unit.silent = true, tp.dialogs.boxAnswers = {kCancel, kCancel}, ui.cmdARMSet->click();
    EXPECT_EQ(Sent(), W{"IP"});
}

// The sequence by what instrument and operator say: commands, outcome, boxes, the search date.
TEST(Init, Outcomes) {
    struct Case {
        const char* what; std::function<void(Started&)> arrange;
        W sent; bool ready;
        std::vector<QString> asked;  // titles of the boxes
        int searched;                // days ago, in the record (and the file when saved)
    };
    const auto due = [](Started& s, int answer) {
        s.ctx.settings.FREQDATE = kToday.addDays(-31), s.tp.dialogs.boxAnswers = {answer, kOK};
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
        c.arrange(s), s.ctx.init->Instrument_Init();
        EXPECT_EQ(s.Sent(), c.sent);
        EXPECT_EQ(tuple(s.ctx.run.InstrReady, s.tp.ended, s.Status(), s.ctx.settings.ZAVMODE),
                  tuple(c.ready, c.ready ? 0 : 1,
                        c.ready ? "INSTRUMENT IS READY" : "SWITCHING OFF...", 1));
        std::vector<QString> asked;
        for (const AskedBox& b : s.tp.dialogs.boxes) asked.push_back(b.title);
        EXPECT_EQ(tuple(asked, s.ctx.settings.FREQDATE, s.SavedDate() == kToday),
                  tuple(c.asked, kToday.addDays(-c.searched), c.searched == 0));
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
    ui.cmdInit->click(), ctx.window->cmdInit_Click();
    EXPECT_TRUE(Sent().empty());
}

// The operator is asked for an empty coil while busy; on the tablet ABORT ends the program.
TEST_F(InitTest, FrequencyDueQuestion) {
    ctx.settings.FREQDATE = kToday.addDays(-31);
    bool busyWhenAsked = false;
    tp.dialogs.onAsk = [&](const AskedBox&) { busyWhenAsked = ctx.run.Busy; };
    tp.dialogs.boxAnswers = {kNo}, ctx.init->Instrument_Init();
    EXPECT_TRUE(tp.dialogs.boxes.size() == 1 && busyWhenAsked);
    Started tablet;
    tablet.ctx.settings.FREQDATE = kToday.addDays(-31), tablet.ctx.settings.TOUCHMODE = true;
    tablet.tp.dialogs.largeAnswers = {false}, tablet.ctx.init->Instrument_Init();
    EXPECT_EQ(tuple(tablet.tp.dialogs.large, tablet.tp.dialogs.boxes.size(), tablet.tp.ended),
              tuple(std::vector<QStringList>{{"CONTINUE", "ABORT"}}, 0u, 1));
    EXPECT_EQ(tablet.Sent(), Cat(kStart, {"\x10", "IP"}));
}

// Simulation touches no port; STOP in the temperature wait ends the program.
TEST_F(InitTest, SimulationAndStop) {
    ctx.settings.SIMULMODE = true, ctx.init->Instrument_Init();
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
        ctx.window->hide(), ctx.window->show();
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

    ctx.settings.TOUCHMODE = true, unit.freq = "fg: 1045d 43.0 Hz";
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

    ctx.run.StopRequest = false, ctx.settings.ZAVMODE = 3;
    unit.on["IP"] = [this] { ctx.run.StopRequest = true; }, ctx.freq->Freq_Optimize();
    EXPECT_EQ(tuple(Sent(), ctx.settings.ZAVMODE), tuple(W{"IP", "H0", "SD0"}, 3));
}
