// The command encoders: the bytes each writes and the value each keeps.
#include <gtest/gtest.h>

#include "core/Widgets.h"
#include "link/CommandSet.h"
#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;

using C = CommandSet;
using Send = void (CommandSet::*)(Int16, bool);

class Encoders : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tp.port.Open(1)); }
    void Reply(const std::string& r) {
        tp.port.responder = [r](auto&) { return r + "\r\n"; };
    }
    TestProgram tp;
    Ctx& ctx = tp.ctx();
    InstrumentState& i = ctx.instr;
};

TEST_F(Encoders, PaddedCommandsAndTheValuesTheControllerConfirms) {
    auto send = [&](Send s, Int16 v, const char* r, const Int16& kept, Int16 mode = 1) {
        ctx.settings.ZAVMODE = mode;
        Reply(r);
        (ctx.cmds->*s)(v, true);
        return kept;
    };
    const Int16 &dir = ctx.settings.TOVDIR, &word = i.ModeWordActual;
    // Unknown replies keep the last value; pulse-mode ramp times (ms) are kept in tenths of a s.
    // clang-format off
    const std::vector<Int16> kept = {
        send(&C::D_Send, 2, "D+", dir), send(&C::FD_Send, 7, "** PRESET FIELD  8 mT", i.FDActual),
        send(&C::D_Send, 2, "D-", dir), send(&C::FP_Send, 20, "** PRESET FIELD  20 mT", i.FPActual),
        send(&C::D_Send, 2, "D?", dir), send(&C::ModeWord_Send, 2, "TOV", word),
        send(&C::ModeWord_Send, 2, "XYZ", word), send(&C::ES_Send, 3, "ES 3", i.ESActual),
        send(&C::FM_Send, 100, "** PRESET FIELD  99 uT", i.FMActual),
        send(&C::FA_Send, 10, "AC-DC OFF  10 mT", i.FAActual), send(&C::H_Send, 1, "H1", i.HActual),
        send(&C::ET_Send, 5, "ET 1000 ms", i.ETActual, 3), send(&C::SD_Send, 1, "SD1", i.SDActual),
        send(&C::ET_Send, 5, "ET 1000 ms", i.ETActual, 0), send(&C::SM_Send, 1, "SM1", i.SMActual),
        send(&C::ER_Send, 1, "ER 1", i.ERActual), send(&C::ET_Send, 5, "ET 10 s", i.ETActual)};
    // clang-format on
    EXPECT_EQ(kept, std::vector<Int16>({1, 8, 2, 20, 2, 2, 2, 3, 99, 10, 1, 10, 1, 0, 1, 1, 10}));
    // A mode change switches live stages off first, 0.2 s apart, and stops when one fails.
    tp.port.Answers({{"H0", "H0\r\n"}, {"SM0", "SM0\r\n"}, {"SD0", "SD0\r\n"}, {"M1", "DMG\r\n"}});
    ctx.cmds->ModeWord_Send(1, true);
    EXPECT_EQ(std::tuple(i.HActual, i.SMActual, i.SDActual, word), std::tuple(0, 0, 0, 1));
    for (size_t n : {18, 19, 20})
        EXPECT_NEAR(tp.port.writeTimes[n] - tp.port.writeTimes[n - 1], 0.355, 0.145) << n;
    tp.port.Answers({{"H0", "## DMG PWR is OFF \r\n"}, {"M2", "TOV\r\n"}});
    i.HActual = 1;
    ctx.cmds->ModeWord_Send(2, true);  // not sent
    EXPECT_EQ(std::tuple(ctx.link.CmdError, i.HActual, word), std::tuple(true, 1, 1));
    for (auto [reply, state, colour] : {std::tuple("WP Test is OFF ", 0, kLightRed),
                                        {"WP Test is ON ", 1, kLightGreen},
                                        {"?", 1, kLightGreen}}) {
        Reply(reply);
        ctx.cmds->WPToggle_Send();
        EXPECT_EQ(i.WPState, state) << reply;
        EXPECT_EQ(BackColor(ctx.ui->cmdControl[0]), colour) << reply;
    }
    float m = -1, e = -1;
    Reply("T: 3189mV   27 \370C");
    ctx.cmds->Temp_Read(true, m);
    Reply("## Unknown Cmd. ");  // after an error the reading is 0, the stored values stay
    ctx.cmds->Temp_Read(true, e);
    EXPECT_EQ(std::tuple(m, e, i.CoilTempMV, i.CoilTempC), std::tuple(3189.f, 0.f, 3189.f, 27.f));
    EXPECT_EQ(tp.port.Written(),
              "D2FD007D2FP020D2M2M2ES3FM100A010H1ET05SD1ET05SM1ER1ET05H0SM0SD0M1H0wwwyy");
}

TEST_F(Encoders, RefusalsErrorsAndStopsStoreNothing) {
    i.FDActual = 33;  // field widths are proven by the padding above; one row per rule here
    const std::pair<Send, Int16> bad[] = {{&C::FD_Send, 1000}, {&C::FA_Send, -1},
                                          {&C::D_Send, 12},    {&C::SD_Send, 2},
                                          {&C::SM_Send, -1},   {&C::ModeWord_Send, 3}};
    for (const auto& [send, value] : bad) {
        ctx.link.CmdError = false;
        (ctx.cmds->*send)(value, true);
        EXPECT_TRUE(ctx.link.CmdError) << value;
    }
    EXPECT_TRUE(tp.port.writes.empty() && tp.dialogs.boxes.empty() && !ctx.link.CmdFatal);
    EXPECT_TRUE(ctx.ui->picStat[1]->Text().startsWith("## VALUE OUT OF RANGE"));
    Reply("## Illegal Parameter ");
    ctx.cmds->FD_Send(50, true);
    EXPECT_TRUE(ctx.link.CmdError && ctx.link.CmdFatal);
    tp.clock.After(0.3, [this] { ctx.run.StopRequest = true; });
    tp.port.responder = nullptr;
    ctx.cmds->FD_Send(10, false);  // no reply comes
    EXPECT_EQ(std::pair(i.FDActual, ctx.link.CmdError), std::pair(Int16(33), false));
}
