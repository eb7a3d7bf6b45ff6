// The service buttons on the fake port: bytes sent, the hold count, the
// preset upload, and refusal while another operation holds the instrument.
#include <gtest/gtest.h>

#include <QApplication>

#include "core/Activity.h"
#include "core/Waits.h"
#include "link/Simulator.h"
#include "operations/ServiceControls.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "support/TestProgram.h"

using namespace zavo;
using W = std::vector<std::string>;

namespace {

struct ServiceTest : ::testing::Test {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;

    void SetUp() override {
        // The simulated instrument's report, its lines ended by CR as the controller
        // ends them; every other command echoed.
        tp.port.responder = [this](const std::string& cmd) {
            if (cmd != "IP") return cmd + "\r\n";
            QString report = QString::fromStdString(Simulated_Reply("IP", 1, ctx.settings.ZAVMODE));
            return report.replace("\r\n", "\r").toStdString() + "\r\n";
        };
        tp.port.Open(1);
        tp.program->window().Form_Load();
        ctx.settings.SERVMODE = true, ui.fraSERVMODE->show();
        Unlock();
    }
    void Unlock() {
        ctx.enabling->Panels_Enable(true);
        ctx.options->Controls_Enable(true);
    }
    W Sent() {
        tp.port.writeTimes.clear();
        return std::exchange(tp.port.writes, {});
    }
};

TEST_F(ServiceTest, EachButtonSendsItsCommandAndThePanelsComeBackAsTheyWere) {
    const struct {
        QPushButton* button;
        W sent;
    } cases[] = {
        {ui.cmdSD[1], {"SD1"}},
        {ui.cmdSD[0], {"SD0"}},
        {ui.cmdSM[1], {"SM1"}},
        {ui.cmdSM[0], {"SM0"}},
        {ui.cmdH[1], {"H1"}},
        {ui.cmdH[0], {"H0"}},
        {ui.cmdService[0], {"\x14", "\x03"}},
        {ui.cmdService[1], {"\x14", "\x13"}},
        {ui.cmdControl[0], {"w"}},
        {ui.cmdControl[1], {"\x10"}},  // Ctrl P: one byte
        {ui.cmdControl[2], {"IP"}},
        {ui.cmdControl[3], {"IE"}},
        {ui.cmdControl[4], {"y"}},
        {ui.cmdControl[5], {"j"}},
    };
    for (bool unlocked : {true, false}) {
        if (!unlocked) ctx.enabling->Panels_Enable(false);  // not yet initialized
        for (const auto& c : cases) {
            SCOPED_TRACE(c.button->objectName().toStdString());
            Sent();
            c.button->click();
            EXPECT_EQ(Sent(), c.sent);
            EXPECT_EQ(ui.cmdStart->isEnabled(), unlocked);
        }
    }
    // The service pair: Ctrl-T, then the second key 0.02 s later, each an exchange of its own.
    ui.cmdService[1]->click();
    ASSERT_EQ(tp.port.writeTimes.size(), 2u);
    EXPECT_GE(tp.port.writeTimes[1] - tp.port.writeTimes[0], 0.02);
    // Switching the demagnetizer ends its hold count.
    ui.timSD->start(1000), ui.lblSD->setText("212");
    ui.cmdSD[1]->click();
    EXPECT_TRUE(ctx.instr.SDActual == 1 && !ui.timSD->isActive() && ui.lblSD->text().isEmpty());

    tp.port.Answers({{"w", "WP Test is ON \r\n"}});  // the position-test button turns green
    ui.cmdControl[0]->click();
    EXPECT_EQ(BackColor(ui.cmdControl[0]), kLightGreen);
    tp.program->window().show();
    QApplication::processEvents();
    tp.Screenshot("service_window");
    ui.fraSERVMODE->grab().save(
        QString::fromStdString((test::ScreenshotDir() / "service_frame.png").string()));
}

// After a demagnetization the controller holds the run's values and the slow rate it ended
// with; a stop request left from an ABORT does not cut the upload short.
TEST_F(ServiceTest, PresetAfterARunSendsFastRateAndOnlyWhatDiffers) {
    ctx.settings.ZAVMODE = 1, ctx.settings.DMGFD = 40, ctx.settings.DMGER = 1;
    ctx.settings.DMGES = 2, ctx.settings.DMGET = 5;
    ctx.run.StopRequest = true;
    ui.cmdARMSet->click();
    EXPECT_EQ(Sent(), (W{"IP", "ER1", "FD040"}));
    tp.port.responder = nullptr;  // a controller that does not answer: nothing is guessed
    tp.dialogs.boxAnswers = {kCancel, kCancel};
    ui.cmdARMSet->click();
    EXPECT_EQ(Sent(), W{"IP"});
}

TEST_F(ServiceTest, SecondClickWhileAnOperationRunsIsRefusedVisibly) {
    ctx.settings.ZAVMODE = 1, ctx.settings.DMGFD = 40;
    std::vector<bool> during;
    tp.clock.After(0.1, [&] {
        for (QPushButton* b : ctx.service->Buttons()) during.push_back(b->isEnabled());
        during.push_back(ui.cmdTumbler[3]->isEnabled());  // the tumbler's STOP stays usable
        ui.cmdSD[1]->click();
        ctx.service->cmdSD_Click(1);
        ctx.service->cmdControl_Click(1);
    });
    ui.cmdARMSet->click();
    EXPECT_EQ(Sent(), (W{"IP", "ER1", "FD040"}));
    std::vector<bool> expected(ctx.service->Buttons().size(), false);
    expected.push_back(true);
    EXPECT_EQ(during, expected);
    for (QPushButton* b : ctx.service->Buttons()) EXPECT_TRUE(b->isEnabled());
}

}  // namespace
