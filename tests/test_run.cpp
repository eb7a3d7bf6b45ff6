// The run on the fake controller, the demagnetizer hold and the ways out.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "core/Activity.h"
#include "core/Paths.h"
#include "core/Waits.h"
#include "link/CommLog.h"
#include "operations/DemagHold.h"
#include "operations/RunSequence.h"
#include "operations/Tumbler.h"
#include "panel/Limits.h"
#include "panel/PanelEnabling.h"
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
    r.ctx.limits->Limits_Set();
    r.unit.temperatures = {2440, 2440}, r.unit.coilMV = 2441;
    std::vector<double> at;  // of each reading and of "G"
    r.unit.on["y"] = r.unit.on["G"] = [&] { at.push_back(r.tp.clock.Absolute()); };
    EXPECT_EQ(r.Run(), (W{"IP", "ER1", "H0", "SD0", "SM0", "y", "y", "y", "G"}));
    EXPECT_TRUE(at.back() - at.front() >= 2.0 && at.back() - at.front() < 2.5);
    EXPECT_FALSE(r.ui.timSD->isActive());
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
    r.AutoNext(10);
    r.unit.course = 10;
    r.unit.on["G"] = [&] {
        r.tp.clock.After(1, [&] { r.ui.cmdStop->click(); });
    };
    EXPECT_EQ(r.Run(), (W{"IP", "ER1", "SD1", "H1", "SM1", "i", "P10", "y", "G", ESC, ESC, "H0"}));
    const auto& t = r.tp.port.writeTimes;
    EXPECT_NEAR(t.end()[-2] - t.end()[-3], 0.2, 0.02) << "second Esc";
    EXPECT_EQ(tuple(r.Stamps(), r.ctx.pos.MIndex, r.ctx.pos.MPos, BackColor(r.ui.picStat[0])),
              tuple(0, 1, 10, kGreen));
    r.ExpectIdle();
    SetTag(r.ui.cmdStop, "0");
    r.ui.cmdStop->setEnabled(true);
    r.ui.cmdStop->click();
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
        r.unit.on["H0"] = [&] { said = r.Status(); };
        r.tp.clock.Advance(300);
        r.ctx.hold->timSD_Timer();
        EXPECT_EQ(tuple(r.Sent(), said), tuple(W{"H0", "SD0"}, "INSTRUMENT IS READY"));
    }
}

// The next position when "Auto next" shows on, whatever the record; auto switch after it.
TEST(Run, AutoNextAndAutoSwitch) {
    RunRig r(2, true);
    r.AutoNext(10);
    r.ui.chkAutoSwitch->setChecked(true);
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
    r.tp.clock.Advance(86380 - r.tp.clock.Now());
    r.Run();
    const double end = hold.SDOnSince();
    ASSERT_TRUE(end > 86380 && end < 86400) << "the run ends before midnight: " << end;
    r.tp.clock.Advance(90);
    hold.timSD_Timer();
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
    r.ctx.instr.SDActual = 1, r.ui.timSD->start();
    hold.timSD_Timer();
    EXPECT_EQ(tuple(r.Sent(), r.ui.timSD->isActive()), tuple(W{}, false));
}

// A mode switch that leaves the demagnetizer on keeps the count; "M2" clears it.
TEST(Hold, ModeSwitchesKeepOrClearTheCount) {
    RunRig r(1);
    r.unit.yul = 0;  // the unit off: ANHYSTERETIC falls back, the demagnetizer stays on
    r.Run();
    r.tp.clock.Advance(10);
    r.ctx.hold->timSD_Timer();
    EXPECT_EQ(r.ui.lblSD->text(), "290");
    r.tp.dialogs.boxAnswers = {kCancel};
    r.ui.optZAVMode[2]->click();
    EXPECT_EQ(tuple(r.ctx.settings.ZAVMODE, r.ui.timSD->isActive()), tuple(1, true));
    r.unit.yul = 1;
    r.ui.optZAVMode[3]->click();
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
        r.unit.H = r.unit.SD = r.unit.SM = 1;
        r.ctx.log->Open(r.tp.Dir() / "mon" / "today.mon");
        r.ctx.run.Busy = c == Busy;
        r.ctx.run.InstrReady = c != NotReady;
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

// The tablet asks with the large buttons; "NO" leaves a never initialized panel locked.
TEST(Exit, TabletNo) {
    RunRig r(1);
    r.ctx.settings.TOUCHMODE = true, r.ctx.run.InstrReady = false;
    r.ctx.enabling->Panels_Enable(false);
    r.tp.dialogs.largeAnswers = {false};
    EXPECT_TRUE(r.ctx.hold->Form_QueryUnload());
    EXPECT_EQ(tuple(r.tp.dialogs.large.size(), r.ui.cmdStart->isEnabled(), r.Status()),
              tuple(1u, false, "INSTRUMENT IS NOT INITIALIZED"));
}

// A termination signal in a run stops it, switches off and saves without a question.
TEST(Exit, TerminationSignal) {
    RunRig r(1);
    r.unit.course = 10;
    r.unit.H = r.unit.SD = r.unit.SM = 1;
    r.unit.on["G"] = [&] { r.tp.clock.After(1, [&] { r.ctx.hold->Terminate(); }); };
    EXPECT_EQ(r.Run(), (W{"IP", "ER1", "SM0", "y", "G", ESC, ESC, "H0"}));
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(r.Sent(), (W{"\x10", "IP", "SD0"}));
    EXPECT_TRUE(r.tp.dialogs.boxes.empty() && r.ctx.hold->Closed());
    EXPECT_EQ(ReadBytes(r.ctx.paths.SettingsFile()), Settings_Bytes(r.ctx.settings));
}

// The port failing inside an operation is told, logged and ends the program after it.
TEST(Exit, PortLost) {
    RunRig r(1);
    r.ctx.log->Open(r.tp.Dir() / "mon" / "today.mon");
    r.tp.port.FailAfter(1);
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
