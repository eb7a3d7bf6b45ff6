// Runs in the real program, started with Enter, against the virtual controller on the real clock,
// with the magnetometer program listening: a whole course, one stopped with Esc, one cut by a
// tumbler break, one whose journal row cannot be written.

#include <gtest/gtest.h>

#include "e2e_app.h"

TEST(RunE2E, WholeAbortedAndBrokenRunsInTheJournal) {
    e2e::AppOptions o;
    // 60 mT, fast decrease, held 20 s: about 2 s at the controller's speed.
    o.settings = e2e::SettingsText({{"DMGFD", "60"}, {"DMGER", "1"}, {"DMGET", "20"}});
    e2e::App app(o);
    ASSERT_TRUE(app.StartReady()) << app.Why();
    app.Listen();
    const auto run = [&](const char* keys = "") {
        const e2e::Since since{app};
        const size_t rows = app.Journal().size();
        app.Key("Return");
        if (*keys && since.Wait("G ", 20)) app.Key(keys);
        EXPECT_TRUE(e2e::WaitUntil([&] { return app.Journal().size() > rows; }, 30)) << since();
        return since();
    };

    // A whole course: one time stamp, a "done" row whose peak is the one the controller reported.
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

    // The tumbler pulled out during the course: the operator is told; "stopped", no time stamp.
    app.Control("fault tumbler-break");
    const e2e::Since broken{app};
    app.Key("Return");
    ASSERT_TRUE(app.Answer("User error", "Return", 30)) << broken();
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Field(app.Journal().back(), "outcome") == "stopped" &&
                                            app.Journal().size() == 3; }, 10));
    ASSERT_TRUE(app.WaitReady());
    EXPECT_EQ(app.Stamps(), 1);

    // The journal unwritable (a folder where the file was): the next run's row waits, and at the
    // exit, asked for while that run ends, it goes beside the journal with a word.
    e2e::fs::rename(app.Dir() / "journal.csv", app.Dir() / "journal-before.csv");
    e2e::fs::create_directory(app.Dir() / "journal.csv");
    app.Key("Return");
    ASSERT_TRUE(e2e::WaitUntil([&] { return app.Close() && app.WaitWindow("Exiting ", 1); }, 60));
    EXPECT_EQ(app.Stamps(), 2);
    app.Key("alt+y", "Exiting ");
    ASSERT_TRUE(app.Answer("Journal Not Written", "Return", 20)) << e2e::FileBytes(app.Output());
    EXPECT_EQ(app.WaitExit(20), 0) << e2e::FileBytes(app.Output());
    const auto kept = zavo::Journal::Rows_Read(app.Dir() / "journal-unsaved.csv", -1);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(e2e::Field(kept[0], "outcome"), "done");
}
