// The simulated instrument: canned replies, and the transaction without a port.
#include <gtest/gtest.h>

#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/Simulator.h"
#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;
using namespace std::string_literals;

TEST(Simulator, CannedRepliesAndTheTransactionWithoutAPort) {
    EXPECT_EQ(Simulated_Reply("FM100", 1, 1), "** PRESET FIELD  100 uT");
    EXPECT_EQ(Simulated_Reply("M2", 1, 1) + Simulated_Reply("D2", 1, 1) +
                  Simulated_Reply("\x1b", 1, 1) + Simulated_Reply("SM1", 1, 1),
              "TOVD-** STOP SM1");
    for (const std::string& cmd : {"FX1"s, "M3"s, "D3"s, "S"s, "IPX"s, ""s, "fd010"s, "\0u"s})
        EXPECT_EQ(Simulated_Reply(cmd, 1, 1), "") << cmd;
    EXPECT_EQ(Simulated_Reply("ET05", 1, 3) + Simulated_Reply("ET07", 2, 1), "ET 10 sET 1000 ms");
    for (Int16 mode : {0, 1, 2}) {  // nine lines each
        const std::string ip = Simulated_Reply("IP", 1, mode);
        EXPECT_EQ(std::count(ip.begin(), ip.end(), '\n'), 8);
        EXPECT_TRUE(ip.starts_with("Actual RAM Set:\r\nDMG\r\n")) << ip;
        EXPECT_NE(ip.find("fg: 1045d 43.0 Hz\r\nSD0  SM0  H0"), std::string::npos);
    }
    TestProgram tp;
    Ctx& ctx = tp.ctx();
    ctx.settings.SIMULMODE = ctx.settings.SERVMODE = true;
    const auto file = tp.Dir() / "mon" / "today.mon";
    ASSERT_TRUE(ctx.log->Open(file));
    ctx.cmd->Command_Execute("FD050", true, false);
    EXPECT_EQ(ctx.link.ReplyText, "** PRESET FIELD  10 mT");  // the value asked for is not echoed
    EXPECT_EQ(ctx.ui->picStat[1]->Text(), "SETTING AC FIELD");
    EXPECT_EQ(ctx.ui->txtTerm->toPlainText(), "-> FD050\n\n");
    ctx.log->Close();
    const std::string log = ReadBytes(file);  // one record: time, blank, nothing
    EXPECT_TRUE(log.ends_with(" \r\n") && std::count(log.begin(), log.end(), '\n') == 1) << log;
    ctx.settings.ZAVMODE = 3;
    ctx.instr.ModeWordWanted = 2;
    ctx.cmds->ET_Send(7, true);
    ctx.cmds->FP_Send(15, true);
    float mv = 0;
    ctx.cmds->Temp_Read(true, mv);
    EXPECT_EQ(std::tuple(ctx.instr.ETActual, ctx.instr.FPActual, mv, ctx.instr.CoilTempC),
              std::tuple(Int16(10), Int16(20), 3189.f, 27.f));
    ctx.cmd->Command_Execute("IP", false, false);  // a multi-line report handed over whole
    EXPECT_EQ(ctx.link.ReplyText,
              "IPActual RAM Set:\r\nTOV\r\nTMB1 YUL1 WP1  B0\r\nFP 0 mT CP 0987\r\n"
              "D-  ET 5000 ms\r\nSM0");
    ctx.cmd->Command_Send("\x1b");
    double t = 0;
    EXPECT_EQ(ctx.cmd->Reply_Read(t), "");
    EXPECT_TRUE(tp.port.writes.empty() && !tp.port.IsOpen());
}
