// The magnetizing positions, the tumbler's panel and commands, the service buttons.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "core/Widgets.h"
#include "link/CommandSet.h"
#include "operations/DemagHold.h"
#include "operations/ServiceControls.h"
#include "operations/Tumbler.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "support/Rig.h"

using namespace zavo;
using namespace zavo::test;
using std::tuple;

namespace {

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
    void SetUp() override { ctx.settings.SERVMODE = true; }
};

}  // namespace

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
    ctx.settings.DMODE = 3;
    ui.chkTumbler->setEnabled(true), ui.chkTumbler->SetValue(true);
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
    ui.chkAutoNextT->SetValue(true);
    ui.chkTumblerT->SetValue(false);
    EXPECT_EQ(Pos(), tuple(0, 0, 0, 0, ""));
    EXPECT_FALSE(ctx.pos.TumblerUsed || ui.chkTumbler->isChecked() || ctx.pos.AutoNext ||
                 ui.cmdInitTumbler->isEnabled() || ui.optMMode[7]->isEnabled());
}

// A position 0.2 s after an initialization; none beyond the set, after a stop or a failure.
TEST_F(TumblerTest, PositionCommands) {
    tumbler.Tumbler_SetPos(0, false);
    tumbler.Tumbler_SetPos(5, true);
    EXPECT_EQ(Sent(), (W{"P00", "i", "P05"}));
    EXPECT_GE(tp.port.writeTimes.end()[-1] - tp.port.writeTimes.end()[-2], 0.2);
    for (Int16 pos : {19, -1}) tumbler.Tumbler_SetPos(pos, false);
    tp.clock.After(0.1, [this] { ctx.run.StopRequest = true; });  // ABORT while settling
    tumbler.Tumbler_SetPos(18, false);
    unit.overrides["i"] = "## Tumbler Init Error ";
    ctx.run.StopRequest = false;
    tumbler.Tumbler_SetPos(3, false);  // a tumbler that failed to initialize is not moved
    EXPECT_EQ(Sent(), (W{"i", "i"}));
}

// Service buttons clear an old stop and send with STOP usable; the tumbler's STOP sends Esc.
TEST_F(TumblerTest, ServiceButtons) {
    const tuple<int, const char*, W> buttons[] = {  // button, position typed, sent
        {1, " 12 ", {"P12"}}, {1, "123", {"P123"}}, {1, "  ", {}}, {0, "", {"i"}}, {2, "", {"t"}}};
    for (const auto& [index, typed, sent] : buttons) {
        SCOPED_TRACE(typed);
        ui.txtTumbler->setText(typed);
        ctx.run.StopRequest = true;
        bool stopUsable = false;
        for (const std::string c : {"i", "t", "P07", "P12", "P123"})
            unit.on[c] = [&] { stopUsable = ui.cmdStop->isEnabled(); };
        ui.cmdTumbler[index]->click();
        EXPECT_EQ(tuple(Sent(), ctx.run.StopRequest, stopUsable, ui.cmdStop->isEnabled()),
                  tuple(sent, sent.empty(), !sent.empty(), false));
    }
    ctx.run.StopRequest = false;
    ui.cmdTumbler[3]->click();
    EXPECT_EQ(tuple(Sent(), ctx.run.StopRequest), tuple(W{"\x1b"}, false));
    tp.port.replyDelay = 2;
    tp.clock.After(0.5, [&] { ui.cmdTumbler[3]->click(); });
    ui.cmdTumbler[2]->click();  // START, stopped while the tumbler answers
    QCoreApplication::processEvents();
    tp.port.replyDelay = 0.01;
    ctx.cmds->SD_Send(0, false);
    EXPECT_EQ(tuple(Sent(), ctx.run.StopRequest, ctx.link.ReplyText, ctx.link.CmdError),
              tuple(W{"t", "\x1b", "SD0"}, false, "SD0", false));
}

// The operator's initialization: STOP usable and said meanwhile; an old stop is cleared.
TEST_F(TumblerTest, OperatorsInitialization) {
    tp.port.replyDelay = 5;
    std::string said;
    bool stopUsable = false;
    unit.on["i"] = [&] { said = Status(), stopUsable = ui.cmdStop->isEnabled(); };
    ctx.run.StopRequest = true, ctx.instr.SDActual = 1;
    ctx.hold->Hold_Start();
    const double start = tp.clock.Absolute();
    tumbler.Tumbler_Init();
    EXPECT_EQ(tuple(Sent(), said, stopUsable, ctx.link.ReplyText),
              tuple(W{"i"}, "INITIALIZING TUMBLER", true, "** Tumbler Ready "));
    EXPECT_GE(tp.clock.Absolute() - start, 5.0);
    EXPECT_FALSE(ctx.run.StopRequest || ctx.run.Busy || ui.cmdStop->isEnabled());
    EXPECT_TRUE(ui.cmdStart->isEnabled() && ui.timSD->isActive() && tp.ended == 0);
    EXPECT_EQ(Status(), "INSTRUMENT IS READY");
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
    unit.overrides["\x13"] = "";
    ui.cmdService[1]->click();
    EXPECT_TRUE(tp.dialogs.boxes.size() == 1 && ctx.link.CmdFatal);
}

// Switching the demagnetizer by hand ends its hold count.
TEST_F(ServiceTest, HoldCountEndsByHand) {
    ctx.instr.SDActual = 1, ctx.hold->Hold_Start(), ui.lblSD->setText("212");
    ui.cmdSD[1]->click();
    EXPECT_TRUE(ctx.instr.SDActual == 1 && !ui.timSD->isActive() && ui.lblSD->text().isEmpty());
}

// The preset sends the fast rate and what differs, an old stop notwithstanding.
TEST_F(ServiceTest, PresetSendsFastRateAndOnlyWhatDiffers) {
    ctx.settings.DMGER = 3;
    unit.FD = 40;
    ctx.run.StopRequest = true;
    ui.cmdARMSet->click();
    EXPECT_EQ(Sent(), (W{"IP", "ER1", "FD050", "ER3"}));
    unit.silent = true;
    tp.dialogs.boxAnswers = {kCancel, kCancel};
    ui.cmdARMSet->click();
    EXPECT_EQ(Sent(), W{"IP"});
}

// While an operation runs the service buttons are off and clicks do nothing.
TEST_F(ServiceTest, RefusedWhileAnOperationRuns) {
    std::vector<bool> during;
    tp.clock.After(0.1, [&] {
        for (QPushButton* b : ctx.service->Buttons()) during.push_back(b->isEnabled());
        during.push_back(ui.cmdTumbler[3]->isEnabled());
        ui.cmdSD[1]->click();
        ctx.service->cmdSD_Click(1);
        ctx.service->cmdControl_Click(1);
    });
    unit.FD = 40;
    ui.cmdARMSet->click();
    EXPECT_EQ(Sent(), (W{"IP", "ER1", "FD050"}));
    std::vector<bool> expected(ctx.service->Buttons().size(), false);
    expected.push_back(true);
    EXPECT_EQ(during, expected);
    for (QPushButton* b : ctx.service->Buttons()) EXPECT_TRUE(b->isEnabled());
}
