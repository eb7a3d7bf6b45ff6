// Magnetizing positions, the position and tumbler controls, and the bytes of
// the tumbler commands.
#include <gtest/gtest.h>

#include "operations/Tumbler.h"
#include "panel/Controls.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "support/TestProgram.h"

using namespace zavo;
using std::tuple;
using W = std::vector<std::string>;

namespace {

struct TumblerTest : ::testing::Test {
    TumblerTest() : ctx(tp.ctx()), ui(*ctx.ui), tumbler(*ctx.tumbler) {
        tp.port.responder = [this](const std::string& cmd) -> std::string {
            sentAt.push_back(tp.clock.Absolute());
            if (cmd == "i") return "** Tumbler Ready \r\n";
            if (cmd == "t") return "** Tumbler is running \r\n";
            return cmd == "w" ? "WP Test is ON \r\n" : cmd + "\r\n";
        };
        tp.port.Open(1);
        ctx.settings.ZAVMODE = 3;
        ctx.instr.TumblerConnected = 1;
        const std::pair<TextBox*, const char*> boxes[] = {
            // valid: no message but the tumbler's
            {ui.txtACMax, "50"},   {ui.txtACMin, "0"},    {ui.txtDCField, "0"},
            {ui.txtRampTime, "5"}, {ui.txtTOVField, "5"}, {ui.txtTOVTime, "1"}};
        for (auto [box, text] : boxes) box->setText(text);
        ctx.options->Controls_Enable(true);
        ctx.enabling->Panels_Enable(true);
    }
    void UseTumbler() {
        ui.chkTumbler->setEnabled(true);
        ui.chkTumbler->SetValue(true);
    }
    // The bytes written since the last call.
    W Sent() { return std::exchange(tp.port.writes, {}); }
    auto Pos() const {
        return tuple(ctx.pos.MMode, ctx.pos.MIndex, ctx.pos.MIndexMax, ctx.pos.MPos,
                     ui.lblMMode->text().toStdString());
    }

