// Magnetizing positions, the position and tumbler controls, and the bytes of
// the tumbler commands.
#include <gtest/gtest.h>

#include "operations/Tumbler.h"
#include "panel/Controls.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "support/TestProgram.h"

using namespace zavo;

namespace {

struct TumblerTest : ::testing::Test {
    TumblerTest() : ctx(tp.ctx()), ui(*ctx.ui), tumbler(*ctx.tumbler) {
        tp.port.responder = [this](const std::string& cmd) -> std::string {
            sentAt.push_back(tp.clock.Absolute());
            if (cmd == "i") return "** Tumbler Ready \r\n";
            if (cmd == "t") return "** Tumbler is running \r\n";
            if (cmd == "w") return "WP Test is ON \r\n";
            return cmd + "\r\n";
        };
        tp.port.Open(1);
        ctx.settings.ZAVMODE = 3;
        ctx.instr.TumblerConnected = 1;
        for (auto [box, text] : {std::pair{ui.txtACMax, "50"},
                                 {ui.txtACMin, "0"},
                                 {ui.txtDCField, "0"},
                                 {ui.txtRampTime, "5"},
                                 {ui.txtTOVField, "5"},
                                 {ui.txtTOVTime, "1"}})
            box->setText(text);
        ctx.options->Controls_Enable(true);
        ctx.enabling->Panels_Enable(true);
    }
    void UseTumbler(CheckBox* box) {
        box->setEnabled(true);
        box->SetValue(true);
    }

