#include <gtest/gtest.h>

#include <QCoreApplication>

#include "core/Activity.h"
#include "link/CommandSet.h"
#include "link/StatusLine.h"
#include "operations/DemagHold.h"
#include "operations/RunSequence.h"
#include "operations/Tumbler.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
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
};

TEST(TimeStamp, SecondsSinceMidnightAsASingle) {
    const tuple<double, const char*> cases[] = {
        {45296.5, "45296.5"}, {0, "0"}, {86399.99, "86399.99"}, {3600.125, "3600.125"},
        {45296.123456, "45296.13"}};  // as a single: 45296.125
    for (auto [t, text] : cases) EXPECT_EQ(TimeStamp_Text(t), text) << t;
}

// Demagnetization: stages on (demagnetizer first), the passes by the demagnetization mode,
// the specimen out of the coil after each, one time stamp per "G", amplifier off at the end.
TEST(Run, DemagnetizerPasses) {
    const tuple<bool, int, W, int> cases[] = {
        {true, 8, {"i", "P01", "y", "G", "P00", "i", "P03", "y", "G", "P00", "i", "P05", "y", "G", "P00"}, 3},
        {false, 8, {"y", "G"}, 1},
        {true, 7, {"t", "y", "G", "i"}, 1},
        {true, 5, {"i", "P04", "y", "G", "P00"}, 1},
    };
    for (const auto& [tumbler, dmode, passes, stamps] : cases) {
        Rig r(1, tumbler);
        r.ctx.settings.DMODE = Int16(dmode);
        W want{"IP", "ER1", "SD1", "H1"};
        want.insert(want.end(), passes.begin(), passes.end());
        want.push_back("H0");
        EXPECT_EQ(r.Run(), want) << tumbler << " " << dmode;
        EXPECT_EQ(r.run.Stamps(), stamps);
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
        EXPECT_EQ(tuple(r.run.Stamps(), r.ctx.settings.TOVDIR), tuple(1, dir));
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
    EXPECT_EQ(tuple(r.run.Stamps(), r.ctx.pos.MIndex, r.ctx.pos.MPos), tuple(0, 1, 10));
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

// A failed course ends without switching the amplifier off; a fatal one ends the program.
TEST(Run, FailedAndFatalCourse) {
    const tuple<const char*, W, bool> cases[] = {
        {"## Hypex Overheated ", {}, false},
        {"## Coil Overheated ", {"B1"}, true},
    };
    for (const auto& [error, after, fatal] : cases) {
        Rig r(1);
        r.unit.gError = error;
        W want{"IP", "ER1", "SD1", "H1", "y", "G"};
        want.insert(want.end(), after.begin(), after.end());
        EXPECT_EQ(r.Run(), want) << error;
        EXPECT_EQ(tuple(r.tp.ended, r.ctx.instr.HActual, r.run.Stamps()), tuple(fatal ? 1 : 0, 1, 0));
        EXPECT_EQ(r.ui.cmdStart->isEnabled(), !fatal);
        EXPECT_FALSE(r.ui.timSD->isActive());
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
    EXPECT_EQ(tuple(r.ctx.settings.ZAVMODE, r.run.Stamps()), tuple(1, 1));
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

}  // namespace
