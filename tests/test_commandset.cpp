// The command encoders: the bytes each writes and the value each keeps.
#include <gtest/gtest.h>

#include <map>

#include "core/Widgets.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;

namespace {

class Encoders : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tp.port.Open(1));
        tp.port.responder = [this](const std::string& cmd) {
            auto it = replies.find(cmd);
            return it == replies.end() ? std::string() : it->second + "\r\n";
        };
    }
    std::string Last() const { return tp.port.writes.empty() ? "" : tp.port.writes.back(); }
    TestProgram tp;
    Ctx& ctx = tp.ctx();
    std::map<std::string, std::string> replies;
};

}  // namespace

TEST_F(Encoders, FieldCommandsArePaddedAndConfirmedValuesKept) {
    replies = {{"FD007", "** PRESET FIELD  7 mT"},
               {"FD045", "** PRESET FIELD  45 mT"},
               {"FD150", "** PRESET FIELD  150 mT"},
               {"A010", "AC-DC OFF  10 mT"},
               {"FM100", "** PRESET FIELD  100 uT"},
               {"FP020", "** PRESET FIELD  20 mT"},
               {"ES3", "ES 3"},
               {"ER1", "ER 1"}};
    ctx.cmds->FD_Send(7, true);
    EXPECT_EQ(Last(), "FD007");
    EXPECT_EQ(ctx.instr.FDActual, 7);
    ctx.cmds->FD_Send(45, true);
    EXPECT_EQ(Last(), "FD045");
    ctx.cmds->FD_Send(150, true);
    EXPECT_EQ(Last(), "FD150");
    EXPECT_EQ(ctx.instr.FDActual, 150);
    EXPECT_EQ(ctx.link.CmdText, "FD150");
    ctx.cmds->FA_Send(10, true);
    EXPECT_EQ(Last(), "A010");
    EXPECT_EQ(ctx.instr.FAActual, 10);
    ctx.cmds->FM_Send(100, true);
    EXPECT_EQ(Last(), "FM100");
    EXPECT_EQ(ctx.instr.FMActual, 100);
    ctx.cmds->FP_Send(20, true);
    EXPECT_EQ(Last(), "FP020");
    EXPECT_EQ(ctx.instr.FPActual, 20);
    ctx.cmds->ES_Send(3, true);
    EXPECT_EQ(Last(), "ES3");
    EXPECT_EQ(ctx.instr.ESActual, 3);
    ctx.cmds->ER_Send(1, true);
    EXPECT_EQ(Last(), "ER1");
    EXPECT_EQ(ctx.instr.ERActual, 1);
    EXPECT_FALSE(ctx.link.CmdError);
}

TEST_F(Encoders, RampTimeDependsOnInstrumentMode) {
    replies = {{"ET05", "ET 10 s"}, {"ET12", "ET 1000 ms"}};
    ctx.settings.ZAVMODE = 1;
    ctx.cmds->ET_Send(5, true);
    EXPECT_EQ(Last(), "ET05");
    EXPECT_EQ(ctx.instr.ETActual, 10);
    ctx.settings.ZAVMODE = 3;
    ctx.cmds->ET_Send(12, true);
    EXPECT_EQ(Last(), "ET12");
    EXPECT_EQ(ctx.instr.ETActual, 10);  // 1000 ms in tenths of a second
    ctx.settings.ZAVMODE = 0;
    ctx.cmds->ET_Send(12, true);
    EXPECT_EQ(ctx.instr.ETActual, 0);
}

TEST_F(Encoders, SwitchesDirectionAndModeWord) {
    replies = {{"SD1", "SD1"}, {"SM1", "SM1"}, {"H1", "H1"}, {"D1", "D+"},
               {"D2", "D-"},   {"M1", "DMG"},  {"M2", "TOV"}};
    ctx.cmds->SD_Send(1, false);
    ctx.cmds->SM_Send(1, false);
    ctx.cmds->H_Send(1, false);
    EXPECT_EQ(ctx.instr.SDActual, 1);
    EXPECT_EQ(ctx.instr.SMActual, 1);
    EXPECT_EQ(ctx.instr.HActual, 1);
    ctx.cmds->D_Send(2, true);
    EXPECT_EQ(Last(), "D2");
    EXPECT_EQ(ctx.settings.TOVDIR, 2);
    ctx.cmds->D_Send(1, true);
    EXPECT_EQ(ctx.settings.TOVDIR, 1);
    replies["D2"] = "D?";
    ctx.cmds->D_Send(2, true);
    EXPECT_EQ(ctx.settings.TOVDIR, 1);  // an answer without a sign keeps it

    ctx.instr.HActual = ctx.instr.SMActual = ctx.instr.SDActual = 0;
    ctx.cmds->ModeWord_Send(1, true);
    EXPECT_EQ(Last(), "M1");
    EXPECT_EQ(ctx.instr.ModeWordActual, 1);
    replies["M2"] = "XYZ";
    ctx.cmds->ModeWord_Send(2, true);
    EXPECT_EQ(ctx.instr.ModeWordActual, 1);
}

TEST_F(Encoders, ModeWordSwitchesLiveStagesOffFirst) {
    replies = {{"H0", "H0"}, {"SD0", "SD0"}, {"SM0", "SM0"}, {"M2", "TOV"}};
    ctx.instr.HActual = 1;
    ctx.instr.SDActual = 1;
    ctx.cmds->ModeWord_Send(2, true);
    ASSERT_EQ(tp.port.writes, (std::vector<std::string>{"H0", "SD0", "M2"}));
    EXPECT_EQ(ctx.instr.HActual, 0);
    EXPECT_EQ(ctx.instr.SDActual, 0);
    EXPECT_EQ(ctx.instr.ModeWordActual, 2);
    // 0.2 s after each switch-off (plus the reply and the input flush).
    EXPECT_GE(tp.port.writeTimes[1] - tp.port.writeTimes[0], 0.2 + 0.01);
    EXPECT_GE(tp.port.writeTimes[2] - tp.port.writeTimes[1], 0.2 + 0.01);
    EXPECT_LT(tp.port.writeTimes[2] - tp.port.writeTimes[1], 0.5);
}

