// Instrument mode switching and the parameter upload on the fake controller.
#include <gtest/gtest.h>

#include "core/Widgets.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "operations/ModeSwitch.h"
#include "operations/ParamUpload.h"
#include "operations/StatusReport.h"
#include "support/Rig.h"

using namespace zavo;
using namespace zavo::test;
using std::tuple;

namespace {

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

struct ModeTest : ::testing::Test, Rig {
    void Click(int mode) { ui.optZAVMode[mode]->click(); }
};

const char* const kDemag = "checked 1, lit 1, ADM";

}  // namespace

// The YUL1 unit's states when a magnetizer mode is chosen (on, off and unplugged in the real
// program: e2e_modes). The answer: the desktop box's, or 1/0 for the tablet's OK/Cancel.
TEST(ModeSwitch, UnitStatesDecideTheMode) {
    struct Case {
        const char* what;
        bool tablet;
        int mode, yul, yulLater, fm, answer;
        W sent;
        int modeAfter, dialogs;
        std::string shown;
    };
    const Case cases[] = {
        {"unit ready, pulse mode", true, 3, 1, -1, 0, 1, {"IP", "M2"}, 3, 0,
         "checked 3, lit 3, TOV+positions"},
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
        r.tp.dialogs.largeAnswers = {c.answer == 1};
        r.tp.dialogs.boxAnswers = {c.answer};
        r.ui.optZAVMode[c.mode]->click();
        EXPECT_EQ(r.Sent(), c.sent);
        EXPECT_EQ(tuple(r.ctx.settings.ZAVMODE, r.tp.dialogs.boxes.size() + r.tp.dialogs.large.size(),
                        Shown(r.ui)),
                  tuple(c.modeAfter, size_t(c.dialogs), c.shown));
        EXPECT_TRUE(r.ui.optZAVMode[c.modeAfter]->isEnabled() && InputAccepted(r.ui.cmdStart));
    }
}

// A missing unit leaves only DEMAGNETIZER to choose; the tablet says so on the status line for
// three seconds instead of a box.
TEST_F(ModeTest, MessagesOfTheUnitStates) {
    unit.yul = 2;
    Click(3);
    EXPECT_EQ(tp.dialogs.boxes.at(0).prompt,
              "## YUL1 UNIT IS NOT CONNECTED!\r\n\r\nDEMAGNETIZER MODE ONLY.");
    EXPECT_FALSE(ui.optZAVMode[2]->isEnabled() || ui.optZAVMode[3]->isEnabled());

    Rig t(1);
    t.ctx.settings.TOUCHMODE = true;
    t.unit.yul = 2;
    std::pair<std::string, VbColor> seen;
    t.tp.clock.After(1, [&] { seen = {t.Status(), t.ui.picStat[0]->Back()}; });
    const double t0 = t.tp.clock.Absolute();
    t.ui.optZAVMode[2]->click();
    EXPECT_EQ(seen, std::pair(std::string("## YUL1 UNIT IS NOT CONNECTED!"), VbColor(kRed)));
    EXPECT_GE(t.tp.clock.Absolute() - t0, 3.0);
    EXPECT_EQ(tuple(t.Status(), t.tp.dialogs.boxes.size()), tuple("INSTRUMENT IS READY", 0u));
}

// Stages go off before the mode word, sent only when it differs; DEMAGNETIZER: magnetizer off.
TEST_F(ModeTest, ModeWordOnlyWhenItDiffersAndStagesOffFirst) {
    unit.H = 1, unit.SD = 1;
    const tuple<int, std::function<void()>, W> steps[] = {
        {3, [] {}, {"IP", "H0", "SD0", "M2"}},
        {3, [] {}, {"IP"}},
        {2, [] {}, {"IP", "M1"}},
        {1, [&] { unit.SM = 1, unit.pulseUnit = true; }, {"IP", "SM0", "M1"}},
    };
    for (const auto& [mode, arrange, sent] : steps) {
        arrange();
        Click(mode);
        EXPECT_EQ(Sent(), sent) << mode;
    }
    EXPECT_EQ(tuple(ctx.instr.ModeWordActual, ctx.instr.SMActual, ctx.instr.MagMode),
              tuple(1, 0, 2));
}

// A failed report or STOP keeps the mode; a lost instrument ends the program.
TEST_F(ModeTest, FailedReadStopOrLoss) {
    unit.overrides["IP"] = "## Hypex Overheated ";  // an error the program survives
    Click(3);
    EXPECT_EQ(tuple(Sent(), ctx.settings.ZAVMODE, Shown(ui), ctx.link.CmdFatal),
              tuple(W{"IP"}, 1, kDemag, false));
    unit.overrides.clear();
    tp.port.replyDelay = 0.5;
    tp.clock.After(0.1, [&] { ctx.run.StopRequest = true; });  // "IP" still completes
    Click(2);
    EXPECT_EQ(tuple(Sent(), Shown(ui)), tuple(W{"IP"}, kDemag));
    ctx.run.StopRequest = false;
    unit.overrides["IP"] = "## Unknown Cmd. ";
    Click(2);
    EXPECT_EQ(tuple(ctx.link.CmdFatal, tp.ended), tuple(true, 1));
}