    test::TestProgram tp;
    Ctx& ctx;
    Controls& ui;
    Tumbler& tumbler;
    std::vector<double> sentAt;
};

// Axes ignore the index, the user set is the index itself unchecked; outside a
// set or outside the modes is out of the coil.
TEST(MagPos, PositionTable) {
    const int cases[][3] = {{10, 3, 1}, {12, 4, 0},  {7, 18, 18}, {0, 1, 0},  {4, 9, 2},
                            {1, 0, 1},  {2, 0, 3},   {3, 0, 5},   {4, 0, 2},  {5, 0, 4},
                            {6, 0, 6},  {7, 25, 25}, {8, 12, 18}, {9, 6, 17}, {10, 15, 16},
                            {11, 6, 6}, {12, 2, 3},  {13, 1, 0},  {-1, 1, 0}};
    for (auto [m, i, pos] : cases) EXPECT_EQ(MagPos(Int16(m), Int16(i)), pos) << m << "/" << i;
    for (Int16 m = 8; m <= 12; ++m)
        EXPECT_EQ(MagPos(m, 0) + MagPos(m, Int16(MagPos_Count(m) + 1)), 0) << m;
}

TEST_F(TumblerTest, StepsWrapAroundTheSet) {
    ctx.pos = {9, 6, 6, 17, true, false};
    tumbler.MagPos_Next();
    EXPECT_EQ(Pos(), tuple(9, 1, 6, 7, "B1"));
    tumbler.cmdPrevPos_Click();
    EXPECT_EQ(Pos(), tuple(9, 6, 6, 17, "B6"));
    tumbler.cmdNextPos_Click();
    tumbler.cmdNextPos_Click();
    EXPECT_EQ(Pos(), tuple(9, 2, 6, 9, "B2"));
    ui.lblMMode->setText("-x");  // a single axis keeps its label and position
    ctx.pos = {4, 1, 1, 2, true, false};
    tumbler.MagPos_Next();
    EXPECT_EQ(Pos(), tuple(4, 1, 1, 2, "-x"));
}

TEST_F(TumblerTest, TumblerBoxSelectsUserModeAndBack) {
    ctx.settings.DMODE = 3;
    UseTumbler();
    EXPECT_TRUE(ctx.pos.TumblerUsed && ui.chkTumblerT->isChecked() && ctx.settings.DMODE == 7);
    EXPECT_EQ(BackColor(ui.chkTumblerT), kCyan);
    EXPECT_TRUE(ui.optDModeT[7]->isChecked() && ui.optMModeT[7]->isChecked());
    EXPECT_EQ(Pos(), tuple(7, 1, 18, 1, "U1"));
    EXPECT_TRUE(ui.cmdInitTumbler->isEnabled() && ui.cmdNextPos->isEnabled() &&
                ui.optMMode[12]->isEnabled());
    ui.chkAutoNextT->SetValue(true);
    EXPECT_TRUE(ctx.pos.AutoNext && ui.chkAutoNext->isChecked());
    ui.chkTumblerT->SetValue(false);
    EXPECT_FALSE(ctx.pos.TumblerUsed || ui.chkTumbler->isChecked());
    EXPECT_EQ(BackColor(ui.chkTumblerT), kButtonFace);
    EXPECT_TRUE(ui.optDMode[0]->isChecked() && ui.optMModeT[0]->isChecked());
    EXPECT_EQ(Pos(), tuple(0, ctx.pos.MIndex, 0, 0, ""));
    EXPECT_FALSE(ui.cmdInitTumbler->isEnabled() || ui.optMMode[7]->isEnabled());
    EXPECT_FALSE(ctx.pos.AutoNext || ui.chkAutoNext->isChecked() || ui.chkAutoNextT->isChecked());
}

// A single axis clears the automatic step; a position set fixes the polarity.
TEST_F(TumblerTest, SingleAxisClearsAutoNextAndSetsFixPolarity) {
    UseTumbler();
    ui.chkAutoNext->SetValue(true);
    ui.optMMode[5]->SetValue(true);  // -y-axis
    EXPECT_TRUE(ui.optMModeT[5]->isChecked());
    EXPECT_EQ(Pos(), tuple(5, ctx.pos.MIndex, 1, 4, "-y"));
    EXPECT_FALSE(ctx.pos.AutoNext || ui.chkAutoNext->isChecked());
    EXPECT_FALSE(ui.chkAutoNext->isEnabled() || ui.chkAutoNextT->isEnabled() ||
                 ui.cmdPrevPos->isEnabled() || ui.cmdNextPos->isEnabled());
    EXPECT_TRUE(ui.fraTOVDir->isEnabled());
    ctx.settings.TOVDIR = 2;
    ui.optTOVDir[2]->setChecked(true);
    ui.optMModeT[10]->SetValue(true);  // P-mode, from the tablet set
    EXPECT_TRUE(ui.optMMode[10]->isChecked() && ctx.settings.TOVDIR == 1);
    EXPECT_EQ(Pos(), tuple(10, 1, 15, 10, "P1"));
    EXPECT_TRUE(ui.optTOVDir[1]->isChecked() && ui.optTOVDirT[1]->isChecked());
    EXPECT_TRUE(ui.cmdPrevPos->isEnabled() && ui.chkAutoNextT->isEnabled());
    EXPECT_FALSE(ui.fraTOVDir->isEnabled() || ui.optTOVDirT[2]->isEnabled());
    ctx.pos.MMode = 7;
    tumbler.TOVDir_Enable(true);
    EXPECT_TRUE(ui.optTOVDirT[2]->isEnabled());
}

TEST_F(TumblerTest, LockedControlsIgnoreClicks) {
    UseTumbler();
    for (QWidget* w :
         std::initializer_list<QWidget*>{ui.optMMode[9], ui.chkAutoNext, ui.chkTumbler})
        SetTag(w, "0");
    ui.optMMode[9]->SetValue(true);
    ui.chkAutoNext->SetValue(true);
    ui.chkTumbler->SetValue(false);
    EXPECT_EQ(Pos(), tuple(7, 1, 18, 1, "U1"));
    EXPECT_TRUE(ctx.pos.TumblerUsed && !ctx.pos.AutoNext);
}

TEST_F(TumblerTest, CommandBytes) {
    tumbler.Tumbler_SetPos(0, false);
    EXPECT_EQ(Sent(), W{"P00"});
    sentAt.clear();
    tumbler.Tumbler_SetPos(5, true);
    EXPECT_EQ(Sent(), (W{"i", "P05"}));
    EXPECT_GE(sentAt.at(1) - sentAt.at(0), 0.2);
    tumbler.Tumbler_SetPos(19, false);
    tumbler.Tumbler_SetPos(-1, false);
    EXPECT_EQ(Sent(), W{});
    tp.clock.After(0.1, [this] { ctx.run.StopRequest = true; });  // ABORT while settling
    tumbler.Tumbler_SetPos(18, false);
    EXPECT_EQ(Sent(), W{"i"});
    ctx.run.StopRequest = false;
    tumbler.TumblerInit_Send(false);
    tumbler.TumblerStart_Send(false);
    EXPECT_EQ(Sent(), (W{"i", "t"}));
    for (auto [typed, sent] : {tuple{"7", "P07"}, {" 12 ", "P12"}, {"123", "P123"}, {"  ", ""}}) {
        ui.txtTumbler->setText(typed);
        tumbler.cmdTumbler_Click(1);
        EXPECT_EQ(Sent(), *sent ? W{sent} : W{}) << typed;
    }
    // Initializing (also from the service buttons) clears a stop, panel ready.
    ctx.run.StopRequest = true;
    ui.timSD->start(300000);
    ctx.instr.SDActual = 0;
    tumbler.Tumbler_Init();
    EXPECT_EQ(Sent(), W{"i"});
    EXPECT_FALSE(ctx.run.StopRequest || ctx.run.Busy || ui.cmdStop->isEnabled() ||
                 ui.timSD->isActive());
    EXPECT_TRUE(ui.cmdStart->isEnabled());
    EXPECT_EQ(tp.ended, 0);
    ctx.run.StopRequest = true;
    tumbler.cmdTumbler_Click(0);
    tumbler.cmdTumbler_Click(2);
    EXPECT_EQ(Sent(), (W{"i", "t"}));
    EXPECT_FALSE(ctx.run.StopRequest || ui.cmdStop->isEnabled());
}

// Without a tumbler: a critical message on the desktop, three seconds in the
// status line on the tablet.
TEST_F(TumblerTest, CheckWithoutTumbler) {
    UseTumbler();
    ctx.instr.TumblerConnected = 0;
    ctx.instr.WPState = 1;
    EXPECT_FALSE(tumbler.Tumbler_Check());
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    const auto& box = tp.dialogs.boxes[0];
    EXPECT_EQ(tuple(box.prompt, box.title, box.style),
              tuple("TUMBLER IS NOT CONNECTED!", "Critical error", kOKOnly + kCritical));
    EXPECT_EQ(Sent(), W{"w"});
    EXPECT_FALSE(ctx.pos.TumblerUsed || ui.chkTumbler->isChecked() || ui.chkTumbler->isEnabled() ||
                 ui.chkTumblerT->isChecked() || ui.chkTumblerT->isEnabled());
    ctx.settings.TOUCHMODE = true;
    ctx.instr.WPState = 0;
    const double t0 = tp.clock.Absolute();
    EXPECT_FALSE(tumbler.Tumbler_Check());
    EXPECT_GE(tp.clock.Absolute() - t0, 3.0);
    EXPECT_EQ(tuple(tp.dialogs.boxes.size(), Sent()), tuple(1u, W{}));
    ctx.instr.TumblerConnected = 1;
    EXPECT_TRUE(tumbler.Tumbler_Check());
    EXPECT_EQ(Sent(), W{"w"});
}

}  // namespace
