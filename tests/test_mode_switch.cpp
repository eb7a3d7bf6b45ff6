// The status report, instrument mode switching and the parameter upload on the fake controller.
#include <gtest/gtest.h>

#include <array>

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

// The YUL1 unit's states decide a magnetizer mode (answer: box's, or tablet's 1 OK / 0 Cancel).
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

// The tablet tells a missing unit on the status line for three seconds instead of a box.
TEST_F(ModeTest, TabletTellsAMissingUnitOnTheStatusLine) {
    ctx.settings.TOUCHMODE = true;
    unit.yul = 2;
    std::pair<std::string, VbColor> seen;
    tp.clock.After(1, [&] { seen = {Status(), ui.picStat[0]->Back()}; });
    const double t0 = tp.clock.Absolute();
    Click(2);
    EXPECT_EQ(seen, std::pair(std::string("## YUL1 UNIT IS NOT CONNECTED!"), VbColor(kRed)));
    EXPECT_TRUE(tp.clock.Absolute() - t0 >= 3.0 && tp.dialogs.boxes.empty());
    EXPECT_EQ(tuple(Status(), ctx.settings.ZAVMODE), tuple("INSTRUMENT IS READY", 1));
}

// Stages go off before the mode word; DEMAGNETIZER switches the magnetizer off.
TEST_F(ModeTest, StagesOffBeforeTheModeWord) {
    unit.H = 1, unit.SD = 1;
    Click(3);
    EXPECT_EQ(Sent(), (W{"IP", "H0", "SD0", "M2"}));
    unit.SM = 1;
    Click(1);
    EXPECT_EQ(Sent(), (W{"IP", "SM0", "M1"}));
    EXPECT_EQ(tuple(ctx.instr.ModeWordActual, ctx.instr.SMActual, ctx.instr.MagMode),
              tuple(1, 0, 3));
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

// Only what differs, in table order, 0.2 s apart, AC modes opening with the fast rate.
TEST(Upload, OnlyWhatDiffersInTableOrder) {
    struct Case {  // the commands of an upload and of a second right after
        const char* what;
        int mode;
        std::function<void(Settings&, FakeUnit&)> arrange;
        W sent, again;
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

// A failure or a stop ends the upload, a stopped command confirming nothing; no mode, none.
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
V Values(const S& s) {
    return std::apply([&](auto... f) { return V{s.*f...}; }, kFields);
}
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
        tp.port.responder = [&](const std::string&) { return reply; };
        ctx.report->Status_Read();
        EXPECT_TRUE(Values(ctx.instr) == kMarked && ctx.link.CmdText == "IP") << reply;
    }
}
