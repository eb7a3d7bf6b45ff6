#include <gtest/gtest.h>

#include <QCoreApplication>

#include "core/Activity.h"
#include "core/Paths.h"
#include "core/Waits.h"
#include "link/CommLog.h"
#include "link/CommandSet.h"
#include "link/StatusLine.h"
#include "operations/DemagHold.h"
#include "operations/RunSequence.h"
#include "operations/Tumbler.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "support/FakeMagTransport.h"
#include "support/FakeUnit.h"
#include "support/TestProgram.h"

using namespace zavo;
using std::tuple;
using W = std::vector<std::string>;

namespace {

const std::string ESC = "\x1b";

// An initialized program in one instrument mode, the unit holding what the
// settings ask for, so the upload sends only its opening rate command.
struct Rig {
    explicit Rig(Int16 mode, bool tumbler = false) {
        tp.port.Open(1);
        SetTag(ui.cmdStop, "1");  // the port the initialization recorded
        ctx.run.InstrReady = true;
        ctx.instr.TumblerConnected = 1;
        Settings& s = ctx.settings;
        s.ZAVMODE = mode;
        ctx.instr.ModeWordWanted = ctx.instr.ModeWordActual = mode == 3 ? 2 : 1;
        unit.pulseUnit = mode == 3;
        s.DMGFD = 50, s.DMGER = 1;
        s.REKFD = 60, s.REKFA = 20, s.REKFM = 100, s.REKER = 1;
        s.TOVFP = 5, s.TOVET = 10;
        unit.FD = mode == 1 ? 50 : 60, unit.FA = mode == 2 ? 20 : 0, unit.FM = mode == 2 ? 100 : 0;
        unit.FP = 5, unit.ET = mode == 3 ? 10 : 5, unit.ER = 1;
        ctx.limits->Limits_Set();
        ctx.options->Controls_Enable(true);
        ctx.enabling->Panels_Enable(true);
        if (tumbler) ui.chkTumbler->setEnabled(true), ui.chkTumbler->SetValue(true);
        tp.port.writes.clear();
    }
    W Run() {
        run.Run_Start();
        return std::exchange(tp.port.writes, {});
    }
    // A run leaves everything idle, whichever way it ended.
    void ExpectIdle() const {
        EXPECT_FALSE(ctx.run.Busy || ctx.run.StopRequest || ctx.link.RunCancel ||
                     ui.cmdStop->isEnabled() || ctx.activity->Active());
    }

    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    RunSequence& run = *ctx.run_ops;
    test::FakeUnit unit{tp.port, tp.clock};
    // The magnetometer program listening for the time stamps.
    test::FakeMagTransport& magnetometer = test::Listening(ctx);
    int Stamps() const { return int(magnetometer.sent.size()); }
};

// Demagnetization: stages on (demagnetizer first), the passes by the demagnetization mode,
// the specimen out of the coil after each, one time stamp per "G", amplifier off at the end.
TEST(Run, DemagnetizerPasses) {
    // clang-format off
    const tuple<bool, int, W, int> cases[] = {  // tumbler used, DMODE, passes, time stamps
        {true, 8, {"i", "P01", "y", "G", "P00", "i", "P03", "y", "G", "P00", "i", "P05", "y", "G", "P00"}, 3},
        {false, 8, {"y", "G"}, 1},
        {true, 7, {"t", "y", "G", "i"}, 1},
        {true, 5, {"i", "P04", "y", "G", "P00"}, 1},
    };
    // clang-format on
    for (const auto& [tumbler, dmode, passes, stamps] : cases) {
        Rig r(1, tumbler);
        r.ctx.settings.DMODE = Int16(dmode);
        W want{"IP", "ER1", "SD1", "H1"};
        want.insert(want.end(), passes.begin(), passes.end());
        want.push_back("H0");
        EXPECT_EQ(r.Run(), want) << tumbler << " " << dmode;
        EXPECT_EQ(r.Stamps(), stamps);
        r.ExpectIdle();
        EXPECT_EQ(tuple(r.tp.sound.beeps, r.ui.picStat[1]->Text().trimmed().toStdString()),
                  tuple(1, "INSTRUMENT IS READY"));
        EXPECT_TRUE(r.ui.cmdStart->isEnabled() && r.ui.timSD->isActive() &&
                    r.ctx.hold->SDOnSince() == r.tp.clock.Now());
    }
}

// No AC peak: the stages go off instead (amplifier first), and "G" still runs. A cold coil
// holds the course back in one-second steps.
TEST(Run, ZeroPeakAndTemperatureWait) {
    Rig r(1);
    r.ctx.settings.DMGFD = 0, r.unit.FD = 0, r.unit.H = r.unit.SD = 1, r.unit.SM = 1;
    r.ctx.limits->Limits_Set();
    r.unit.coilMV = 2440;  // still too hot: it must be above
    int readings = 0;
    const auto inner = r.tp.port.responder;
    r.tp.port.responder = [&](const std::string& cmd) {
        const std::string reply = inner(cmd);
        if (cmd == "y" && ++readings == 2) r.unit.coilMV = 2441;
        return reply;
    };
    EXPECT_EQ(r.Run(), (W{"IP", "ER1", "H0", "SD0", "SM0", "y", "y", "y", "G"}));
    EXPECT_FALSE(r.ui.timSD->isActive());
    r.ExpectIdle();
}

// Pulses alternate so that the last one has the chosen polarity; the choice survives the series.
TEST(Run, PulseSeries) {
    const tuple<int, int, W> cases[] = {{1, 3, {"D1", "G", "D2", "G", "D1", "G"}},
                                        {1, 2, {"D2", "G", "D1", "G"}},
                                        {2, 1, {"D2", "G"}},
                                        {2, 4, {"D1", "G", "D2", "G", "D1", "G", "D2", "G"}}};
    for (const auto& [dir, num, pulses] : cases) {
        Rig r(3);
        r.ctx.settings.TOVDIR = Int16(dir), r.ctx.settings.TOVNUM = Int16(num);
        W want{"IP", "SM1"};
        want.insert(want.end(), pulses.begin(), pulses.end());
        EXPECT_EQ(r.Run(), want) << dir << " " << num;
        EXPECT_EQ(tuple(r.Stamps(), r.ctx.settings.TOVDIR), tuple(1, dir));
        r.ExpectIdle();
    }
}

// ABORT during the course: Esc at once and again 0.2 s later, the controller's last words
// collected, the amplifier off, no time stamp, no step to the next position.
TEST(Run, AbortDuringTheCourse) {
    Rig r(2, true);
    r.ui.optMMode[10]->SetValue(true);  // P-mode: position 10
    r.ui.chkAutoNext->SetValue(true);
    r.unit.course = 10;
    const auto inner = r.tp.port.responder;
    double clicked = 0;
    r.tp.port.responder = [&](const std::string& cmd) {
        if (cmd == "G")
            r.tp.clock.After(1, [&] { clicked = r.tp.clock.Now(), r.ui.cmdStop->click(); });
        return inner(cmd);
    };
    const W sent = r.Run();
    EXPECT_EQ(sent, (W{"IP", "ER1", "SD1", "H1", "SM1", "i", "P10", "y", "G", ESC, ESC, "H0"}));
    const auto& t = r.tp.port.writeTimes;
    EXPECT_NEAR(t.end()[-2] - t.end()[-3], 0.2, 0.02) << "second Esc";
    // The stop end and the end each wait up to 3 s for the controller's last words.
    EXPECT_GT(r.tp.clock.Now() - clicked, 3.0);
    EXPECT_EQ(tuple(r.Stamps(), r.ctx.pos.MIndex, r.ctx.pos.MPos), tuple(0, 1, 10));
    EXPECT_EQ(BackColor(r.ui.picStat[0]), kGreen);
    r.ExpectIdle();
}

// Before any port was recorded ABORT only raises the flag and paints the lamp.
TEST(Run, AbortBeforeAnyPort) {
    Rig r(1);
    SetTag(r.ui.cmdStop, "0");
    r.ui.cmdStop->setEnabled(true);
    r.ui.cmdStop->click();
    EXPECT_TRUE(r.tp.port.writes.empty() && r.ctx.run.StopRequest && !r.ui.cmdStop->isEnabled());
    EXPECT_EQ(BackColor(r.ui.picStat[0]), kRed);
}

// A failed course ends without switching the amplifier off at once: the hold switches both
// stages off after its time, as after any run. A fatal one switches an instrument that still
// answers off before the program ends.
TEST(Run, FailedAndFatalCourse) {
    const tuple<const char*, W, bool> cases[] = {
        {"## Hypex Overheated ", {}, false},
        {"## Coil Overheated ", {"B1", "\x10", "IP", "H0", "SD0"}, true},
    };
    for (const auto& [error, after, fatal] : cases) {
        Rig r(1);
        r.unit.gError = error;
        W want{"IP", "ER1", "SD1", "H1", "y", "G"};
        want.insert(want.end(), after.begin(), after.end());
        EXPECT_EQ(r.Run(), want) << error;
        EXPECT_EQ(tuple(r.tp.ended, r.ctx.instr.HActual, r.Stamps()),
                  tuple(fatal ? 1 : 0, fatal ? 0 : 1, 0));
        EXPECT_EQ(r.ui.cmdStart->isEnabled(), !fatal);
        EXPECT_EQ(r.ui.timSD->isActive(), !fatal);
        r.ExpectIdle();
        if (fatal) continue;
        r.tp.clock.Advance(300);
        r.ctx.hold->timSD_Timer();
        EXPECT_EQ(r.tp.port.writes, (W{"H0", "SD0"}));
    }
}

// A course the tumbler break cuts short is no treatment: no time stamp, no step to the next
// position, and the journal says "stopped", in every mode.
TEST(Run, TumblerBreakDuringTheCourse) {
    for (const Int16 mode : {1, 2, 3}) {
        SCOPED_TRACE(mode);
        Rig r(mode, true);
        if (mode == 1) r.ctx.settings.DMODE = 1;
        if (mode > 1) r.ui.optMMode[10]->SetValue(true), r.ui.chkAutoNext->SetValue(true);
        r.ctx.settings.TOVNUM = 3;
        r.unit.gError = "## User Tumbler Break ";
        const W sent = r.Run();
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "G"), 1);
        EXPECT_EQ(tuple(r.Stamps(), r.ctx.pos.MIndex), tuple(0, Int16(1)));
        const std::string journal = test::ReadBytes(r.tp.Dir() / "journal.csv");
        EXPECT_NE(journal.find(",stopped,"), std::string::npos) << journal;
        r.ExpectIdle();
    }
}

