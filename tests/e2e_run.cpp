// Runs in the real program, started with Enter, against the virtual controller on the real clock,
// with the magnetometer program listening: a whole course, one stopped with Esc, one cut by a
// tumbler break whose journal row cannot be written.

#include <gtest/gtest.h>

#include "e2e_app.h"

TEST(RunE2E, WholeAbortedAndBrokenRunsInTheJournal) {
    // 60 mT, fast decrease, held 30 s: under 2 s at the controller's speed, 1 s of it held.
    e2e::App app(e2e::SettingsText({{"DMGFD", "60"}, {"DMGER", "1"}, {"DMGET", "30"}}), "1600x1000",
                 {"--speed", "30"});
    ASSERT_TRUE(app.StartReady()) << app.Why();
    app.Listen();
    // A run started with Enter, to its journal row; the keys go in during the course. What the
    // controller heard.
    const auto run = [&](const char* keys = "") {
        const e2e::Since since{app};
        const size_t rows = app.Journal().size();
        app.Key("Return");
        EXPECT_TRUE(!*keys || (since.Wait("G ", 20) && app.Key(keys))) << since();
        EXPECT_TRUE(e2e::WaitUntil([&] { return app.Journal().size() > rows; }, 30)) << since();
        return since();
    };

    // A whole course: one time stamp, a "done" row with the peak set and reached.
    const std::string whole = run();
    EXPECT_NE(whole.find("FD060 "), std::string::npos) << whole;
    EXPECT_TRUE(e2e::WaitUntil([&] { return app.Stamps() == 1; }, 5));
    const QStringList done = app.Journal().back();
    EXPECT_EQ(e2e::Field(done, "mode") + " " + e2e::Field(done, "ac_peak_set_mT") + " " +
                  e2e::Field(done, "ac_peak_reached_mT") + " " + e2e::Field(done, "outcome"),
              "DEMAGNETIZER 60 60 done");
    ASSERT_TRUE(app.WaitReady());

    // Esc during the course: the controller hears it at once; a "stopped" row, no time stamp.
    const std::string aborted = run("Escape");
    EXPECT_NE(aborted.find("G \\x1B "), std::string::npos) << aborted;
    EXPECT_EQ(e2e::Field(app.Journal().back(), "outcome"), "stopped");
    ASSERT_TRUE(app.WaitReady());

    // The tumbler pulled out during the course, with the journal unwritable (a folder where the
    // file was): the operator is told, no time stamp; the "stopped" row waits, and at the exit,
    // asked for while the run ends, it goes beside the journal with a word.
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
