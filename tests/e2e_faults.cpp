// Faults met by the real program against the virtual controller: a step whose mode the unit
// cannot take, a tumbler break in the course, a termination signal, the controller unplugged.

#include <gtest/gtest.h>

#include <algorithm>

#include "e2e_app.h"
#include "operations/Journal.h"

namespace {

const std::string kTool = std::string(ZAVO_BINARY_DIR) + "/tools/magnetometer-link";

std::string Outcome(const e2e::fs::path& journal) {
    const auto rows = zavo::Journal::Rows_Read(journal, 1);
    const int col = int(zavo::Journal::Columns().indexOf("outcome"));
    return rows.empty() ? "" : rows[0].value(col).toStdString();
}

}  // namespace

TEST(FaultsE2E, RefusedStepTumblerBreakAndTermination) {
    e2e::AppOptions o;
    o.settings = e2e::SettingsText({{"DMGFD", "30"}, {"DMODE", "1"}});
    e2e::App app(o);
    app.Start();
    ASSERT_TRUE(app.WaitReady(60)) << app.Commands() << e2e::FileBytes(app.Output());

    // The unit switched off at the controller: the anhysteretic step cannot be taken (the
    // operator cancels the unit's question), so its 80 mT never reaches the shared AC box.
    app.Control("yul off");
    const e2e::fs::path out = app.Temp() / "tool.out";
    pid_t send = e2e::Spawn({kTool, "send", "ARM-80-0-50"}, app.Env(), {}, out);
    ASSERT_TRUE(app.WaitWindow("Warning", 15)) << app.Commands();
    app.Key("Escape", "Warning");
    EXPECT_EQ(e2e::Reap(send, 10), 0) << e2e::FileBytes(out);
    EXPECT_TRUE(e2e::WaitUntil([&] { return app.Log().find("NOT APPLIED") != std::string::npos; }, 10))
        << app.Log();
    // The magnetometer program listens for the time stamps of the runs below.
    const e2e::fs::path stamps = app.Temp() / "stamps.out";
    pid_t listen = e2e::Spawn({kTool, "listen"}, app.Env(), {}, stamps);
    const auto Stamps = [&] {
        const std::string t = e2e::FileBytes(stamps);
        return std::count(t.begin(), t.end(), '\t');
    };
    poll(nullptr, 0, 500);
    size_t from = app.Commands().size();
    app.Key("Return");
    ASSERT_TRUE(app.WaitCommands("H0 ", 30)) << app.Commands().substr(from);
    const std::string run = app.Commands().substr(from);
    EXPECT_EQ(run.find("FD080"), std::string::npos) << run;
    EXPECT_NE(run.find("FD030"), std::string::npos) << run;
    EXPECT_TRUE(e2e::WaitUntil([&] { return Stamps() == 1; }, 5)) << e2e::FileBytes(stamps);

    // The tumbler pulled out during the course: the operator is told, the magnetometer
    // program gets no time stamp and the journal says "stopped".
    ASSERT_TRUE(app.WaitReady(10));
    app.Control("fault tumbler-break");
    app.Key("Return");
    ASSERT_TRUE(app.WaitWindow("User error", 30)) << app.Commands();
    app.Key("Return", "User error");
    ASSERT_TRUE(e2e::WaitUntil([&] { return Outcome(app.Dir() / "journal.csv") != "done"; }, 20));
    EXPECT_EQ(Outcome(app.Dir() / "journal.csv"), "stopped");
    poll(nullptr, 0, 1000);
    EXPECT_EQ(Stamps(), 1) << e2e::FileBytes(stamps);
    kill(-listen, SIGTERM);
    e2e::Reap(listen, 5);

    // SIGTERM as at logout: no question, the stages off, the settings saved.
    ASSERT_TRUE(app.WaitReady(10));
    e2e::fs::remove(app.Dir() / "ZAVO.sav");
    from = app.Commands().size();
    app.Signal(SIGTERM);
    EXPECT_EQ(app.WaitExit(30), 0) << e2e::FileBytes(app.Output());
    EXPECT_EQ(app.Commands().substr(from), "\\x10 IP SD0 ") << app.Commands();
    EXPECT_NE(app.SettingsFile().find("30         DMGFD"), std::string::npos) << app.SettingsFile();
}

// The controller unplugged while the program waits for the operator: said at once (the log has
// it within 2 s, the critical box is up), and the program ends after it.
TEST(FaultsE2E, UnpluggedWhileIdle) {
    e2e::AppOptions o;
    o.settings = e2e::SettingsText();
    e2e::App app(o);
    app.Start();
    ASSERT_TRUE(app.WaitReady(60)) << app.Commands() << e2e::FileBytes(app.Output());
    app.Unplug();
    const double t0 = e2e::Now();
    EXPECT_TRUE(e2e::WaitUntil(
        [&] { return app.Log().find("## INSTRUMENT IS DISCONNECTED!") != std::string::npos; }, 2))
        << app.Log();
    EXPECT_LT(e2e::Now() - t0, 2.0);
    ASSERT_TRUE(app.WaitWindow("Critical error", 5));
    app.Key("Return", "Critical error");
    EXPECT_EQ(app.WaitExit(10), 1);
    EXPECT_NE(app.Log().find("ZAVO ENDS"), std::string::npos) << app.Log();
}