// A click inside another exchange's wait does nothing; between operations it switches.
TEST_F(ModeTest, ClickInsideAnotherExchangeIsRefused) {
    tp.port.replyDelay = 1.0;
    tp.clock.After(0.3, [&] { Click(3); });
    ctx.cmds->SD_Send(1, false);
    EXPECT_EQ(tuple(Sent(), ctx.instr.SDActual, ctx.settings.ZAVMODE, Shown(ui), ctx.cmd->Refused()),
              tuple(W{"SD1"}, 1, 1, kDemag, 0));
    tp.port.replyDelay = 0.01;
    Click(3);
    EXPECT_EQ(ctx.settings.ZAVMODE, 3);
}

// Only what differs from the report, in table order, 0.2 s apart; the AC modes open with the
// fast rate; a second upload right after finds everything confirmed.
TEST(Upload, OnlyWhatDiffersInTableOrder) {
    struct Case {  // the commands of an upload and of a second right after
        const char* what;
        int mode;
        std::function<void(Settings&, FakeUnit&)> arrange;
        W sent, again;
    };
    const Case cases[] = {
        {"all equal, fast rate", 1, [](Settings&, FakeUnit&) {},
         {"ER1"}, {"ER1"}},
        {"all equal, slow rate", 1, [](Settings& s, FakeUnit&) { s.DMGER = 3; },
         {"ER1", "ER3"}, {"ER1", "ER3"}},
        {"DC field and its AC end left", 1,
         [](Settings&, FakeUnit& u) { u.FM = 5, u.FA = 7; },
         {"ER1", "FM000", "A000"}, {"ER1"}},
        {"every row differs", 1,
         [](Settings& s, FakeUnit& u) {
             s.DMGFD = 150, s.DMGES = 3, s.DMGER = 2, s.DMGET = 12, u.FM = 1, u.FA = 1;
         },
         {"ER1", "FD150", "FM000", "A000", "ES3", "ER2", "ET12"}, {"ER1", "ER2"}},
        {"anhysteretic", 2,
         [](Settings& s, FakeUnit&) {
             s.REKFD = 80, s.REKFM = 50, s.REKFA = 30, s.REKES = 1, s.REKER = 0, s.REKET = 7;
         },
         {"ER1", "FD080", "FM050", "A030", "ES1", "ER0", "ET07"}, {"ER1", "ER0"}},
        {"pulses: never a rate", 3, [](Settings& s, FakeUnit&) { s.TOVFP = 15, s.TOVET = 25; },
         {"FP015", "ET25"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r(Int16(c.mode));
        c.arrange(r.ctx.settings, r.unit);
        r.ctx.report->Status_Read();
        r.Sent();
        r.tp.port.writeTimes.clear();
        r.ctx.upload->Params_Upload();
        const std::vector<double> t = r.tp.port.writeTimes;
        EXPECT_EQ(r.Sent(), c.sent);
        for (size_t i = 1; i < t.size(); ++i) EXPECT_NEAR(t[i] - t[i - 1], 0.21, 0.005) << i;
        EXPECT_TRUE(t.empty() || std::abs(r.tp.clock.Absolute() - t.back() - 0.21) < 0.005);
        r.ctx.upload->Params_Upload();
        EXPECT_EQ(r.Sent(), c.again);
    }
}

// A failed command or a stop ends the upload (a stopped command confirms nothing); no mode,
// no upload.
TEST(Upload, FailureAndStopEndIt) {
    Rig r(1);
    Settings& s = r.ctx.settings;
    s.DMGFD = 60, s.DMGES = 3, s.DMGET = 9;
    r.unit.overrides["ES3"] = "## Hypex Overheated ";
    r.ctx.upload->Params_Upload();
    EXPECT_EQ(tuple(r.Sent(), r.ctx.link.CmdError, r.ctx.instr.FDActual),
              tuple(W{"ER1", "FD060", "ES3"}, true, 60));
    s.DMGFD = 70;
    r.unit.on["FD070"] = [&] { r.ctx.run.StopRequest = true; };  // while it waits for the reply
    r.tp.port.replyDelay = 0.5;
    r.ctx.upload->Params_Upload();
    EXPECT_EQ(tuple(r.Sent(), r.ctx.link.CmdError, r.ctx.instr.FDActual),
              tuple(W{"ER1", "FD070"}, false, 60));
    s.ZAVMODE = 0;
    r.ctx.run.StopRequest = false;
    r.ctx.upload->Params_Upload();
    EXPECT_EQ(r.Sent(), W{});
}
