// The virtual controller as a program: its pseudo-terminal, options, replies
// in real time and faults, seen from the serial end.

#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using e2e::Line;
using e2e::Tool;

std::vector<std::string> Args(std::initializer_list<const char*> extra) {
    std::vector<std::string> a{"--speed", "100"};
    for (const char* e : extra) a.push_back(e);
    return a;
}

TEST(VcLine, FramingOfRepliesAndReports) {
    Tool tool(Args({}));
    ASSERT_FALSE(tool.slave().empty());
    Line line(tool.slave());
    ASSERT_TRUE(line.ok());

    EXPECT_EQ(line.Ask("\x10"), "** ZAVO-V  06-Dec-2026  c00000\r\n");
    const std::string ip = line.Ask("IP");
    EXPECT_EQ(ip.find('\n'), ip.size() - 1);
    EXPECT_EQ(ip.substr(0, 20), "Actual RAM Set:\rDMG\r");
    EXPECT_EQ(std::count(ip.begin(), ip.end(), '\r'), 9) << "nine lines";

    // A command split over two writes, then garbage, then the line is in step.
    line.Send("FD");
    EXPECT_EQ(line.ReadFor(0.1), "");
    EXPECT_EQ(line.Ask("045"), "** PRESET FIELD  45 mT\r\n");
    EXPECT_EQ(line.Ask("%&"), "## Unknown Cmd. \r\n");
    EXPECT_EQ(line.Ask("y"),
              "T: 3189mV   27 \xf8"
              "C\r\n");
    EXPECT_EQ(line.ReadFor(0.05), "") << "nothing left over";
}

TEST(VcLine, StateChangesShowInBothReportLayouts) {
    Tool tool(Args({"--no-tumbler"}));
    Line line(tool.slave());
    for (const char* cmd : {"FD080", "A020", "FM250", "ES1", "ER2", "ET12", "SD1", "H1", "B1"})
        ASSERT_NE(line.Ask(cmd), "") << cmd;
    EXPECT_EQ(line.Ask("IP"),
              "Actual RAM Set:\rDMG\rTMB0 YUL1 WP1 REG1 B1\rFD 80 mT CD 1036  SC 622 cm2\r"
              "FA 20 mT\rFM 250 uT CM 0980\rER 2  ES 1  ET 12 s\rfg: 1045d 43.0 Hz\r"
              "SD1  SM0  H1\r\n");
    EXPECT_EQ(line.Ask("w"), "WP Test is OFF \r\n");
    EXPECT_EQ(line.Ask("M2"), "TOV\r\n");
    EXPECT_EQ(line.Ask("D1"), "D+\r\n");
    EXPECT_EQ(line.Ask("ET25"), "ET 2500 ms\r\n");
    EXPECT_EQ(line.Ask("IP"),
              "Actual RAM Set:\rTOV\rTMB0 YUL1 WP0  B1\rFP 0 mT CP 0987\rD+  ET 2500 ms\rSM0\r\n");
    EXPECT_EQ(line.Ask("i"), "## Tumbler is NOT Connected \r\n");
}

TEST(VcLine, CourseProgressArrivesInOrderAndInTime) {
    Tool tool(Args({}));
    Line line(tool.slave());
    line.Send("SD1H1FD060ER0ES2ET05SM1FM100A030");
    const std::string confirmed = line.ReadLines(9);
    EXPECT_EQ(std::count(confirmed.begin(), confirmed.end(), '\n'), 9) << confirmed;
    const double t0 = e2e::Now();
    const std::string reply = line.Ask("G", 5);
    const double took = e2e::Now() - t0;
    EXPECT_EQ(e2e::CourseCodes(reply),
              "24 175:30 175:60 246:100 170:5 170:4 170:3 170:2 170:1 25 174:45 174:30 246:0 "
              "174:15 174:0 ");
    EXPECT_EQ(reply.substr(reply.size() - 14), "End of Ramp \r\n");
    // 3 s rise, 5 s hold, 60 mT at 9 mT/s: 14.7 s of course at speed 100.
    EXPECT_GT(took, 0.12);
    EXPECT_LT(took, 1.5);

    // The frequency search reports its steps and then its result.
    const std::string z = line.Ask("z", 5);
    EXPECT_EQ(z.substr(0, 10), "1000d1005d");
    EXPECT_EQ(z.substr(z.size() - 19), "fg: 1045d 43.0 Hz\r\n");
}

TEST(VcLine, EscapeStopsARunningCourse) {
    Tool tool({"--speed", "10"});
    Line line(tool.slave());
    line.Send("SD1H1FD100ER3");
    EXPECT_EQ(line.ReadLines(4), "SD1\r\nH1\r\n** PRESET FIELD  100 mT\r\nER 3\r\n");
    line.Send("G");
    const std::string begun = line.ReadFor(0.3);
    EXPECT_EQ(begun.substr(0, 1), "\x18");
    EXPECT_EQ(begun.find('\n'), std::string::npos);
    line.Send("\x1b");
    const std::string rest = line.ReadLine(1);
    EXPECT_EQ(rest.substr(rest.size() - 10), "** STOP \r\n");
    EXPECT_EQ(line.ReadFor(0.3), "") << "the course does not go on";
    EXPECT_EQ(line.Ask("\x1b"), "** STOP \r\n");
}