    test::TestProgram tp;
    Ctx& ctx;
    Controls& ui;
    Tumbler& tumbler;
    std::vector<double> sentAt;
};

TEST(MagPos, PositionTable) {
    EXPECT_EQ(MagPos(10, 3), 1);
    EXPECT_EQ(MagPos(12, 4), 0);
    EXPECT_EQ(MagPos(7, 18), 18);
    EXPECT_EQ(MagPos(0, 1), 0);
    EXPECT_EQ(MagPos(4, 9), 2);
    // Axes ignore the index; the user set is the index itself, unchecked.
    const Int16 axes[] = {0, 1, 3, 5, 2, 4, 6};
    for (Int16 m = 1; m <= 6; ++m) EXPECT_EQ(MagPos(m, 0), axes[m]) << m;
    EXPECT_EQ(MagPos(7, 25), 25);
    EXPECT_EQ(MagPos(8, 12), 18);
    EXPECT_EQ(MagPos(9, 6), 17);
    EXPECT_EQ(MagPos(10, 15), 16);
    EXPECT_EQ(MagPos(11, 6), 6);
    EXPECT_EQ(MagPos(12, 2), 3);
    // Outside a set or outside the modes: out of the coil.
    for (Int16 m = 8; m <= 12; ++m) {
        EXPECT_EQ(MagPos(m, 0), 0);
        EXPECT_EQ(MagPos(m, Int16(MagPos_Count(m) + 1)), 0);
    }
    EXPECT_EQ(MagPos(13, 1), 0);
    EXPECT_EQ(MagPos(-1, 1), 0);
}

TEST_F(TumblerTest, StepsWrapAroundTheSet) {
    ctx.pos = {9, 6, 6, 17, true, false};
    tumbler.MagPos_Next();
    EXPECT_EQ(ctx.pos.MIndex, 1);
    EXPECT_EQ(ctx.pos.MPos, 7);
    EXPECT_EQ(ui.lblMMode->text(), "B1");
    tumbler.cmdPrevPos_Click();
    EXPECT_EQ(ctx.pos.MIndex, 6);
    EXPECT_EQ(ctx.pos.MPos, 17);
    EXPECT_EQ(ui.lblMMode->text(), "B6");
    tumbler.cmdNextPos_Click();
    tumbler.cmdNextPos_Click();
    EXPECT_EQ(ui.lblMMode->text(), "B2");
    EXPECT_EQ(ctx.pos.MPos, 9);
    // A single axis keeps its label and position.
    ui.lblMMode->setText("-x");
    ctx.pos = {4, 1, 1, 2, true, false};
    tumbler.MagPos_Next();
    EXPECT_EQ(ui.lblMMode->text(), "-x");
    EXPECT_EQ(ctx.pos.MPos, 2);
}

TEST_F(TumblerTest, TumblerBoxSelectsUserModeAndBack) {
    ctx.settings.DMODE = 3;
    UseTumbler(ui.chkTumbler);
    EXPECT_TRUE(ctx.pos.TumblerUsed);
    EXPECT_TRUE(ui.chkTumblerT->isChecked());
    EXPECT_EQ(BackColor(ui.chkTumblerT), kCyan);
    EXPECT_EQ(ForeColor(ui.chkTumblerT), kBlue);
    EXPECT_TRUE(ui.optDMode[7]->isChecked());
    EXPECT_TRUE(ui.optDModeT[7]->isChecked());
    EXPECT_EQ(ctx.settings.DMODE, 7);
    EXPECT_TRUE(ui.optMMode[7]->isChecked());
    EXPECT_TRUE(ui.optMModeT[7]->isChecked());
    EXPECT_EQ(ctx.pos.MMode, 7);
    EXPECT_EQ(ctx.pos.MIndex, 1);
    EXPECT_EQ(ctx.pos.MIndexMax, 18);
    EXPECT_EQ(ctx.pos.MPos, 1);
    EXPECT_EQ(ui.lblMMode->text(), "U1");
    EXPECT_TRUE(ui.cmdInitTumbler->isEnabled());
    EXPECT_TRUE(ui.cmdNextPos->isEnabled());
    EXPECT_TRUE(ui.optMMode[12]->isEnabled());

    ui.chkAutoNextT->SetValue(true);
    EXPECT_TRUE(ctx.pos.AutoNext);
    EXPECT_TRUE(ui.chkAutoNext->isChecked());

    ui.chkTumblerT->SetValue(false);
    EXPECT_FALSE(ctx.pos.TumblerUsed);
    EXPECT_FALSE(ui.chkTumbler->isChecked());
    EXPECT_EQ(BackColor(ui.chkTumblerT), kButtonFace);
    EXPECT_TRUE(ui.optDMode[0]->isChecked());
    EXPECT_TRUE(ui.optMModeT[0]->isChecked());
    EXPECT_EQ(ctx.pos.MMode, 0);
    EXPECT_EQ(ctx.pos.MIndexMax, 0);
    EXPECT_EQ(ctx.pos.MPos, 0);
    EXPECT_EQ(ui.lblMMode->text(), "");
    EXPECT_FALSE(ui.cmdInitTumbler->isEnabled());
    EXPECT_FALSE(ui.optMMode[7]->isEnabled());
    EXPECT_FALSE(ctx.pos.AutoNext);
    EXPECT_FALSE(ui.chkAutoNext->isChecked());
    EXPECT_FALSE(ui.chkAutoNextT->isChecked());
}

TEST_F(TumblerTest, SingleAxisClearsAutoNextAndSetsFixPolarity) {
    UseTumbler(ui.chkTumbler);
    ui.chkAutoNext->SetValue(true);
    EXPECT_EQ(BackColor(ui.chkAutoNextT), kCyan);

    ui.optMMode[5]->SetValue(true);  // -y-axis
    EXPECT_TRUE(ui.optMModeT[5]->isChecked());
    EXPECT_EQ(ctx.pos.MMode, 5);
    EXPECT_EQ(ctx.pos.MIndexMax, 1);
    EXPECT_EQ(ctx.pos.MPos, 4);
    EXPECT_EQ(ui.lblMMode->text(), "-y");
    EXPECT_FALSE(ctx.pos.AutoNext);
    for (QWidget* w :
         {static_cast<QWidget*>(ui.chkAutoNext), static_cast<QWidget*>(ui.chkAutoNextT),
          static_cast<QWidget*>(ui.cmdPrevPos), static_cast<QWidget*>(ui.cmdNextPos)})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_FALSE(ui.chkAutoNext->isChecked());
    EXPECT_EQ(BackColor(ui.chkAutoNextT), kButtonFace);
    EXPECT_TRUE(ui.fraTOVDir->isEnabled());

    ctx.settings.TOVDIR = 2;
    ui.optTOVDir[2]->setChecked(true);
    ui.optMModeT[10]->SetValue(true);  // P-mode, from the tablet set
    EXPECT_TRUE(ui.optMMode[10]->isChecked());
    EXPECT_EQ(ui.lblMMode->text(), "P1");
    EXPECT_EQ(ctx.pos.MPos, 10);
    EXPECT_EQ(ctx.pos.MIndexMax, 15);
    EXPECT_EQ(ctx.settings.TOVDIR, 1);
    EXPECT_TRUE(ui.optTOVDir[1]->isChecked());
    EXPECT_TRUE(ui.optTOVDirT[1]->isChecked());
    EXPECT_TRUE(ui.cmdPrevPos->isEnabled());
    EXPECT_TRUE(ui.chkAutoNextT->isEnabled());
    // A position set fixes the polarity.
    EXPECT_FALSE(ui.fraTOVDir->isEnabled());
    EXPECT_FALSE(ui.optTOVDirT[2]->isEnabled());

    ctx.pos.MMode = 7;
    tumbler.TOVDir_Enable(true);
    EXPECT_TRUE(ui.optTOVDirT[2]->isEnabled());
    tumbler.TOVDir_Enable(false);
    EXPECT_FALSE(ui.optTOVDir[1]->isEnabled());
}

TEST_F(TumblerTest, LockedControlsIgnoreClicks) {
    UseTumbler(ui.chkTumbler);
    SetTag(ui.optMMode[9], "0");
    ui.optMMode[9]->SetValue(true);
    EXPECT_EQ(ctx.pos.MMode, 7);
    EXPECT_EQ(ui.lblMMode->text(), "U1");
    SetTag(ui.chkAutoNext, "0");
    ui.chkAutoNext->SetValue(true);
    EXPECT_FALSE(ctx.pos.AutoNext);
    SetTag(ui.chkTumbler, "0");
    ui.chkTumbler->SetValue(false);
    EXPECT_TRUE(ctx.pos.TumblerUsed);
}

TEST_F(TumblerTest, SetPosBytes) {
    tumbler.Tumbler_SetPos(0, false);
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"P00"}));
    tp.port.writes.clear();
    sentAt.clear();
    tumbler.Tumbler_SetPos(5, true);
    ASSERT_EQ(tp.port.writes, (std::vector<std::string>{"i", "P05"}));
    EXPECT_GE(sentAt[1] - sentAt[0], 0.2);
    tp.port.writes.clear();
    tumbler.Tumbler_SetPos(19, false);
    tumbler.Tumbler_SetPos(-1, false);
    EXPECT_TRUE(tp.port.writes.empty());
    // ABORT during the settle time: the tumbler stays where it is.
    tp.clock.After(0.1, [this] { ctx.run.StopRequest = true; });
    tumbler.Tumbler_SetPos(18, false);
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"i"}));
}

