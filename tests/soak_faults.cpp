// Fault soak: the program's link and command logic (real clock, Qt serial port) against the
// virtual controller for a thousand exchanges, with faults from the controller's list injected at
// random. Every exchange ends within its time limits, every completed reply reaches the daily log,
// memory does not grow; at the end the controller is unplugged while idle.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <iostream>
#include <map>
#include <random>

#include "app/Program.h"
#include "core/Clock.h"
#include "e2e_harness.h"
#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/QtSerialPort.h"
#include "support/FakeSound.h"
#include "support/ScriptedDialogs.h"

using namespace zavo;

namespace {

// Commands the controller answers at once (a short course for "G"). The mode word is left alone:
// setting it switches the stages off, and the refusals of "G" that follow are no faults.
const std::vector<std::string> kCommands = {"FD005", "FM100", "A002", "ES2", "ER0", "ET01",
                                            "SD1",   "H1",    "J",    "y",   "IP",  "IE",
                                            "w",     "G",     "G",    "G"};
// "no-lf" costs a 30 s time-out: it is given to one round only.
const std::vector<std::string> kFaults = {"unknown-cmd",      "hot-coil",    "coil-overheated",
                                          "hypex-overheated", "tumbler-out", "yul-off",
                                          "tumbler-break",    "vanish",      "no-reply"};

}  // namespace

TEST(Soak, RandomFaultsNeitherCrashNorHangNorLoseLogRecords) {
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    RealClock clock;
    test::FakeSound sound;
    test::ScriptedDialogs dialogs;
    QtSerialPort port{dir + "/ports"};
    Program program{dir, clock, sound, dialogs, port};
    Ctx& c = program.ctx();
    c.EndProgram = [] {};
    c.settings.ZAVMODE = 1, c.instr.ModeWordWanted = 1;
    std::filesystem::create_directories(dir + "/mon");
    const std::filesystem::path logFile = dir + "/mon/soak.mon";
    ASSERT_TRUE(c.log->Open(logFile));

    std::mt19937 rng(1015);
    const auto pick = [&rng](const auto& v) {
        return v[std::uniform_int_distribution<size_t>(0, v.size() - 1)(rng)];
    };
    int exchanges = 0, completed = 0, fatal = 0, injected = 0;
    std::map<std::string, int> byFault;
    std::string unprovoked;  // fatal ends without a fault
    double closest = 1e9;    // the least time left to an exchange's own limits
    long rssStart = 0;
    std::unique_ptr<e2e::Tool> tool;
    const double t0 = e2e::Now();

    for (int round = 0; exchanges < 1000; ++round) {
        // A fresh controller each round, with up to three faults, each on a command of its own so
        // that it is known to fire; a "vanish" leaves none behind. Silence after "G" would last
        // its 200 s and 50 s limits: within the rules, but too long for a soak.
        std::map<std::string, std::pair<std::string, int>> armed;  // command -> fault, times left
        std::vector<std::string> args = {"--speed", "100", "--no-pacing"};
        for (int k = 0; k < 3; ++k) {
            const std::string name = k == 0 && round == 5 ? "no-lf" : pick(kFaults);
            const std::string cmd = name == "tumbler-break" ? "G" : pick(kCommands).substr(0, 2);
            const bool slow = name == "no-reply" || name == "no-lf";
            if ((slow && cmd == "G") || cmd == "SD" || cmd == "H1" || armed.count(cmd)) continue;
            const int n = name == "no-lf" ? 1 : 1 + int(rng() % 2);
            armed[cmd] = {name, n};
            args.insert(args.end(), {"--fault", name + "@" + cmd + "*" + std::to_string(n)});
        }
        port.Close();
        tool.reset();
        args.insert(args.end(), {"--link", dir + "/ports/COM1"});
        tool = std::make_unique<e2e::Tool>(args);
        ASSERT_TRUE(port.Open(1)) << port.LastError();

        for (int i = 0; i < 50; ++i) {
            // The stages a course needs first, then commands at random.
            const std::string cmd = i == 0 ? "SD1" : i == 1 ? "H1" : pick(kCommands);
            std::string fault;
            if (auto a = armed.find(cmd.substr(0, 2)); a != armed.end() && a->second.second > 0)
                --a->second.second, fault = a->second.first, ++injected, ++byFault[fault];
            const size_t logBefore = e2e::FileBytes(logFile).size();
            const double start = e2e::Now();
            c.link.CmdText = cmd;
            c.cmd->Command_Execute(cmd, true, false);
            const double took = e2e::Now() - start;
            ++exchanges;

            // The limits, the line's 0.2 s of silence before writing, and the dialogs and stops
            // of the error handling.
            const CommandClass cls = Command_Classify(cmd, c.instr.ModeWordWanted);
            closest = std::min(closest, cls.T1 + cls.T2 + 0.5 - took);
            EXPECT_LT(took, cls.T1 + cls.T2 + 0.5) << cmd << " with fault '" << fault << "'";
            EXPECT_FALSE(c.cmd->InFlight());
            if (c.cmd->Completed()) {
                ++completed;
                std::string reply;  // as the log keeps it: without the characters above code 128
                for (char ch : c.link.ReplyText)
                    if (static_cast<unsigned char>(ch) <= 128) reply += ch;
                const std::string added = e2e::FileBytes(logFile).substr(logBefore);
                EXPECT_TRUE(added.ends_with("\r\n") && added.find(reply) != std::string::npos)
                    << cmd << ": reply '" << c.link.ReplyText << "' not logged: '" << added << "'";
            }
            // The program would end here; the soak goes on with the next exchange.
            fatal += c.link.CmdFatal;
            if (c.link.CmdFatal && fault.empty())
                unprovoked += cmd + " -> " + c.link.ReplyText + "\n";
            c.link.CmdFatal = c.link.RunCancel = c.link.CmdError = c.link.InstrumentLost = false;
            if (fault == "vanish") break;
        }
        if (round == 0) rssStart = e2e::RssKb();  // after the first round has set up caches
    }
    const long rssEnd = e2e::RssKb();
    const double took = e2e::Now() - t0;

    // Unplugged between two exchanges: noticed within 2 s and told.
    tool->Wait(5, SIGKILL);
    const double lost = e2e::Now();
    while (!c.link.CmdFatal && e2e::Now() - lost < 2) clock.Yield(0.05);
    EXPECT_TRUE(c.link.CmdFatal && c.link.InstrumentLost) << "an idle loss went unnoticed";
    EXPECT_EQ(dialogs.boxes.back().prompt.left(30), "## INSTRUMENT IS DISCONNECTED!");

    std::cout << "[ soak     ] " << exchanges << " exchanges in " << took << " s, " << completed
              << " completed, " << injected << " faults injected (";
    for (const auto& [name, n] : byFault) std::cout << name << " " << n << ", ";
    std::cout << "), " << fatal << " fatal, RSS " << rssStart << " kB after the first round, "
              << rssEnd << " kB at the end, closest to a limit " << closest << " s\n";
    EXPECT_EQ(unprovoked, "");
    EXPECT_GT(injected, 40);
    EXPECT_LT(rssEnd - rssStart, 8 * 1024) << "a few MB of allocator slack";
}
