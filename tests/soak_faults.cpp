// Fault soak: the link and command logic (real clock, Qt serial port) against the virtual
// controller with random faults: exchanges within their limits, replies logged, no memory growth.

#include <gtest/gtest.h>

#include <iostream>
#include <map>

#include "app/Program.h"
#include "core/Clock.h"
#include "e2e_harness.h"
#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/QtSerialPort.h"
#include "support/FakeSound.h"
#include "support/ScriptedDialogs.h"

using namespace zavo;

// Answered at once ("G": a short course); no mode word, whose refusals of "G" are no faults.
const std::vector<std::string> kCommands = {"FD005", "FM100", "A002", "ES2", "ER0", "ET01",
                                            "SD1",   "H1",    "J",    "y",   "IP",  "IE",
                                            "w",     "G",     "G",    "G"};
// "no-lf" costs a 30 s time-out: it is given to one round only.
const std::vector<std::string> kFaults = {"unknown-cmd",      "hot-coil",    "coil-overheated",
                                          "hypex-overheated", "tumbler-out", "yul-off",
                                          "tumbler-break",    "vanish",      "no-reply"};

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
    const auto pick = [&rng](const auto& v) { return v[rng() % v.size()]; };
    int exchanges = 0, injected = 0;
    std::string unprovoked;  // fatal ends without a fault
    long rssStart = 0;
    std::unique_ptr<e2e::Tool> tool;

    for (int round = 0; exchanges < 1000; ++round) {
        // A fresh controller with up to three faults, each on its own command (not silence on "G").
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

        for (int i = 0; i < 50; ++i) {  // the stages a course needs first, then at random
            const std::string cmd = i == 0 ? "SD1" : i == 1 ? "H1" : pick(kCommands);
            std::string fault;
            if (auto a = armed.find(cmd.substr(0, 2)); a != armed.end() && a->second.second > 0)
                --a->second.second, fault = a->second.first, ++injected;
            const size_t logBefore = e2e::FileBytes(logFile).size();
            const double start = e2e::Now();
            c.link.CmdText = cmd;
            c.cmd->Command_Execute(cmd, true, false);
            ++exchanges;
            // The limits, the line's 0.2 s of silence before writing, and the error handling.
            const CommandClass cls = Command_Classify(cmd, c.instr.ModeWordWanted);
            EXPECT_LT(e2e::Now() - start, cls.T1 + cls.T2 + 0.5)
                << cmd << " with '" << fault << "'";
            EXPECT_FALSE(c.cmd->InFlight());
            if (c.cmd->Completed()) {
                std::string reply;  // as the log keeps it: without the characters above code 128
                for (char ch : c.link.ReplyText)
                    if (static_cast<unsigned char>(ch) <= 128) reply += ch;
                const std::string added = e2e::FileBytes(logFile).substr(logBefore);
                EXPECT_TRUE(added.ends_with("\r\n") && e2e::Has(added, reply))
                    << cmd << ": reply '" << c.link.ReplyText << "' not logged: '" << added << "'";
            }
            // The program would end here; the soak goes on with the next exchange.
            if (c.link.CmdFatal && fault.empty())
                unprovoked += cmd + " -> " + c.link.ReplyText + "\n";
            c.link.CmdFatal = c.link.RunCancel = c.link.CmdError = c.link.InstrumentLost = false;
            if (fault == "vanish") break;
        }
        if (round == 0) rssStart = e2e::RssKb();  // after the first round has set up caches
    }
    std::cout << "[ soak     ] " << injected << " faults injected, RSS " << rssStart
              << " kB after the first round, " << e2e::RssKb() << " kB at the end\n";
    EXPECT_EQ(unprovoked, "");
    EXPECT_GT(injected, 40);
    EXPECT_LT(e2e::RssKb() - rssStart, 8 * 1024) << "a few MB of allocator slack";
}