TEST_F(TumblerTest, InitAndStartBytes) {
    tumbler.TumblerInit_Send(false);
    tumbler.TumblerStart_Send(false);
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"i", "t"}));
    tp.port.writes.clear();
    ctx.run.StopRequest = true;
    ui.timSD->start(300000);
    ctx.instr.SDActual = 0;
    tumbler.Tumbler_Init();
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"i"}));
    EXPECT_FALSE(ctx.run.StopRequest);
    EXPECT_FALSE(ctx.run.Busy);
    EXPECT_FALSE(ui.cmdStop->isEnabled());
    EXPECT_FALSE(ui.timSD->isActive());
    EXPECT_TRUE(ui.cmdStart->isEnabled());
    EXPECT_EQ(tp.ended, 0);
}

TEST_F(TumblerTest, ServiceButtons) {
    const std::pair<QString, std::string> cases[] = {
        {"7", "P07"}, {" 12 ", "P12"}, {"123", "P123"}, {"0", "P00"}};
    for (const auto& [typed, sent] : cases) {
        tp.port.writes.clear();
        ui.txtTumbler->setText(typed);
        tumbler.cmdTumbler_Click(1);
        EXPECT_EQ(tp.port.writes, std::vector<std::string>{sent}) << typed.toStdString();
    }
    tp.port.writes.clear();
    ui.txtTumbler->setText("  ");
    tumbler.cmdTumbler_Click(1);
    EXPECT_TRUE(tp.port.writes.empty());
    ctx.run.StopRequest = true;
    tumbler.cmdTumbler_Click(0);
    tumbler.cmdTumbler_Click(2);
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"i", "t"}));
    EXPECT_FALSE(ctx.run.StopRequest);
    EXPECT_FALSE(ui.cmdStop->isEnabled());
}

TEST_F(TumblerTest, CheckWithoutTumbler) {
    UseTumbler(ui.chkTumbler);
    ctx.instr.TumblerConnected = 0;
    ctx.instr.WPState = 1;
    EXPECT_FALSE(tumbler.Tumbler_Check());
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    EXPECT_EQ(tp.dialogs.boxes[0].prompt, "TUMBLER IS NOT CONNECTED!");
    EXPECT_EQ(tp.dialogs.boxes[0].title, "Critical error");
    EXPECT_EQ(tp.dialogs.boxes[0].style, kOKOnly + kCritical);
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"w"}));
    EXPECT_FALSE(ctx.pos.TumblerUsed);
    for (CheckBox* c : {ui.chkTumbler, ui.chkTumblerT}) {
        EXPECT_FALSE(c->isChecked());
        EXPECT_FALSE(c->isEnabled());
    }

    // Tablet: the message stands in the status line for three seconds.
    ctx.settings.TOUCHMODE = true;
    ctx.instr.WPState = 0;
    tp.port.writes.clear();
    const double t0 = tp.clock.Absolute();
    EXPECT_FALSE(tumbler.Tumbler_Check());
    EXPECT_GE(tp.clock.Absolute() - t0, 3.0);
    EXPECT_EQ(tp.dialogs.boxes.size(), 1u);
    EXPECT_TRUE(tp.port.writes.empty());

    ctx.instr.TumblerConnected = 1;
    EXPECT_TRUE(tumbler.Tumbler_Check());
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"w"}));
}

}  // namespace