// After a magnetizer run the next position becomes current when the operator sees "Auto next"
// on, whatever the record says; auto switch then brings the demagnetizer mode.
TEST(Run, AutoNextAndAutoSwitch) {
    Rig r(2, true);
    r.ui.optMMode[10]->SetValue(true);
    r.ui.chkAutoNext->SetValue(true);
    r.ui.chkAutoSwitch->setChecked(true);
    EXPECT_EQ(r.Run(),
              (W{"IP", "ER1", "SD1", "H1", "SM1", "i", "P10", "y", "G", "P00", "H0", "IP", "SM0"}));
    EXPECT_EQ(tuple(r.ctx.pos.MIndex, r.ctx.pos.MPos, r.ui.lblMMode->text().toStdString()),
              tuple(2, 7, "P2"));
    EXPECT_EQ(tuple(r.ctx.settings.ZAVMODE, r.Stamps()), tuple(1, 1));
    r.ExpectIdle();

    // The boxes cleared behind the handler's back (a tumbler lost at re-initialization).
    r.ui.chkAutoSwitch->setChecked(false);
    r.ctx.settings.ZAVMODE = 2, r.ctx.limits->Limits_Set(), r.ctx.enabling->Panels_Enable(true);
    r.ui.chkAutoNext->setChecked(false), r.ui.chkAutoNextT->setChecked(false);
    EXPECT_TRUE(r.ctx.pos.AutoNext);
    r.tp.port.writes.clear();
    EXPECT_EQ(r.Run(), (W{"IP", "ER1", "H1", "SM1", "i", "P07", "y", "G", "P00", "H0"}));
    EXPECT_EQ(tuple(r.ctx.pos.MIndex, r.ctx.pos.AutoNext), tuple(2, false));
}