TEST_F(Encoders, ModeWordNotSentWhenASwitchOffFails) {
    replies = {{"H0", "## DMG PWR is OFF "}, {"M2", "TOV"}};
    ctx.instr.HActual = 1;
    ctx.cmds->ModeWord_Send(2, true);
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"H0"}));
    EXPECT_TRUE(ctx.link.CmdError);
    EXPECT_EQ(ctx.instr.HActual, 1);
    EXPECT_EQ(ctx.instr.ModeWordActual, 0);
}

TEST_F(Encoders, ErrorStoresNothing) {
    replies = {{"FD050", "## Illegal Parameter "}};
    ctx.instr.FDActual = 33;
    ctx.cmds->FD_Send(50, true);
    EXPECT_TRUE(ctx.link.CmdError);
    EXPECT_TRUE(ctx.link.CmdFatal);
    EXPECT_EQ(ctx.instr.FDActual, 33);
}

TEST_F(Encoders, StopWithoutReplyStoresNothing) {
    ctx.instr.SDActual = 1;
    ctx.instr.FDActual = 33;
    tp.clock.After(0.3, [this] { ctx.run.StopRequest = true; });
    ctx.cmds->SD_Send(0, false);  // no reply comes
    EXPECT_FALSE(ctx.link.CmdError);
    EXPECT_EQ(ctx.instr.SDActual, 1);
    ctx.cmds->FD_Send(10, false);
    EXPECT_EQ(ctx.instr.FDActual, 33);
}

TEST_F(Encoders, ValuesThatDoNotFitAreRefusedUnwritten) {
    ctx.instr.FDActual = 5;
    struct Bad {
        void (CommandSet::*send)(Int16, bool);
        Int16 value;
    } bad[] = {
        {&CommandSet::FD_Send, 1000}, {&CommandSet::FD_Send, -1},     {&CommandSet::FA_Send, 1234},
        {&CommandSet::FM_Send, -20},  {&CommandSet::FP_Send, 9999},   {&CommandSet::ET_Send, 100},
        {&CommandSet::ET_Send, -5},   {&CommandSet::ES_Send, 10},     {&CommandSet::ER_Send, -1},
        {&CommandSet::D_Send, 12},    {&CommandSet::SD_Send, 2},      {&CommandSet::SM_Send, -1},
        {&CommandSet::H_Send, 7},     {&CommandSet::ModeWord_Send, 3}};
    for (const Bad& b : bad) {
        ctx.link.CmdError = false;
        (ctx.cmds->*b.send)(b.value, true);
        EXPECT_TRUE(ctx.link.CmdError) << b.value;
    }
    EXPECT_TRUE(tp.port.writes.empty());
    EXPECT_EQ(ctx.instr.FDActual, 5);
    EXPECT_FALSE(ctx.link.CmdFatal);
    EXPECT_TRUE(tp.dialogs.boxes.empty());
    EXPECT_TRUE(ctx.ui->picStat[1]->Text().startsWith("## VALUE OUT OF RANGE"));
    EXPECT_EQ(Command_Field("FD", 999, 3), "FD999");
    EXPECT_EQ(Command_Field("ET", 0, 2), "ET00");
}

TEST_F(Encoders, WpToggleColoursItsButton) {
    replies = {{"w", "WP Test is ON "}};
    ctx.cmds->WPToggle_Send();
    EXPECT_EQ(ctx.instr.WPState, 1);
    EXPECT_EQ(BackColor(ctx.ui->cmdControl[0]), kLightGreen);
    replies["w"] = "WP Test is OFF ";
    ctx.cmds->WPToggle_Send();
    EXPECT_EQ(ctx.instr.WPState, 0);
    EXPECT_EQ(BackColor(ctx.ui->cmdControl[0]), kLightRed);
    replies["w"] = "something else";
    ctx.cmds->WPToggle_Send();
    EXPECT_EQ(ctx.instr.WPState, 0);
    EXPECT_EQ(BackColor(ctx.ui->cmdControl[0]), kLightRed);
}

TEST_F(Encoders, TemperatureAndStatusRead) {
    replies = {{"y",
                "T: 3189mV   27 \xf8"
                "C"},
               {"j", "D: 0D\x1a 0mV"}};
    float mv = -1;
    ctx.cmds->Temp_Read(true, mv);
    EXPECT_EQ(Last(), "y");
    EXPECT_FLOAT_EQ(mv, 3189);
    EXPECT_FLOAT_EQ(ctx.instr.CoilTempMV, 3189);
    EXPECT_FLOAT_EQ(ctx.instr.CoilTempC, 27);
    ctx.cmds->J_Send(false);
    EXPECT_EQ(Last(), "j");
    EXPECT_EQ(ctx.link.ReplyText, "D: 0D\x1a 0mV");
    // After an error the reading is 0 and the stored values stay.
    replies["y"] = "## Unknown Cmd. ";
    ctx.cmds->Temp_Read(true, mv);
    EXPECT_FLOAT_EQ(mv, 0);
    EXPECT_FLOAT_EQ(ctx.instr.CoilTempMV, 3189);
}
