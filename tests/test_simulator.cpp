// The simulated instrument: canned replies, and the transaction without a port.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/Simulator.h"
#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;

TEST(SimulatedReply, ChosenByCommandText) {
    struct Case {
        std::string cmd;
        std::string reply;
    } cases[] = {
        // The values given are never echoed.
        {"FD050", "** PRESET FIELD  10 mT"},
        {"FM100", "** PRESET FIELD  100 uT"},
        {"FX1", ""},
        // Chosen by the last character.
        {"M2", "TOV"},
        {"M3", ""},
        {"D2", "D-"},
        {"D3", ""},
        {"SM1", "SM1"},
        {"S", ""},
        {"y",
         "T: 3189mV   27 \xf8"
         "C"},
        {"\x1b", "** STOP "},
        {"IPX", ""},
        {std::string("\x14\x03"), ""},
        {std::string("\0u", 2), ""},
        {"", ""},
        {"fd010", ""},  // case-sensitive
    };
    for (const Case& c : cases) EXPECT_EQ(Simulated_Reply(c.cmd, 1, 1), c.reply) << c.cmd;
}

TEST(SimulatedReply, EtFollowsModeWordAndIpFollowsInstrumentMode) {
    EXPECT_EQ(Simulated_Reply("ET05", 1, 3), "ET 10 s");
    EXPECT_EQ(Simulated_Reply("ET07", 2, 1), "ET 1000 ms");
    for (Int16 mode : {0, 1, 2}) {
        const std::string ip = Simulated_Reply("IP", 1, mode);
        EXPECT_EQ(ip.rfind("Actual RAM Set:\r\nDMG\r\n", 0), 0u);
        EXPECT_EQ(std::count(ip.begin(), ip.end(), '\n'), 8);  // nine lines
        EXPECT_NE(ip.find("fg: 1045d 43.0 Hz\r\nSD0  SM0  H0"), std::string::npos);
    }
    const std::string tov = Simulated_Reply("IP", 2, 3);
    EXPECT_EQ(tov,
              "IPActual RAM Set:\r\nTOV\r\nTMB1 YUL1 WP1  B0\r\nFP 0 mT CP 0987\r\n"
              "D-  ET 5000 ms\r\nSM0");
}

class SimulatedLink : public ::testing::Test {
  protected:
    void SetUp() override {
        ctx.settings.SIMULMODE = true;
        ctx.settings.SERVMODE = true;
        ASSERT_TRUE(ctx.log->Open(tp.Dir() / "mon" / "today.mon"));
    }
    std::string LogBytes() {
        ctx.log->Close();
        std::ifstream in(tp.Dir() / "mon" / "today.mon", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    TestProgram tp;
    Ctx& ctx = tp.ctx();
};

TEST_F(SimulatedLink, TouchesNoPortAndLogsAnEmptyRecord) {
    ctx.cmd->Command_Execute("FD050", true, false);
    EXPECT_FALSE(ctx.link.CmdError);
    EXPECT_EQ(ctx.link.ReplyText, "** PRESET FIELD  10 mT");
    EXPECT_TRUE(ctx.cmd->Completed());
    EXPECT_TRUE(tp.port.writes.empty());
    EXPECT_FALSE(tp.port.IsOpen());
    EXPECT_EQ(ctx.ui->picStat[1]->Text(), "SETTING AC FIELD");
    EXPECT_EQ(ctx.ui->txtTerm->toPlainText(), "-> FD050\n\n");
    const std::string log = LogBytes();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.substr(log.size() - 3), " \r\n");  // time, blank, nothing
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
    EXPECT_TRUE(tp.dialogs.boxes.empty());
}

TEST_F(SimulatedLink, ConfirmedValuesAreTheCannedOnes) {
    ctx.settings.ZAVMODE = 3;
    ctx.instr.ModeWordWanted = 2;
    ctx.cmds->ET_Send(7, true);
    EXPECT_EQ(ctx.instr.ETActual, 10);
    ctx.cmds->FP_Send(15, true);
    EXPECT_EQ(ctx.instr.FPActual, 20);
    ctx.cmds->ModeWord_Send(2, true);
    EXPECT_EQ(ctx.instr.ModeWordActual, 2);
    float mv = 0;
    ctx.cmds->Temp_Read(true, mv);
    EXPECT_FLOAT_EQ(mv, 3189);
    EXPECT_FLOAT_EQ(ctx.instr.CoilTempC, 27);
    // "M3" is answered with nothing: the mode word stays.
    ctx.cmd->Command_Execute("M3", false, false);
    EXPECT_EQ(ctx.link.ReplyText, "");
    EXPECT_EQ(ctx.instr.ModeWordActual, 2);
    // Command_Send and Reply_Read do nothing at all.
    ctx.cmd->Command_Send("\x1b");
    double t = 0;
    EXPECT_EQ(ctx.cmd->Reply_Read(t), "");
    EXPECT_EQ(t, 3.0);
    EXPECT_TRUE(tp.port.writes.empty());
    EXPECT_FALSE(ctx.link.CmdFatal);
}

TEST_F(SimulatedLink, MultiLineReportHandedOverWhole) {
    ctx.settings.ZAVMODE = 2;
    ctx.cmd->Command_Execute("IP", false, false);
    EXPECT_EQ(ctx.link.ReplyText, Simulated_Reply("IP", 1, 2));
    EXPECT_FALSE(ctx.link.CmdError);
}
