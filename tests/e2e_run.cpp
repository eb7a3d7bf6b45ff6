// Runs started with Enter on the real clock, the magnetometer program listening: a whole course,
// one stopped with Esc, one cut by a tumbler break whose journal row cannot be written.

#include <gtest/gtest.h>

#include "e2e_harness.h"

TEST(RunE2E, WholeAbortedAndBrokenRunsInTheJournal) {
    // 60 mT, fast decrease, held 30 s: under 2 s at the controller's speed, 1 s of it held.
    e2e::App app(e2e::SettingsText({.DMGFD = 60, .DMGER = 1, .DMGET = 30}), "1600x1000",
                 {"--speed", "30"});
    ASSERT_TRUE(app.StartReady()) << app.Why();
    app.Listen();
    // A run to its journal row, the keys given during the course: what the controller heard.
    const auto run = [&](const char* keys = "") {
        const e2e::Since since{app};
        const size_t rows = app.Journal().size();
        app.Key("Return");
        EXPECT_TRUE(!*keys || (since.Wait("G ", 20) && app.Key(keys))) << since();
        EXPECT_TRUE(e2e::WaitUntil([&] { return app.Journal().size() > rows; }, 30)) << since();
        return since();
    };

    // A whole course: one time stamp, a "done" row with the peak set and reached.
    EXPECT_TRUE(e2e::Has(run(), "FD060 "));
    EXPECT_TRUE(e2e::WaitUntil([&] { return app.Stamps() == 1; }, 5));
    std::string done;  // mode, peak set and reached, outcome
    for (const char* f : {"mode", "ac_peak_set_mT", "ac_peak_reached_mT", "outcome"})
        done += e2e::Field(app.Journal().back(), f) + " ";
    EXPECT_EQ(done, "DEMAGNETIZER 60 60 done ");
    ASSERT_TRUE(app.WaitReady());

    // Esc during the course: the controller hears it at once; a "stopped" row, no time stamp.
    const std::string aborted = run("Escape");
    EXPECT_TRUE(e2e::Has(aborted, "G \\x1B ")) << aborted;
    EXPECT_EQ(e2e::Field(app.Journal().back(), "outcome"), "stopped");
    ASSERT_TRUE(app.WaitReady());

    // A tumbler break, the journal unwritable: told, no stamp; the row is saved aside at the exit.
    app.Control("fault tumbler-break");
    e2e::fs::rename(app.Dir() / "journal.csv", app.Dir() / "journal-before.csv");
    e2e::fs::create_directory(app.Dir() / "journal.csv");
    app.Key("Return");
    ASSERT_TRUE(app.Answer("User error", "Return", 30)) << app.Why();
    ASSERT_TRUE(e2e::WaitUntil([&] { return app.Close() && app.WaitWindow("Exiting ", 1); }, 60));
    EXPECT_EQ(app.Stamps(), 1);
    app.Key("alt+y", "Exiting ");
    ASSERT_TRUE(app.Answer("Journal Not Written", "Return", 20)) << e2e::FileBytes(app.Output());
    EXPECT_EQ(app.WaitExit(20), 0) << e2e::FileBytes(app.Output());
    const auto kept = zavo::Journal::Rows_Read(app.Dir() / "journal-unsaved.csv", -1);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(e2e::Field(kept[0], "outcome"), "stopped");
}
