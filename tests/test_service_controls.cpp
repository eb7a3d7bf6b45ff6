// The service buttons on the fake controller: bytes sent, the hold count, the preset
// upload, and refusal while another operation holds the instrument.
#include <gtest/gtest.h>

#include "core/Widgets.h"
#include "operations/DemagHold.h"
#include "operations/ServiceControls.h"
#include "panel/PanelEnabling.h"
#include "support/Rig.h"

using namespace zavo;
using namespace zavo::test;

namespace {

struct ServiceTest : ::testing::Test, Rig {
    void SetUp() override { ctx.settings.SERVMODE = true; }
};

}  // namespace

// Each button sends its command and leaves the panel as it found it: unlocked after the
// initialization, locked before it. Ctrl P is one byte; the service pair is two exchanges
// 0.02 s apart.
TEST_F(ServiceTest, EachButtonSendsItsCommand) {
    const std::pair<QPushButton*, W> cases[] = {
        {ui.cmdSD[1], {"SD1"}},      {ui.cmdSD[0], {"SD0"}},           {ui.cmdSM[1], {"SM1"}},
        {ui.cmdSM[0], {"SM0"}},      {ui.cmdH[1], {"H1"}},             {ui.cmdH[0], {"H0"}},
        {ui.cmdControl[0], {"w"}},   {ui.cmdControl[1], {"\x10"}},     {ui.cmdControl[2], {"IP"}},
        {ui.cmdControl[3], {"IE"}},  {ui.cmdControl[4], {"y"}},        {ui.cmdControl[5], {"j"}},
        {ui.cmdService[0], {"\x14", "\x03"}}, {ui.cmdService[1], {"\x14", "\x13"}},
    };
    for (bool unlocked : {true, false}) {
        if (!unlocked) ctx.enabling->Panels_Enable(false);  // not yet initialized
        for (const auto& [button, sent] : cases) {
            SCOPED_TRACE(button->objectName().toStdString());
            button->click();
            EXPECT_EQ(Sent(), sent);
            EXPECT_EQ(ui.cmdStart->isEnabled(), unlocked);
        }
    }
    const auto& t = tp.port.writeTimes;
    EXPECT_GE(t.end()[-1] - t.end()[-2], 0.02);
    EXPECT_EQ(std::tuple(tp.dialogs.boxes.size(), ctx.link.CmdFatal), std::tuple(0u, false));
    // A service key the controller does not answer is a lost instrument, as any exchange's.
    unit.overrides["\x13"] = "";
    ui.cmdService[1]->click();
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    EXPECT_EQ(tp.dialogs.boxes[0].prompt,
              "## INSTRUMENT IS SWITCHED OFF! \r\n\r\nZAVO WILL BE CLOSED!");
}

// Switching the demagnetizer by hand ends its hold count; the position-test button shows
// the controller's answer in its colour.
TEST_F(ServiceTest, HoldCountAndPositionTest) {
    ctx.instr.SDActual = 1, ctx.hold->Hold_Start(), ui.lblSD->setText("212");
    ui.cmdSD[1]->click();
    EXPECT_TRUE(ctx.instr.SDActual == 1 && !ui.timSD->isActive() && ui.lblSD->text().isEmpty());
    for (auto [state, colour] : {std::pair{0, kLightRed}, {1, kLightGreen}}) {
        ui.cmdControl[0]->click();
        EXPECT_EQ(std::pair(ctx.instr.WPState, BackColor(ui.cmdControl[0])), std::pair(Int16(state), colour));
    }
}

// After a demagnetization the controller holds the run's values and the slow rate it ended
// with: the preset sends the fast rate and only what differs; a stop request left from an
// ABORT does not cut it short; without a fresh report nothing is guessed.
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

// While an operation runs every service button is disabled but the tumbler's STOP, and a
// click that arrives anyway does nothing; afterwards they are back.
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
