// The service buttons on the fake controller.
#include <gtest/gtest.h>

#include "core/Widgets.h"
#include "operations/DemagHold.h"
#include "operations/ServiceControls.h"
#include "panel/PanelEnabling.h"
#include "support/Rig.h"

using namespace zavo;
using namespace zavo::test;
using std::tuple;

namespace {

struct ServiceTest : ::testing::Test, Rig {
    void SetUp() override { ctx.settings.SERVMODE = true; }
};

}  // namespace

// Each button sends its command and leaves the panel as it found it (locked before the
// initialization); the service pair is two exchanges 0.02 s apart.
TEST_F(ServiceTest, EachButtonSendsItsCommand) {
    const std::pair<QPushButton*, W> cases[] = {
        {ui.cmdSD[1], {"SD1"}}, {ui.cmdSD[0], {"SD0"}}, {ui.cmdSM[1], {"SM1"}}, {ui.cmdSM[0], {"SM0"}},
        {ui.cmdH[1], {"H1"}}, {ui.cmdH[0], {"H0"}}, {ui.cmdControl[0], {"w"}}, {ui.cmdControl[1], {"\x10"}},
        {ui.cmdControl[2], {"IP"}}, {ui.cmdControl[3], {"IE"}}, {ui.cmdControl[4], {"y"}},
        {ui.cmdControl[5], {"j"}}, {ui.cmdService[0], {"\x14", "\x03"}}, {ui.cmdService[1], {"\x14", "\x13"}},
    };
    for (bool unlocked : {true, false}) {
        if (!unlocked) ctx.enabling->Panels_Enable(false);  // not yet initialized
        for (const auto& [button, sent] : cases) {
            button->click();
            EXPECT_EQ(tuple(Sent(), ui.cmdStart->isEnabled()), tuple(sent, unlocked))
                << button->objectName().toStdString();
        }
    }
    EXPECT_GE(tp.port.writeTimes.end()[-1] - tp.port.writeTimes.end()[-2], 0.02);
    EXPECT_TRUE(tp.dialogs.boxes.empty() && !ctx.link.CmdFatal);
    // A service key left unanswered is a lost instrument, as in any exchange.
    unit.overrides["\x13"] = "";
    ui.cmdService[1]->click();
    EXPECT_TRUE(tp.dialogs.boxes.size() == 1 && ctx.link.CmdFatal);
}

// Switching the demagnetizer by hand ends its hold count.
TEST_F(ServiceTest, HoldCountEndsByHand) {
    ctx.instr.SDActual = 1, ctx.hold->Hold_Start(), ui.lblSD->setText("212");
    ui.cmdSD[1]->click();
    EXPECT_TRUE(ctx.instr.SDActual == 1 && !ui.timSD->isActive() && ui.lblSD->text().isEmpty());
}

// The preset sends the fast rate, what differs and the slow rate, an old stop notwithstanding;
// without a fresh report nothing is guessed.
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

// While an operation runs the service buttons but the tumbler's STOP are off and clicks do
// nothing; afterwards they are back.
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
