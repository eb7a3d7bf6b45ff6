// Instrument mode switching and the parameter upload against a scripted controller.
#include <gtest/gtest.h>

#include <optional>

#include "core/Activity.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/StatusLine.h"
#include "operations/ModeSwitch.h"
#include "operations/ParamUpload.h"
#include "operations/StatusReport.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "support/FakeUnit.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;
using Cmds = std::vector<std::string>;

namespace {

class ModeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        unit.emplace(tp.port, tp.clock);
        ASSERT_TRUE(tp.port.Open(1));
        ctx.settings.DMGFD = 40;
        ctx.run.InstrReady = true;
        Ready(1);
    }
    // As after an initialization in this mode: panel filled and unlocked, nothing sent yet.
    void Ready(int mode) {
        ctx.settings.ZAVMODE = Int16(mode);
        ctx.instr.ModeWordActual = mode == 3 ? 2 : 1;
        ctx.options->Controls_Enable(false);
        ctx.limits->Limits_Set();
        ctx.options->Option_Highlight(ui.optZAVMode[mode]);
        ctx.enabling->Panels_Enable(true);
        ctx.options->Controls_Enable(true);
        Sent();
    }
    Cmds Sent() { return std::exchange(tp.port.writes, {}); }
    void Click(int mode) { ui.optZAVMode[mode]->click(); }
    // What the operator sees: the checked mode, the highlighted one, the panel shown.
    std::string Shown() const {
        std::string s;
        for (int i = 1; i <= 3; ++i) {
            if (ui.optZAVMode[i]->isChecked()) s += "checked " + std::to_string(i) + ", ";
            if (BackColor(ui.optZAVMode[i]) == kCyan) s += "lit " + std::to_string(i) + ", ";
        }
        return s + (ui.fraTOV->isVisibleTo(ui.owner) ? "TOV" : "ADM") +
               (ui.fraMMode->isVisibleTo(ui.owner) ? "+positions" : "");
    }

    TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    std::optional<FakeUnit> unit;
};

}  // namespace

