// The first start of the real program as an operator meets it: the instrument still switched off,
// then on, cold, without a tumbler and on another port than the default; the frequency
// optimization due. It ends with the adapter unplugged while the program waits for the operator.

#include <gtest/gtest.h>

#include "e2e_app.h"

TEST(StartupE2E, FirstStartInstrumentLateColdOnCom5UntilUnplugged) {
    e2e::App app("", "1600x1000", {});  // no settings file, the controller not yet on
    app.Start();
    // Nothing answers: the operator is asked, and the defaults are written beside the program.
    ASSERT_TRUE(app.WaitWindow("Communication error", 60)) << app.Why();
    EXPECT_EQ(app.SettingsFile().size(), 25u * 23) << app.SettingsFile();

    // Switched on, Retry: the search finds it on COM5 and waits for the coil's working temperature.
    app.StartController({"--speed", "20", "--cold", "3", "--no-tumbler"}, 5);
    app.Key("alt+r", "Communication error");
    ASSERT_TRUE(e2e::WaitUntil([&] { return app.Commands().find("y ") != std::string::npos; }, 20));
    app.Key("Insert");  // INITIALIZE: refused while the initialization runs
    ASSERT_TRUE(app.Answer("Warning", "alt+c", 30)) << "the coil is empty: " << app.Why();
    ASSERT_TRUE(app.Answer("Frequency optimalization", "Return", 30)) << app.Why();
    ASSERT_TRUE(app.Answer("Critical error", "Return", 30)) << "no tumbler: " << app.Why();
    ASSERT_TRUE(app.WaitReady()) << app.Why();
    // The controller's transcript gives the seconds since it started, before each entry.
    const std::string transcript = e2e::FileBytes(app.Path("vc.log"));
    const size_t status = transcript.find("CMD \"IP\"");
    ASSERT_NE(status, std::string::npos) << transcript;
    EXPECT_GE(std::stod(transcript.substr(transcript.rfind('\n', status) + 1)), 3.0)
        << "the status read before the coil was warm: " << transcript;
    const std::string cmds = app.Commands();
    EXPECT_EQ(cmds.find("\\x14\\x03 B0 "), cmds.rfind("\\x14\\x03 B0 "))
        << "initialized once: " << cmds;
    EXPECT_EQ(cmds.find(" i "), std::string::npos) << "no tumbler commands: " << cmds;
    const std::string today = QDate::currentDate().toString("dd-MM-yyyy").toStdString();
    EXPECT_EQ(app.SettingsFile().substr(0, 2) + app.SettingsFile().substr(23, 10), "5 " + today)
        << "the port and the search's date";
    for (const char* reply : {"** ZAVO-V", "TMB0", "fg: 1045d"})
        EXPECT_NE(app.Log().find(reply), std::string::npos) << reply << " in the daily log";

    // Unplugged while idle: said within 2 s; the program ends after the operator's OK.
    app.Unplug();
    EXPECT_TRUE(e2e::WaitUntil(
        [&] { return app.Log().find("## INSTRUMENT IS DISCONNECTED!") != std::string::npos; }, 2))
        << app.Log();
    ASSERT_TRUE(app.Answer("Critical error", "Return", 5));
    EXPECT_EQ(app.WaitExit(10), 1);
    EXPECT_NE(app.Log().find("ZAVO ENDS"), std::string::npos) << app.Log();
    EXPECT_TRUE(e2e::fs::is_empty(app.Path("elsewhere"))) << "nothing in the working directory";
}