// The service STOP stops what runs and nothing after it.
TEST(Run, ServiceTumblerStopEndsWithItsAction) {
    Rig r(1, true);
    r.ui.cmdTumbler[3]->click();  // nothing running: Esc only
    EXPECT_FALSE(r.ctx.run.StopRequest);
    r.tp.port.replyDelay = 2;
    r.tp.clock.After(0.5, [&] { r.ui.cmdTumbler[3]->click(); });
    r.ui.cmdTumbler[2]->click();  // START, stopped while the tumbler answers
    QCoreApplication::processEvents();
    EXPECT_FALSE(r.ctx.run.StopRequest);
    r.tp.port.replyDelay = 0.01;
    r.ctx.cmds->SD_Send(0, false);
    EXPECT_EQ(tuple(r.ctx.link.ReplyText, r.ctx.link.CmdError), tuple("SD0", false));
    EXPECT_EQ(r.tp.port.writes, (W{ESC, "t", ESC, "SD0"}));
}

// The hold counts from the run's end across midnight, waits while another operation holds
// the instrument, goes on through a tumbler initialization and switches the demagnetizer off.
TEST(Hold, CountsAcrossMidnightAndSwitchesOff) {
    double took = 0;
    {
        Rig r(1);
        r.tp.clock.Advance(40000);  // an idle line, as before the run below
        const double t0 = r.tp.clock.Now();
        r.Run();
        took = r.tp.clock.Now() - t0;
    }
    Rig r(1);
    DemagHold& hold = *r.ctx.hold;
    r.tp.clock.Advance(86340 - took - r.tp.clock.Now());
    r.Run();
    EXPECT_NEAR(hold.SDOnSince(), 86340, 1e-6) << "the run ends at 23:59:00";
    r.tp.clock.Advance(90);  // 00:00:30
    hold.timSD_Timer();
    EXPECT_EQ(r.ui.lblSD->text(), "210");
    r.ctx.tumbler->Tumbler_Init();
    EXPECT_TRUE(r.ui.timSD->isActive() && hold.SDOnSince() == 86340 && r.tp.port.writes == W{"i"});
    r.tp.port.writes.clear();
    r.tp.clock.Advance(210);
    {
        Activity::Scope busy(*r.ctx.activity);
        hold.timSD_Timer();
        EXPECT_TRUE(r.tp.port.writes.empty() && r.ui.lblSD->text() == "210");
    }
    hold.timSD_Timer();
    EXPECT_EQ(tuple(r.tp.port.writes, r.ui.lblSD->text().toStdString(), hold.SDOnSince()),
              tuple(W{"SD0"}, "", 0.0));
    EXPECT_FALSE(r.ui.timSD->isActive() || r.ctx.instr.SDActual);
    // Restarted without a hold (the demagnetizer switched on by hand): nothing is timed.
    r.ctx.instr.SDActual = 1, r.ui.timSD->start();
    hold.timSD_Timer();
    EXPECT_EQ(tuple(r.tp.port.writes.size(), r.ui.timSD->isActive()), tuple(1u, false));
}

