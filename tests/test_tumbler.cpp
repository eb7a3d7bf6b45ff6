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
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    Tumbler& tumbler = *ctx.tumbler;

    void SetUp() override {
        tp.port.responder = [](const std::string& cmd) { return cmd + "\r\n"; };
        tp.port.Open(1);
        ctx.settings.ZAVMODE = 3, ctx.instr.TumblerConnected = 1;
        ui.txtTOVField->setText("5"), ui.txtTOVTime->setText("1");  // no message but the tumbler's
        ctx.enabling->Panels_Enable(true);
    }
    void UseTumbler() { ui.chkTumbler->setEnabled(true), ui.chkTumbler->SetValue(true); }
    W Sent() { return std::exchange(tp.port.writes, {}); }
    auto Pos() const {
        return tuple(ctx.pos.MMode, ctx.pos.MIndex, ctx.pos.MIndexMax, ctx.pos.MPos,
                     ui.lblMMode->text().toStdString());
    }
};

// Axes ignore the index, the user set is the index unchecked; outside a set or the modes: 0.
TEST(MagPos, PositionTable) {
    const int cases[][3] = {{10, 3, 1}, {0, 1, 0},    {1, 0, 1},  {2, 0, 3},   {3, 0, 5},
                            {4, 9, 2},  {5, 0, 4},    {6, 0, 6},  {7, 25, 25}, {8, 12, 18},
                            {9, 6, 17}, {10, 15, 16}, {11, 6, 6}, {12, 2, 3},  {13, 1, 0}};
    for (auto [m, i, pos] : cases) EXPECT_EQ(MagPos(Int16(m), Int16(i)), pos) << m << "/" << i;
    for (Int16 m = 8; m <= 12; ++m)
        EXPECT_EQ(MagPos(m, 0) + MagPos(m, Int16(MagPos_Count(m) + 1)), 0) << m;
}

// The tumbler box selects the user set; locked controls ignore clicks; a single axis clears the
// automatic step, a set fixes the polarity and steps round; without the tumbler all goes back.
TEST_F(TumblerTest, TumblerBoxAndPositionModes) {
    ctx.settings.DMODE = 3;
    UseTumbler();
    EXPECT_EQ(Pos(), tuple(7, 1, 18, 1, "U1"));
    EXPECT_TRUE(ctx.pos.TumblerUsed && ui.chkTumblerT->isChecked() && ctx.settings.DMODE == 7 &&
                BackColor(ui.chkTumblerT) == kCyan && ui.optDModeT[7]->isChecked() &&
                ui.optMModeT[7]->isChecked() && ui.cmdInitTumbler->isEnabled() &&
                ui.cmdNextPos->isEnabled() && ui.optMMode[12]->isEnabled());
    ctx.options->Controls_Enable(false);
    ui.optMMode[9]->SetValue(true);
    ui.chkAutoNextT->SetValue(true);
    ui.chkTumbler->SetValue(false);
    EXPECT_EQ(Pos(), tuple(7, 1, 18, 1, "U1"));
    EXPECT_TRUE(ctx.pos.TumblerUsed && !ctx.pos.AutoNext);
    ctx.options->Controls_Enable(true);
    ui.chkAutoNext->SetValue(true);
    EXPECT_TRUE(ctx.pos.AutoNext && ui.chkAutoNextT->isChecked());
    ui.optMMode[5]->SetValue(true);  // -y-axis
    EXPECT_TRUE(ui.optMModeT[5]->isChecked() && ui.fraTOVDir->isEnabled());
    tumbler.MagPos_Next();  // a single axis keeps its label and position
    EXPECT_EQ(Pos(), tuple(5, 1, 1, 4, "-y"));
    EXPECT_FALSE(ctx.pos.AutoNext || ui.chkAutoNext->isChecked() || ui.chkAutoNext->isEnabled() ||
                 ui.chkAutoNextT->isEnabled() || ui.cmdPrevPos->isEnabled() ||
                 ui.cmdNextPos->isEnabled());
    ctx.settings.TOVDIR = 2, ui.optTOVDir[2]->setChecked(true);
    ui.optMModeT[10]->SetValue(true);  // P-mode, from the tablet set
    EXPECT_EQ(Pos(), tuple(10, 1, 15, 10, "P1"));
    EXPECT_TRUE(ui.optMMode[10]->isChecked() && ctx.settings.TOVDIR == 1 &&
                ui.optTOVDir[1]->isChecked() && ui.optTOVDirT[1]->isChecked() &&
                ui.cmdPrevPos->isEnabled() && ui.chkAutoNextT->isEnabled());
    EXPECT_FALSE(ui.fraTOVDir->isEnabled() || ui.optTOVDirT[2]->isEnabled());
    ui.cmdPrevPos->click();
    EXPECT_EQ(Pos(), tuple(10, 15, 15, 16, "P15"));
    for (int k = 0; k < 2; ++k) ui.cmdNextPos->click();
    EXPECT_EQ(Pos(), tuple(10, 2, 15, 7, "P2"));
    ui.optMMode[7]->SetValue(true);  // the user set leaves the polarity free
    EXPECT_TRUE(ui.optTOVDirT[2]->isEnabled());
    ui.chkAutoNextT->SetValue(true);
    EXPECT_TRUE(ctx.pos.AutoNext && ui.chkAutoNext->isChecked());
    ui.chkTumblerT->SetValue(false);
    EXPECT_EQ(Pos(), tuple(0, 0, 0, 0, ""));
    EXPECT_TRUE(BackColor(ui.chkTumblerT) == kButtonFace && ui.optDMode[0]->isChecked() &&
                ui.optMModeT[0]->isChecked());
    EXPECT_FALSE(ctx.pos.TumblerUsed || ui.chkTumbler->isChecked() || ctx.pos.AutoNext ||
                 ui.chkAutoNext->isChecked() || ui.chkAutoNextT->isChecked() ||
                 ui.cmdInitTumbler->isEnabled() || ui.optMMode[7]->isEnabled());
}

