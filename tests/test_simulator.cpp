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

// Every row of the canned replies, with the mode word and instrument mode they depend on.
TEST(Simulator, CannedReplyOfEveryCommand) {
    const std::string dmgReport =
        "Actual RAM Set:\r\nDMG\r\nTMB1 YUL1 WP1 REG1 B0\r\nFD 0 mT CD 1036  SC 622 cm2\r\n"
        "FA 0 mT\r\nFM 0 uT CM 0980\r\nER 3  ES 2  ET 5 s\r\nfg: 1045d 43.0 Hz\r\nSD0  SM0  H0";
    struct Row {
        std::string cmd;
        Int16 modeWord, zavMode;
        std::string reply;
    };
    // clang-format off
    const Row rows[] = {
        {"\x10",  1, 1, "** ZAVO-A  03-Jul-2013  c22365"},
        {"FD050", 1, 1, "** PRESET FIELD  10 mT"},  // the value asked for is not echoed
        {"FM100", 1, 1, "** PRESET FIELD  100 uT"},
        {"FP015", 2, 3, "** PRESET FIELD  20 mT"},
        {"A040",  1, 2, "AC-DC OFF  10 mT"},
        {"M1",    1, 1, "DMG"},
        {"M2",    1, 1, "TOV"},
        {"SD0",   1, 1, "SD0"}, {"SD1", 1, 1, "SD1"}, {"SM0", 1, 1, "SM0"}, {"SM1", 1, 1, "SM1"},
        {"H0",    1, 1, "H0"},  {"H1",  1, 1, "H1"},
        {"ES1",   1, 1, "ES 2"},
        {"ER1",   1, 1, "ER 3"},
        {"ET05",  1, 3, "ET 10 s"},
        {"ET07",  2, 1, "ET 1000 ms"},
        {"D1",    2, 3, "D+"},
        {"D2",    2, 3, "D-"},
        {"G",     1, 1, ""},
        {"J",     1, 1, "D: 0D\x1a 0mV 0.00A  T: 3189mV  M: 0D\x1a 0mV  "},
        {"j",     1, 1, "D: 0D\x1a 0mV 0.00A  T: 3189mV  M: 0D\x1a 0mV  "},
        {"y",     1, 1, "T: 3189mV   27 \xf8" "C"},
        {"t",     1, 1, "** Tumbler is running "},
        {"P12",   1, 1, "** POSITION SET "},
        {"\x1b",  1, 1, "** STOP "},
        {"w",     1, 1, "WP Test is ON "},
        {"i",     1, 1, "** Tumbler Ready "},
        {"z",     1, 1, ""},
        {"IP",    1, 0, dmgReport}, {"IP", 1, 1, dmgReport}, {"IP", 2, 2, dmgReport},
        {"IP",    2, 3, "IPActual RAM Set:\r\nTOV\r\nTMB1 YUL1 WP1  B0\r\nFP 0 mT CP 0987\r\n"
                        "D-  ET 5000 ms\r\nSM0"},
        {"IE",    1, 1, "Actual EEPROM Set:\r\nfg: 1044 d\r\nCD: 1036\r\nCM: 0980\r\nCP: 0987\r\n"
                        "SC: 0622 cm2"},
        // Everything else is answered with nothing.
        {"FX1", 1, 1, ""}, {"M3", 1, 1, ""}, {"D3", 1, 1, ""}, {"S", 1, 1, ""}, {"SX", 1, 1, ""},
        {"H2", 1, 1, ""}, {"E", 1, 1, ""}, {"ET05", 0, 1, ""}, {"IPX", 1, 1, ""}, {"B1", 1, 1, ""},
        {"\x14\x03", 1, 1, ""}, {"fd010", 1, 1, ""}, {"\0u"s, 1, 1, ""}, {"", 1, 1, ""}};
    // clang-format on
    for (const Row& r : rows)
        EXPECT_EQ(Simulated_Reply(r.cmd, r.modeWord, r.zavMode), r.reply)
            << "command '" << r.cmd << "', mode word " << r.modeWord << ", mode " << r.zavMode;
}

TEST(Simulator, TheTransactionWithoutAPort) {
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
