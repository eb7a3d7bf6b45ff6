// The command encoders: the bytes each writes and the value each keeps.
#include <gtest/gtest.h>

#include "core/Widgets.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;

using Send = void (CommandSet::*)(Int16, bool);

class Encoders : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tp.port.Open(1)); }
    void Reply(const std::string& c, const std::string& r) { tp.port.Answers({{c, r + "\r\n"}}); }
    TestProgram tp;
    Ctx& ctx = tp.ctx();
    CommandSet& cmds = *ctx.cmds;
};

TEST_F(Encoders, PaddedCommandsAndTheValuesTheControllerConfirms) {
    for (auto [reply, dir] : {std::pair("D-", 2), {"D+", 1}, {"D?", 1}}) {
        Reply("D2", reply);
        cmds.D_Send(2, true);
        EXPECT_EQ(ctx.settings.TOVDIR, dir) << reply;
    }
    for (auto [reply, word] : {std::pair("DMG", 1), {"XYZ", 1}, {"TOV", 2}}) {
        Reply("M2", reply);
        cmds.ModeWord_Send(2, true);
        EXPECT_EQ(ctx.instr.ModeWordActual, word) << reply;
    }
    // clang-format off
    const std::tuple<Send, Int16, std::string> rows[] = {
        {&CommandSet::FD_Send, 7, "** PRESET FIELD  8 mT"}, {&CommandSet::FA_Send, 10, "AC-DC OFF  10 mT"},
        {&CommandSet::FM_Send, 100, "** PRESET FIELD  99 uT"}, {&CommandSet::FP_Send, 20, "** PRESET FIELD  20 mT"},
        {&CommandSet::ES_Send, 3, "ES 3"}, {&CommandSet::ER_Send, 1, "ER 1"}, {&CommandSet::SD_Send, 1, "SD1"},
        {&CommandSet::SM_Send, 1, "SM1"}, {&CommandSet::H_Send, 1, "H1"}};
    // clang-format on
    for (const auto& [send, value, reply] : rows) {
        tp.port.responder = [&](const std::string&) { return reply + "\r\n"; };
        (cmds.*send)(value, true);
    }
    EXPECT_EQ(tp.port.Written(), "D2D2D2M2M2M2FD007A010FM100FP020ES3ER1SD1SM1H1");
    const InstrumentState& i = ctx.instr;
    EXPECT_EQ(std::vector<Int16>({i.FDActual, i.FAActual, i.FMActual, i.FPActual, i.ESActual,
                                  i.ERActual, i.SDActual, i.SMActual, i.HActual}),
              std::vector<Int16>({8, 10, 99, 20, 3, 1, 1, 1, 1}));
    // Ramp time in seconds (AC modes) or milliseconds (pulse mode), kept in tenths.
    for (auto [mode, reply, stored] :
         {std::tuple(1, "ET 10 s", 10), {3, "ET 1000 ms", 10}, {0, "ET 1000 ms", 0}}) {
        ctx.settings.ZAVMODE = mode;
        Reply("ET05", reply);
        cmds.ET_Send(5, true);
        EXPECT_EQ(ctx.instr.ETActual, stored) << mode;
    }
    for (auto [reply, state, colour] : {std::tuple("WP Test is ON ", 1, kLightGreen),
                                        {"WP Test is OFF ", 0, kLightRed},
                                        {"?", 0, kLightRed}}) {
        Reply("w", reply);
        cmds.WPToggle_Send();
        EXPECT_EQ(ctx.instr.WPState, state) << reply;
        EXPECT_EQ(BackColor(ctx.ui->cmdControl[0]), colour) << reply;
    }
    Reply("y", "T: 3189mV   27 \370C");
    float mv = -1;
    cmds.Temp_Read(true, mv);
    EXPECT_EQ(std::tuple(mv, i.CoilTempMV, i.CoilTempC), std::tuple(3189.f, 3189.f, 27.f));
    Reply("y", "## Unknown Cmd. ");  // after an error the reading is 0, the stored values stay
    cmds.Temp_Read(true, mv);
    EXPECT_EQ(std::pair(mv, i.CoilTempMV), std::pair(0.f, 3189.f));
}

TEST_F(Encoders, ModeWordSwitchesLiveStagesOffFirst) {
    tp.port.Answers({{"H0", "H0\r\n"}, {"SD0", "SD0\r\n"}, {"M2", "TOV\r\n"}});
    ctx.instr.HActual = ctx.instr.SDActual = 1;
    cmds.ModeWord_Send(2, true);
    ASSERT_EQ(tp.port.writes, (std::vector<std::string>{"H0", "SD0", "M2"}));
    EXPECT_EQ(std::pair(ctx.instr.HActual + ctx.instr.SDActual, ctx.instr.ModeWordActual),
              std::pair(0, Int16(2)));
    for (int n : {1, 2})  // 0.2 s after each switch-off, plus the reply and the input flush
        EXPECT_NEAR(tp.port.writeTimes[n] - tp.port.writeTimes[n - 1], 0.355, 0.145) << n;
    tp.port.Answers({{"H0", "## DMG PWR is OFF \r\n"}, {"M1", "DMG\r\n"}});
    ctx.instr.HActual = 1;  // a failed switch-off: the mode word is not sent
    cmds.ModeWord_Send(1, true);
    EXPECT_EQ(tp.port.Written(), "H0SD0M2H0");
    EXPECT_EQ(std::tuple(ctx.link.CmdError, ctx.instr.HActual, ctx.instr.ModeWordActual),
              std::tuple(true, Int16(1), Int16(2)));
}

TEST_F(Encoders, BadValuesErrorsAndStopsStoreNothing) {
    ctx.instr.FDActual = 33;
    const std::pair<Send, Int16> bad[] = {
        {&CommandSet::FD_Send, 1000}, {&CommandSet::FD_Send, -1},     {&CommandSet::FA_Send, 1234},
        {&CommandSet::FM_Send, -20},  {&CommandSet::FP_Send, 9999},   {&CommandSet::ET_Send, 100},
        {&CommandSet::ET_Send, -5},   {&CommandSet::ES_Send, 10},     {&CommandSet::ER_Send, -1},
        {&CommandSet::D_Send, 12},    {&CommandSet::SD_Send, 2},      {&CommandSet::SM_Send, -1},
        {&CommandSet::H_Send, 7},     {&CommandSet::ModeWord_Send, 3}};
    for (const auto& [send, value] : bad) {
        ctx.link.CmdError = false;
        (cmds.*send)(value, true);
        EXPECT_TRUE(ctx.link.CmdError) << value;
    }
    EXPECT_TRUE(tp.port.writes.empty() && tp.dialogs.boxes.empty() && !ctx.link.CmdFatal);
    EXPECT_TRUE(ctx.ui->picStat[1]->Text().startsWith("## VALUE OUT OF RANGE"));
    Reply("FD050", "## Illegal Parameter ");
    cmds.FD_Send(50, true);
    EXPECT_TRUE(ctx.link.CmdError && ctx.link.CmdFatal);
    tp.clock.After(0.3, [this] { ctx.run.StopRequest = true; });
    cmds.FD_Send(10, false);  // no reply comes
    EXPECT_EQ(std::pair(ctx.instr.FDActual, ctx.link.CmdError), std::pair(Int16(33), false));
}