TEST_F(TumblerTest, CommandBytesAndCheck) {
    tumbler.Tumbler_SetPos(0, false);
    tumbler.Tumbler_SetPos(5, true);
    ASSERT_EQ(Sent(), (W{"P00", "i", "P05"}));
    EXPECT_GE(tp.port.writeTimes.back() - tp.port.writeTimes.end()[-2], 0.2);
    for (Int16 pos : {19, -1}) tumbler.Tumbler_SetPos(pos, false);
    tp.clock.After(0.1, [this] { ctx.run.StopRequest = true; });  // ABORT while settling
    tumbler.Tumbler_SetPos(18, false);
    ctx.run.StopRequest = false;
    tumbler.TumblerStart_Send(false);
    EXPECT_EQ(Sent(), (W{"i", "t"}));
    const tuple<int, const char*, const char*> buttons[] = {{1, "7", "P07"},    {1, " 12 ", "P12"},
                                                            {1, "123", "P123"}, {1, "  ", ""},
                                                            {0, "", "i"},       {2, "", "t"}};
    for (auto [index, typed, sent] : buttons) {
        ui.txtTumbler->setText(typed);
        ctx.run.StopRequest = true;
        tumbler.cmdTumbler_Click(index);
        EXPECT_EQ(tuple(Sent(), ctx.run.StopRequest, ui.cmdStop->isEnabled()),
                  tuple(*sent ? W{sent} : W{}, !*sent, false))
            << typed;
    }
    ctx.run.StopRequest = true, ctx.instr.SDActual = 0;
    ui.timSD->start(300000);
    tumbler.Tumbler_Init();
    EXPECT_EQ(Sent(), W{"i"});
    EXPECT_FALSE(ctx.run.StopRequest || ctx.run.Busy || ui.cmdStop->isEnabled() ||
                 ui.timSD->isActive());
    EXPECT_TRUE(ui.cmdStart->isEnabled() && tp.ended == 0);
    // Without a tumbler: a critical message on the desktop, 3 s in the status line on the tablet.
    UseTumbler();
    ctx.instr.TumblerConnected = 0, ctx.instr.WPState = 1;
    EXPECT_FALSE(tumbler.Tumbler_Check());
    ASSERT_EQ(tuple(tp.dialogs.boxes.size(), Sent()), tuple(1u, W{"w"}));
    const auto& box = tp.dialogs.boxes[0];
    EXPECT_EQ(tuple(box.prompt, box.title, box.style),
              tuple("TUMBLER IS NOT CONNECTED!", "Critical error", kOKOnly + kCritical));
    EXPECT_FALSE(ctx.pos.TumblerUsed || ui.chkTumbler->isChecked() || ui.chkTumbler->isEnabled() ||
                 ui.chkTumblerT->isChecked() || ui.chkTumblerT->isEnabled());
    ctx.settings.TOUCHMODE = true, ctx.instr.WPState = 0;
    const double t0 = tp.clock.Absolute();
    EXPECT_FALSE(tumbler.Tumbler_Check());
    EXPECT_GE(tp.clock.Absolute() - t0, 3.0);
    EXPECT_EQ(tuple(tp.dialogs.boxes.size(), Sent()), tuple(1u, W{}));
    ctx.instr.TumblerConnected = 1;
    EXPECT_TRUE(tumbler.Tumbler_Check() && Sent() == W{"w"});
}

}  // namespace
