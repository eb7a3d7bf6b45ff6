// The first start: the instrument switched on late, cold, without a tumbler, on COM5, the
// frequency optimization due; then unplugged while idle.

#include <gtest/gtest.h>

#include "e2e_harness.h"

using e2e::Has;

TEST(StartupE2E, FirstStartInstrumentLateColdOnCom5UntilUnplugged) {
    e2e::App app("", "1600x1000", {});  // no settings file, the controller not yet on
    app.Start();
    // Nothing answers: the operator is asked.
    ASSERT_TRUE(app.WaitWindow("Communication error", 60)) << app.Why();

    // Switched on, Retry: the search finds it on COM5 and waits for the coil's working temperature.
    app.StartController({"--speed", "20", "--cold", "3", "--no-tumbler"}, 5);
    app.Key("alt+r", "Communication error");
    ASSERT_TRUE(e2e::WaitUntil([&] { return Has(app.Commands(), "y "); }, 20));
    app.Key("Insert");  // INITIALIZE: refused while the initialization runs
    ASSERT_TRUE(app.Answer("Warning", "alt+c", 30)) << "the coil is empty: " << app.Why();
    ASSERT_TRUE(app.Answer("Frequency optimalization", "Return", 30)) << app.Why();
    ASSERT_TRUE(app.Answer("Critical error", "Return", 30)) << "no tumbler: " << app.Why();
    ASSERT_TRUE(app.WaitReady()) << app.Why();
    // The transcript gives the seconds since the controller started before each entry.
    const std::string transcript = e2e::FileBytes(app.Path("vc.log"));
    const size_t status = transcript.find("CMD \"IP\"");
    ASSERT_NE(status, std::string::npos) << transcript;
    EXPECT_GE(std::stod(transcript.substr(transcript.rfind('\n', status) + 1)), 3.0)
        << "the status read before the coil was warm: " << transcript;
    const std::string cmds = app.Commands();
    EXPECT_EQ(cmds.find("\\x14\\x03 B0 "), cmds.rfind("\\x14\\x03 B0 ")) << "initialized once";
    const std::string saved = app.SettingsFile();  // beside the program
    EXPECT_EQ(saved.substr(0, 2) + saved.substr(23, 10), "5 " + e2e::Today()) << "port, search";

    // Unplugged while idle: said within 2 s; the program ends after the operator's OK.
    app.Unplug();
    EXPECT_TRUE(e2e::WaitUntil([&] { return Has(app.Log(), "## INSTRUMENT IS DISCONNECTED!"); }, 2))
        << app.Log();
    ASSERT_TRUE(app.Answer("Critical error", "Return", 5));
    EXPECT_EQ(app.WaitExit(10), 1);
    EXPECT_TRUE(Has(app.Log(), "ZAVO ENDS")) << app.Log();
    EXPECT_TRUE(e2e::fs::is_empty(app.Path("elsewhere"))) << "nothing in the working directory";
}