// The count goes on through a switch that leaves the demagnetizer on, and is cleared by one
// that switches it off (the pulse mode's "M2"): never a number that stands still.
TEST(Hold, ModeSwitchesKeepOrClearTheCount) {
    Rig r(1);
    r.unit.yul = 0;  // the unit off: ANHYSTERETIC falls back, the demagnetizer stays on
    r.Run();
    r.tp.clock.Advance(10);
    r.ctx.hold->timSD_Timer();
    EXPECT_EQ(r.ui.lblSD->text(), "290");
    r.tp.dialogs.boxAnswers = {kCancel};
    r.ui.optZAVMode[2]->click();
    EXPECT_EQ(tuple(r.ctx.settings.ZAVMODE, r.ui.timSD->isActive()), tuple(Int16(1), true));
    r.unit.yul = 1;
    r.ui.optZAVMode[3]->click();
    EXPECT_EQ(tuple(r.ctx.settings.ZAVMODE, r.ctx.instr.SDActual), tuple(Int16(3), Int16(0)));
    EXPECT_EQ(tuple(r.ui.lblSD->text().toStdString(), r.ui.timSD->isActive()), tuple("", false));
}

const char* const kSaved =
    "1          COMM     |\r\n"
    "01-01-1900 FREQDATE |\r\n"
    "1          ZAVMODE  |\r\n"
    "8          DMODE    |\r\n"
    "50         DMGFD    |\r\n"
    "1          DMGER    |\r\n"
    "2          DMGES    |\r\n"
    "5          DMGET    |\r\n"
    "0          REKMODE  |\r\n"
    "60         REKFD    |\r\n"
    "100        REKFM    |\r\n"
    "20         REKFA    |\r\n"
    "1          REKER    |\r\n"
    "2          REKES    |\r\n"
    "5          REKET    |\r\n"
    "0          TOVMODE  |\r\n"
    "5          TOVFP    |\r\n"
    "10         TOVET    |\r\n"
    "2          TOVDIR   |\r\n"
    "3          TOVNUM   |\r\n"
    "0          SERVMODE |\r\n"
    "0          ZAVORIENT|\r\n"
    "0          SIMULMODE|\r\n"
    "0          TOUCHMODE|\r\n"
    "0          SOUNDMODE|\r\n";

