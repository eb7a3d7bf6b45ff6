// The magnetometer link of the real program with the companion tool as the magnetometer program:
// steps in, time stamps out, a second program, hundreds of payloads that fail their check, a
// socket folder others may enter, and the link gone with the program.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "e2e_app.h"

using zavo::kReceiveName;

TEST(MagLinkE2E, StepsStampsASecondProgramBadPayloadsAndTheEnd) {
    e2e::App app;
    ASSERT_TRUE(app.StartReady()) << app.Why();
    app.Listen();

    // A demagnetization step: START treats at its field and sends the time stamp.
    const e2e::Since steps{app};
    EXPECT_EQ(app.Send("AD-020"), 0) << e2e::FileBytes(app.Path("companion.out"));
    app.Key("Return");
    EXPECT_TRUE(steps.Wait("FD020 ") && steps.Wait("G ")) << steps();
    ASSERT_TRUE(e2e::WaitUntil([&] { return app.Stamps() == 1; }, 30));
    ASSERT_TRUE(app.WaitReady());

    // A second program started meanwhile says so and leaves the link to the first: a pulse step
    // switches the controller to pulses.
    {
        e2e::Proc second({(app.Dir() / "zavo").string()}, app.Env(), app.Temp(),
                         app.Path("second.out"));
        EXPECT_TRUE(app.WaitWindow("Magnetometer Link", 20))
            << e2e::FileBytes(app.Path("second.out"));
        second.Wait(5, SIGKILL);
    }
    const e2e::Since pulse{app};
    EXPECT_EQ(app.Send("IRM-5"), 0);
    EXPECT_TRUE(pulse.Wait("M2 ", 15)) << pulse();
    ASSERT_TRUE(app.WaitReady());

    // 500 payloads that fail their check: one box, no memory; answered once, the failures it
    // stood for are in the daily log, and the link still works.
    const long before = app.RssKb();
    auto link = app.Link();
    std::mt19937 rng(19);
    const int bad = e2e::SendBad(*link, 500, rng);
    ASSERT_TRUE(app.WaitWindow("Error Receiving Data", 10));
    e2e::Sleep(1);
    EXPECT_EQ(app.Windows("Error Receiving Data").size(), 1u);
    EXPECT_GT(bad, 400);
    EXPECT_LT(app.RssKb() - before, 4096) << before << " kB before";
    app.Key("Return", "Error Receiving Data");
    EXPECT_TRUE(e2e::WaitUntil([&] { return app.FindWindow("Error Receiving Data") == 0; }, 10));
    EXPECT_NE(app.Log().find("data transferred incorrectly (" + std::to_string(bad) +
                             " payloads while it was shown)"),
              std::string::npos)
        << app.Log();
    const e2e::Since back{app};
    EXPECT_EQ(app.Send("AD-020"), 0);
    EXPECT_TRUE(back.Wait("IP M1 ", 15)) << back();

    // A socket folder that others may enter is not used, and the tool says why.
    const e2e::fs::path folder = app.Temp() / "zavo";
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(app.Send("AD-030"), 2);
    EXPECT_NE(e2e::FileBytes(app.Path("companion.out"))
                  .find("the folder " + folder.string() + " is open to other users (mode 0755)"),
              std::string::npos);
    chmod(folder.c_str(), 0700);

    // Ended by a termination signal, the program takes its socket along: nobody listens.
    ASSERT_TRUE(e2e::fs::exists(folder / kReceiveName));
    app.Signal(SIGTERM);
    EXPECT_EQ(app.WaitExit(20), 0) << e2e::FileBytes(app.Output());
    EXPECT_FALSE(e2e::fs::exists(folder / kReceiveName));
    EXPECT_EQ(app.Send("AD-030"), 1);
}