// The YUL1 unit's states when a magnetizer mode is chosen, on the desktop and the tablet.
TEST_F(ModeTest, UnitStatesDecideTheMode) {
    struct Case {
        const char* what;
        bool tablet;
        int mode, yul, yulLater, fm;
        int answer;  // the desktop box's answer, or 1/0 for the tablet's OK/Cancel
        Cmds sent;
        int modeAfter;
        int dialogs;  // questions and messages asked
        std::string shown;
    };
    const Case cases[] = {
        {"unit ready", false, 2, 1, -1, 0, kOK, {"IP"}, 2, 0, "checked 2, lit 2, ADM+positions"},
        {"unit ready, pulse mode", true, 3, 1, -1, 0, 1, {"IP", "M2"}, 3, 0,
         "checked 3, lit 3, TOV+positions"},
        {"off, Retry once it is on", false, 2, 0, 1, 0, kRetry, {"IP", "IP"}, 2, 1,
         "checked 2, lit 2, ADM+positions"},
        {"off, tablet RETRY once it is on", true, 3, 0, 1, 0, 1, {"IP", "IP", "M2"}, 3, 1,
         "checked 3, lit 3, TOV+positions"},
        {"off, Cancel", false, 2, 0, -1, 0, kCancel, {"IP"}, 1, 1, "checked 1, lit 1, ADM"},
        {"off, tablet CANCEL", true, 3, 0, -1, 0, 0, {"IP"}, 1, 1, "checked 1, lit 1, ADM"},
        {"not connected, DC field left on", false, 2, 2, -1, 5, kOK, {"IP", "FM000"}, 1, 0,
         "checked 1, lit 1, ADM"},
        {"not connected", false, 3, 2, -1, 0, kOK, {"IP"}, 1, 1, "checked 1, lit 1, ADM"},
        {"unknown unit state", false, 3, 3, -1, 0, kOK, {"IP"}, 1, 0, "checked 1, lit 1, ADM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        unit.emplace(tp.port, tp.clock);
        unit->yul = c.yul, unit->yulLater = c.yulLater, unit->FM = c.fm;
        ctx.settings.TOUCHMODE = c.tablet;
        ctx.instr.YULState = 1;
        Ready(1);
        tp.dialogs.boxes.clear(), tp.dialogs.large.clear();
        if (c.tablet)
            tp.dialogs.largeAnswers = {c.answer == 1};
        else
            tp.dialogs.boxAnswers = {c.answer};
        Click(c.mode);
        EXPECT_EQ(Sent(), c.sent);
        EXPECT_EQ(ctx.settings.ZAVMODE, c.modeAfter);
        EXPECT_EQ(int(tp.dialogs.boxes.size() + tp.dialogs.large.size()), c.dialogs);
        EXPECT_EQ(Shown(), c.shown);
        EXPECT_TRUE(ui.optZAVMode[c.modeAfter]->isEnabled() && InputAccepted(ui.cmdStart));
    }
}

// What the operator is told, by layout: the unit off asks, a missing unit explains the fall-back.
TEST_F(ModeTest, MessagesOfTheUnitStates) {
    unit->yul = 0;
    tp.dialogs.boxAnswers = {kCancel};
    Click(2);
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    const AskedBox off = tp.dialogs.boxes[0];
    EXPECT_EQ(std::tuple(off.prompt, off.style, off.title, off.captions),
              std::tuple(QString("YUL1 UNIT IS OFF!"), kRetryCancel + kExclamation,
                         QString("Warning"), QStringList{"&Retry", "&Cancel"}));
    unit->yul = 2;
    Click(3);
    ASSERT_EQ(tp.dialogs.boxes.size(), 2u);
    EXPECT_EQ(std::tuple(tp.dialogs.boxes[1].prompt, tp.dialogs.boxes[1].style,
                         tp.dialogs.boxes[1].title),
              std::tuple(QString("## YUL1 UNIT IS NOT CONNECTED!\r\n\r\nDEMAGNETIZER MODE ONLY."),
                         kOKOnly + kCritical, QString("Critical error")));
    EXPECT_FALSE(ui.optZAVMode[2]->isEnabled() || ui.optZAVMode[3]->isEnabled())
        << "without the unit only DEMAGNETIZER can be chosen";
    // The tablet says it on the status line for three seconds instead, then shows the state.
    ctx.settings.TOUCHMODE = true;
    ctx.instr.YULState = 1;
    Ready(1);
    QString seen;
    tp.clock.After(1, [&] { seen = ui.picStat[1]->Text() + "|" + QString::number(ui.picStat[0]->Back()); });
    const double t0 = tp.clock.Absolute();
    Click(2);
    EXPECT_EQ(seen, "## YUL1 UNIT IS NOT CONNECTED!|" + QString::number(kRed));
    EXPECT_GE(tp.clock.Absolute() - t0, 3.0);
    EXPECT_EQ(ui.picStat[1]->Text(), "INSTRUMENT IS READY");
    EXPECT_EQ(tp.dialogs.boxes.size(), 2u);
}

// Stages go off before the mode word changes; DEMAGNETIZER switches the magnetizer off first.
TEST_F(ModeTest, ModeWordOnlyWhenItDiffersAndStagesOffFirst) {
    unit->H = 1, unit->SD = 1;
    Click(3);
    EXPECT_EQ(Sent(), (Cmds{"IP", "H0", "SD0", "M2"}));
    Click(3);  // already there: the report is read again, nothing else to change
    EXPECT_EQ(Sent(), Cmds{"IP"});
    Click(2);  // the controller already reports the pulse unit: only the word back
    EXPECT_EQ(Sent(), (Cmds{"IP", "M1"}));
    unit->SM = 1, unit->pulseUnit = true;
    Click(1);
    EXPECT_EQ(Sent(), (Cmds{"IP", "SM0", "M1"}));
    EXPECT_EQ(std::tuple(ctx.instr.ModeWordActual, ctx.instr.SMActual, ctx.instr.MagMode),
              std::tuple(1, 0, 2));
}

// A failed status report or STOP leaves the instrument and the panel in the mode they were in.
TEST_F(ModeTest, FailedReadOrStopChangesNothing) {
    unit->overrides["IP"] = "## Hypex Overheated ";  // an error the program survives
    Click(3);
    EXPECT_EQ(Sent(), Cmds{"IP"});
    EXPECT_EQ(ctx.settings.ZAVMODE, 1);
    EXPECT_EQ(Shown(), "checked 1, lit 1, ADM");
    EXPECT_FALSE(ctx.link.CmdFatal);
    unit->overrides.clear();
    tp.port.replyDelay = 0.5;
    tp.clock.After(0.1, [&] { ctx.run.StopRequest = true; });  // "IP" still completes
    Click(2);
    EXPECT_EQ(Sent(), Cmds{"IP"});
    EXPECT_EQ(Shown(), "checked 1, lit 1, ADM");
}

// A lost instrument during the switch ends the program after a second.
TEST_F(ModeTest, LostInstrumentEndsTheProgram) {
    unit->overrides["IP"] = "## Unknown Cmd. ";
    Click(2);
    EXPECT_TRUE(ctx.link.CmdFatal);
    EXPECT_EQ(tp.ended, 1);
}

// A click that arrives inside another exchange's wait neither talks to the controller nor moves
// the panel; the exchange under way completes undisturbed.
TEST_F(ModeTest, ClickInsideAnotherExchangeIsRefused) {
    tp.port.replyDelay = 1.0;
    tp.clock.After(0.3, [&] { Click(3); });
    ctx.cmds->SD_Send(1, false);
    EXPECT_EQ(Sent(), Cmds{"SD1"});
    EXPECT_EQ(ctx.instr.SDActual, 1);
    EXPECT_EQ(ctx.settings.ZAVMODE, 1);
    EXPECT_EQ(Shown(), "checked 1, lit 1, ADM");
    EXPECT_EQ(ctx.cmd->Refused(), 0);
    // Between operations the same click switches.
    tp.port.replyDelay = 0.01;
    Click(3);
    EXPECT_EQ(ctx.settings.ZAVMODE, 3);
}

// ZAVMode_Set from code follows the same rules and unlocks the panel afterwards.
TEST_F(ModeTest, ModeSetFromCode) {
    unit->yul = 2;
    ctx.modes->ZAVMode_Set(2);
    EXPECT_EQ(Sent(), Cmds{"IP"});
    EXPECT_EQ(Shown(), "checked 1, lit 1, ADM");
    unit->yul = 1;
    ctx.modes->ZAVMode_Set(3);
    EXPECT_EQ(Sent(), (Cmds{"IP", "M2"}));
    EXPECT_EQ(Shown(), "checked 3, lit 3, TOV+positions");
    EXPECT_TRUE(InputAccepted(ui.txtTOVField) && ui.txtTOVField->isEnabled());
    ctx.modes->ZAVMode_Set(7);  // no such mode
    EXPECT_EQ(Sent(), Cmds{});
}

// --- Parameter upload ------------------------------------------------------------------------

class UploadTest : public ModeTest {
  protected:
    Cmds Upload() {
        Sent();
        tp.port.writeTimes.clear();
        ctx.upload->Params_Upload();
        end = tp.clock.Absolute();
        return Sent();
    }
    // Each command sent settles for 0.2 s after its reply; an equal last row adds no wait.
    void ExpectSettled() {
        const auto& t = tp.port.writeTimes;
        for (size_t i = 1; i < t.size(); ++i) {
            EXPECT_NEAR(t[i] - t[i - 1], 0.21, 0.005) << i;
        }
        if (!t.empty()) {
            EXPECT_NEAR(end - t.back(), 0.21, 0.005);
        }
    }
    double end = 0;
};

TEST_F(UploadTest, OnlyWhatDiffersInTableOrder) {
    Settings& s = ctx.settings;
    struct Case {
        const char* what;
        int mode;
        std::function<void()> arrange;
        Cmds sent;
    };
    const Case cases[] = {
        {"all equal, fast rate", 1, [&] { s.DMGFD = 0, s.DMGER = 1; }, {"ER1"}},
        {"all equal, slow rate", 1, [&] { s.DMGFD = 0, s.DMGER = 3; }, {"ER1", "ER3"}},
        {"DC field left on", 1, [&] { s.DMGFD = 0, s.DMGER = 1, unit->FM = 5; }, {"ER1", "FM000"}},
        {"DC field and its AC end left", 1, [&] { s.DMGFD = 0, s.DMGER = 1, unit->FM = 5, unit->FA = 7; },
         {"ER1", "FM000", "A000"}},
        {"every row differs", 1,
         [&] { s.DMGFD = 150, s.DMGES = 3, s.DMGER = 2, s.DMGET = 12, unit->FM = 1, unit->FA = 1; },
         {"ER1", "FD150", "FM000", "A000", "ES3", "ER2", "ET12"}},
        {"anhysteretic", 2,
         [&] { s.REKFD = 80, s.REKFM = 50, s.REKFA = 20, s.REKES = 1, s.REKER = 0, s.REKET = 7; },
         {"ER1", "FD080", "FM050", "A020", "ES1", "ER0", "ET07"}},
        {"pulses: never a rate", 3, [&] { s.TOVFP = 15, s.TOVET = 25, unit->pulseUnit = true; },
         {"FP015", "ET25"}},
        {"pulses, equal", 3, [&] { s.TOVFP = 0, s.TOVET = 5, unit->pulseUnit = true; }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        unit.emplace(tp.port, tp.clock);
        s.ZAVMODE = Int16(c.mode);
        c.arrange();
        ctx.report->Status_Read();
        EXPECT_EQ(Upload(), c.sent);
        ExpectSettled();
        // A second upload right after finds everything confirmed.
        Cmds again = c.mode == 3 ? Cmds{} : Cmds{"ER1"};
        if (c.mode != 3 && (c.mode == 1 ? s.DMGER : s.REKER) != 1)
            again.push_back("ER" + std::to_string(c.mode == 1 ? s.DMGER : s.REKER));
        EXPECT_EQ(Upload(), again);
    }
}

TEST_F(UploadTest, FailureAndStopEndTheUpload) {
    Settings& s = ctx.settings;
    s.ZAVMODE = 1, s.DMGFD = 50, s.DMGES = 3, s.DMGET = 9;
    ctx.report->Status_Read();
    unit->overrides["ES3"] = "## Hypex Overheated ";
    EXPECT_EQ(Upload(), (Cmds{"ER1", "FD050", "ES3"}));
    EXPECT_TRUE(ctx.link.CmdError);
    EXPECT_EQ(ctx.instr.FDActual, 50) << "confirmed values stay confirmed";
    unit->overrides.clear();
    s.DMGFD = 60;
    tp.port.responder = [&](const std::string& c) {
        if (c == "FD060") ctx.run.StopRequest = true;  // while it waits for the reply
        return unit->Reply(c);
    };
    EXPECT_EQ(Upload(), (Cmds{"ER1", "FD060"}));
    EXPECT_EQ(ctx.instr.FDActual, 50) << "a stopped command confirms nothing";
    EXPECT_FALSE(ctx.link.CmdError);
    s.ZAVMODE = 0;
    ctx.run.StopRequest = false;
    EXPECT_EQ(Upload(), Cmds{});
}
