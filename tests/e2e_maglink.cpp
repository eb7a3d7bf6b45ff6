// The magnetometer link with the companion tool as the magnetometer program (its steps and time
// stamps are in the install and run journeys): a second program, payloads that fail their check.

#include <gtest/gtest.h>

#include "e2e_harness.h"

TEST(MagLinkE2E, ASecondProgramAndBadPayloads) {
    e2e::App app;
    ASSERT_TRUE(app.StartReady()) << app.Why();
    // A second program started meanwhile says so and leaves the link to the first.
    {
        e2e::Proc second({(app.Dir() / "zavo").string()}, app.Env(), app.Temp(),
                         app.Path("second.out"));
        EXPECT_TRUE(app.WaitWindow("Magnetometer Link", 20))
            << e2e::FileBytes(app.Path("second.out"));
        second.Wait(5, SIGKILL);
    }

    // 500 payloads that fail their check: one box, its count in the daily log; steps still work.
    auto link = app.Link();
    std::mt19937 rng(19);
    const int bad = e2e::SendBad(*link, 500, rng);
    ASSERT_TRUE(app.WaitWindow("Error Receiving Data", 10));
    e2e::Sleep(1);
    EXPECT_EQ(app.Windows("Error Receiving Data").size(), 1u);
    app.Key("Return", "Error Receiving Data");
    EXPECT_TRUE(e2e::WaitUntil([&] { return app.FindWindow("Error Receiving Data") == 0; }, 10));
    EXPECT_TRUE(e2e::Has(app.Log(), "data transferred incorrectly (" + std::to_string(bad) +
                                        " payloads while it was shown)"))
        << app.Log();
    const e2e::Since pulse{app};
    EXPECT_EQ(app.Companion({"send", "IRM-5"}).Wait(15), 0);
    EXPECT_TRUE(pulse.Wait("M2 ", 15)) << pulse();
}