// Closing: refused while busy or on No; after Yes an answering, initialized instrument is
// switched off (amplifier first) and the settings saved; a silent or uninitialized one is
// left alone and nothing is saved.
TEST(Exit, Paths) {
    enum Case { Busy, No, Yes, Silent, NotReady, HotCoil };
    const tuple<Case, bool, W, bool> cases[] = {
        {Busy, true, {}, false},
        {No, true, {}, false},
        {Yes, false, {"\x10", "IP", "H0", "SD0", "SM0", "y"}, true},
        {Silent, false, {"\x10"}, false},
        {NotReady, false, {}, false},
        {HotCoil, false, {"\x10", "IP", "H0", "SD0", "SM0", "y"}, true},
    };
    for (const auto& [c, kept, sent, saved] : cases) {
        Rig r(1);
        Settings& s = r.ctx.settings;
        s.DMODE = 8, s.TOVDIR = 2, s.TOVNUM = 3;
        r.unit.H = r.unit.SD = r.unit.SM = 1;
        r.ctx.log->Open(r.tp.Dir() / "mon" / "today.mon");
        r.ctx.run.Busy = c == Busy;
        r.ctx.run.InstrReady = c != NotReady;
        if (c == Silent) r.unit.overrides["\x10"] = "";
        if (c == HotCoil) r.unit.coilMV = 2400;
        r.tp.dialogs.boxAnswers = {c == No ? kNo : kYes, kOK};
        EXPECT_EQ(r.ctx.hold->Form_QueryUnload(), kept) << c;
        EXPECT_EQ(r.tp.port.writes, sent) << c;
        EXPECT_EQ(test::ReadBytes(r.ctx.paths.SettingsFile()), saved ? kSaved : "") << c;
        EXPECT_EQ(r.ctx.log->IsOpen(), kept) << c;
        const auto& boxes = r.tp.dialogs.boxes;
        ASSERT_EQ(boxes.size(), c == Busy ? 0u : c == HotCoil ? 2u : 1u) << c;
        if (c == Busy) continue;
        EXPECT_EQ(tuple(boxes[0].prompt, boxes[0].style, boxes[0].title, boxes[0].timeout,
                        boxes[0].captions.join("|")),
                  tuple("EXIT PROGRAM?", 292, "Exiting ZAVO", 5, "&Yes|&No"));
        if (c == HotCoil) {
            EXPECT_EQ(tuple(boxes[1].title, boxes[1].timeout, r.tp.sound.beeps),
                      tuple("Warning", 30, 1));
        }
    }
}