struct FaultCase {
    const char* fault;
    const char* setup;  // commands answered normally first
    const char* cmd;
    const char* expectStart;
};

TEST(VcLine, EachFaultOnDemand) {
    const FaultCase cases[] = {
        {"coil-overheated", "", "SD1", "## Coil Overheated \r\n"},
        {"hypex-overheated@H1", "", "H1", "## Hypex Overheated \r\n"},
        {"tumbler-out@P", "", "P03", "## Tumbler Out of Coil \r\n"},
        {"yul-off@SM", "", "SM1", "## YUL is OFF \r\n"},
        {"unknown-cmd@IP", "", "IP", "## Unknown Cmd. \r\n"},
        {"hot-coil", "SD1H1FD010", "G", "-> Warning: Hot Coil \r\x18"},
        {"tumbler-break", "SD1H1FD010", "G", "\x18"},
    };
    for (const FaultCase& c : cases) {
        std::string f = c.fault;
        if (f.find('@') == std::string::npos) f += std::string("@") + c.cmd;
        Tool tool(Args({"--fault", f.c_str()}));
        Line line(tool.slave());
        line.Send(c.setup);
        line.ReadLines(*c.setup ? 3 : 0);
        const std::string got = line.Ask(c.cmd, 3);
        EXPECT_EQ(got.substr(0, std::string(c.expectStart).size()), c.expectStart) << c.fault;
        EXPECT_EQ(got.back(), '\n') << c.fault;
        if (std::string(c.fault) == "tumbler-break") {
            EXPECT_EQ(got.substr(got.size() - 24), "## User Tumbler Break \r\n");
        }
        // Used up: the same command is answered normally again.
        EXPECT_EQ(line.Ask(c.cmd, 3).substr(0, 2) == "##", false) << c.fault;
    }
}

TEST(VcLine, SilenceUnterminatedRepliesAndAColdCoil) {
    Tool tool(Args({"--fault", "no-reply@^P", "--fault", "no-lf@y", "--cold", "1.2"}));
    const double start = e2e::Now();  // the tool's clock started before this
    Line line(tool.slave());
    const std::string cold = line.Ask("y", 0.3);
    EXPECT_EQ(cold.substr(0, 3), "T: ");
    EXPECT_EQ(cold.back(), '\r') << "no line feed";
    EXPECT_LE(std::stoi(cold.substr(3)), 2440) << "still cold";
    EXPECT_EQ(line.Ask("\x10", 0.5), "");
    EXPECT_EQ(line.Ask("\x10", 0.5).substr(0, 7), "** ZAVO");
    line.ReadFor(1.25 - (e2e::Now() - start));
    EXPECT_GT(std::stoi(line.Ask("y").substr(3)), 2440) << "working temperature";
}

TEST(VcLine, VanishingDeviceHangsUpTheLine) {
    e2e::TempDir dir;
    const auto link = dir.path() / "ports" / "COM2";
    Tool tool(Args({"--fault", "vanish@IP", "--link", link.c_str()}));
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    Line line(tool.slave());
    EXPECT_EQ(line.Ask("H1"), "H1\r\n");
    const std::string part = line.Ask("IP", 2);
    EXPECT_FALSE(part.empty());
    EXPECT_EQ(part.find('\n'), std::string::npos) << "cut off mid-reply";
    EXPECT_TRUE(line.hungUp());
    EXPECT_EQ(tool.Wait(2), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(VcLine, LinkTranscriptAndCleanExit) {
    e2e::TempDir dir;
    const auto link = dir.path() / "ports" / "COM1";
    const auto transcript = dir.path() / "vc.log";
    std::filesystem::create_directories(link.parent_path());
    std::filesystem::create_symlink("/nonexistent/stale", link);
    {
        Tool tool(Args({"--link", link.c_str(), "--transcript", transcript.c_str()}));
        ASSERT_EQ(std::filesystem::read_symlink(link).string(), tool.slave()) << "stale replaced";
        Line line(link.string());
        line.Send("FD0");  // in two pieces: one command
        line.ReadFor(0.05);
        line.Ask("12");
        line.Ask(std::string{20, 3});
        line.Ask("\x1b");
        EXPECT_EQ(tool.Stop(SIGINT), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    const std::vector<std::string> expected{"FD012", "\\x14\\x03", "\\x1B"};
    EXPECT_EQ(e2e::TranscriptCommands(transcript), expected);
    EXPECT_EQ(e2e::TranscriptStream(transcript, "RX "), "FD012\\x14\\x03\\x1B");
    EXPECT_EQ(e2e::TranscriptStream(transcript, "TX "),
              "** PRESET FIELD  12 mT\\r\\n** STOP \\r\\n** STOP \\r\\n");

    // A file where the link should go is not replaced.
    std::ofstream(dir.path() / "taken") << "x";
    Tool refused(Args({"--link", (dir.path() / "taken").c_str()}));
    EXPECT_EQ(refused.Wait(2), 1);
    Tool bad(Args({"--fault", "melt"}));
    EXPECT_EQ(bad.Wait(2), 2);
}

}  // namespace
