// The start-up of the real program against the virtual controller: the port search, the reset,
// the warm-up, a due frequency optimization, the tumbler or its absence, up to the ready state.

#include <gtest/gtest.h>

#include <iostream>

#include "e2e_app.h"

namespace {

// The first commands of every start-up: the banner asked, the controller's command mode left,
// the error signal cleared, the coil temperature read.
const std::string kStart = "\\x10 \\x14\\x03 B0 y ";

// Starts the program and waits for the green lamp, answering the dialogs on the way (window
// title prefix -> keys); the seconds it took.
double StartToReady(e2e::App& app, std::vector<std::pair<std::string, std::string>> answers = {}) {
    const double start = e2e::Now();
    app.Start();
    EXPECT_TRUE(app.WaitWindow("ZAVO - ver.", 20)) << e2e::FileBytes(app.Output());
    for (const auto& [title, keys] : answers) {
        EXPECT_TRUE(app.WaitWindow(title, 30)) << title << ": " << app.Commands();
        app.Key(keys, title);
    }
    EXPECT_TRUE(app.WaitReady(60)) << app.Commands() << e2e::FileBytes(app.Output());
    return e2e::Now() - start;
}

}  // namespace

// A warm instrument with a tumbler on the remembered port: straight to "INSTRUMENT IS READY";
// every reply of the controller is in the daily log.
TEST(InitE2E, ReadyWithTumbler) {
    e2e::AppOptions o;
    o.settings = e2e::SettingsText();
    e2e::App app(o);
    const double seconds = StartToReady(app);
    std::cout << "start to ready (warm, tumbler): " << seconds << " s\n";
    app.Screenshot("init_ready_tumbler");
    EXPECT_EQ(app.Commands(), kStart + "IP i ");
    const std::string log = app.Log();
    for (const char* reply : {"** ZAVO-V", "** STOP", "B0", "T: 3189mV", "TMB1", "Tumbler Ready"})
        EXPECT_NE(log.find(reply), std::string::npos) << reply << "\n" << log;
}

// A cold coil without a tumbler, the instrument on COM5 while COM3 is remembered: the search
// goes on to COM5, the program waits for the working temperature, says the tumbler is missing
// (answered with Enter) and becomes ready without position commands.
TEST(InitE2E, ColdWithoutTumblerOnAnotherPort) {
    e2e::AppOptions o;
    o.settings = e2e::SettingsText({{"COMM", "3"}});
    o.comPort = 5;
    o.controller = {"--speed", "20", "--no-tumbler", "--cold", "4"};
    e2e::App app(o);
    const double seconds = StartToReady(app, {{"Critical error", "Return"}});
    std::cout << "start to ready (cold 4 s, COM5, no tumbler): " << seconds << " s\n";
    const std::string cmds = app.Commands();
    EXPECT_EQ(cmds.rfind(kStart, 0), 0u) << cmds;
    EXPECT_GE(std::count(cmds.begin(), cmds.end(), 'y'), 3) << "the temperature read again";
    EXPECT_EQ(cmds.find(" i "), std::string::npos) << cmds;
    EXPECT_NE(app.Log().find("TMB0"), std::string::npos) << app.Log();
    EXPECT_GE(seconds, 4.0);
}

// The frequency optimization is due: the operator confirms an empty coil with the keyboard,
// the search runs, its result is confirmed and saved in the controller, today's date is written
// into the settings file, and the start-up goes on to the ready state.
TEST(InitE2E, DueFrequencyOptimization) {
    e2e::AppOptions o;
    o.settings = e2e::SettingsText({{"FREQDATE", "01-01-2020"}});
    e2e::App app(o);
    StartToReady(app, {{"Warning", "alt+c"}, {"Frequency optimalization", "Return"}});
    EXPECT_EQ(app.Commands(), kStart +
                                  "IP SD1 H1 z \\x14\\x13 \\x14\\x08 \\x00u \\x14\\x03 H0 SD0 "
                                  "IP i ");
    const std::string today = QDate::currentDate().toString("dd-MM-yyyy").toStdString();
    EXPECT_EQ(app.SettingsFile().substr(23, 10), today) << app.SettingsFile();
    EXPECT_NE(app.Log().find("fg: 1045d"), std::string::npos) << app.Log();
}