// The tablet asks with the large buttons; "NO" gives the panel back as it was.
TEST(Exit, TabletNo) {
    for (const bool ready : {true, false}) {
        Rig r(1);
        r.ctx.settings.TOUCHMODE = true;
        r.ctx.run.InstrReady = ready;
        if (!ready) r.ctx.enabling->Panels_Enable(false);
        r.tp.dialogs.largeAnswers = {false};
        EXPECT_TRUE(r.ctx.hold->Form_QueryUnload());
        EXPECT_EQ(r.tp.dialogs.large.size(), 1u);
        EXPECT_EQ(
            tuple(r.ui.cmdStart->isEnabled(), r.ui.picStat[1]->Text().trimmed().toStdString()),
            tuple(ready, ready ? "INSTRUMENT IS READY" : "INSTRUMENT IS NOT INITIALIZED"));
        EXPECT_TRUE(r.tp.port.writes.empty());
    }
}

// A termination signal closes without a question: a run is stopped first, then the exit's
// switch-off and the settings save follow, as after "Yes".
TEST(Exit, TerminationSignal) {
    for (const bool running : {false, true}) {
        SCOPED_TRACE(running);
        Rig r(1);
        r.unit.course = 10;
        r.unit.H = r.unit.SD = r.unit.SM = 1;
        W sent;
        if (running) {
            const auto inner = r.tp.port.responder;
            r.tp.port.responder = [&](const std::string& cmd) {
                if (cmd == "G") r.tp.clock.After(1, [&] { r.ctx.hold->Terminate(); });
                return inner(cmd);
            };
            sent = r.Run();
        } else {
            r.ctx.hold->Terminate();
        }
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
        const W run{"IP", "ER1", "SM0", "y", "G", ESC, ESC, "H0"};
        const W exit = running ? W{"\x10", "IP", "SD0"} : W{"\x10", "IP", "H0", "SD0", "SM0"};
        EXPECT_EQ(sent, running ? run : W{});
        EXPECT_EQ(r.tp.port.writes, exit);
        EXPECT_TRUE(r.tp.dialogs.boxes.empty());
        EXPECT_TRUE(r.ctx.hold->Closed());
        EXPECT_NE(test::ReadBytes(r.ctx.paths.SettingsFile()), "");
    }
}

// The port failing while nothing runs (the adapter unplugged) is told at once, as a loss in
// an exchange is, logged, and ends the program; inside an operation it waits for its end.
TEST(Exit, PortLostWhileIdle) {
    for (const bool busy : {false, true}) {
        SCOPED_TRACE(busy);
        Rig r(1);
        r.ctx.log->Open(r.tp.Dir() / "mon" / "today.mon");
        r.tp.port.FailAfter(1);
        if (busy) {
            Activity::Scope scope(*r.ctx.activity);
            Wait_Seconds(r.tp.clock, 2);
            EXPECT_EQ(r.tp.ended, 0);
        }
        r.tp.clock.Advance(2);
        QCoreApplication::processEvents();
        ASSERT_EQ(r.tp.dialogs.boxes.size(), 1u);
        EXPECT_EQ(r.tp.dialogs.boxes[0].prompt,
                  "## INSTRUMENT IS DISCONNECTED! \r\n\r\nZAVO WILL BE CLOSED!");
        EXPECT_EQ(tuple(r.tp.ended, r.tp.port.writes.size()), tuple(1, 0u));
        const std::string log = test::ReadBytes(r.tp.Dir() / "mon" / "today.mon");
        EXPECT_NE(log.find("## INSTRUMENT IS DISCONNECTED! - ZAVO WILL BE CLOSED!"), std::string::npos);
        EXPECT_NE(log.find("ZAVO ENDS"), std::string::npos);
    }
}

}  // namespace
