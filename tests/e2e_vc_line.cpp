// The virtual controller as a program, seen from the serial end of its pseudo-terminal.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <regex>

#include "e2e_harness.h"

using namespace e2e;
namespace fs = std::filesystem;

static std::string Talk(Line& line, std::initializer_list<const char*> cmds) {
    std::string replies;
    for (const char* cmd : cmds) replies += line.Ask(cmd);
    return replies;
}

TEST(VcLine, FramingStateChangesAndBothReportLayouts) {
    Tool tool({"--speed", "100", "--no-tumbler"});
    Line line(tool.slave);
    EXPECT_EQ(line.Ask("\x10"), "** ZAVO-V  06-Dec-2026  c00000\r\n");
    line.Send("FD");
    EXPECT_EQ(line.ReadFor(0.1), "") << "half a command is not answered";
    EXPECT_EQ(Talk(line, {"080", "%&", "y"}),
              "** PRESET FIELD  80 mT\r\n## Unknown Cmd. \r\nT: 3189mV   27 \370C\r\n");
    Talk(line, {"A020", "FM250", "ES1", "ER2", "ET12", "SD1", "H1", "B1"});
    EXPECT_EQ(line.Ask("IP"),
              "Actual RAM Set:\rDMG\rTMB0 YUL1 WP1 REG1 B1\rFD 80 mT CD 1036  SC 622 cm2\r"
              "FA 20 mT\rFM 250 uT CM 0980\rER 2  ES 1  ET 12 s\rfg: 1045d 43.0 Hz\r"
              "SD1  SM0  H1\r\n");
    EXPECT_EQ(
        Talk(line, {"w", "M2", "D1", "ET25", "IP", "i"}),
        "WP Test is OFF \r\nTOV\r\nD+\r\nET 2500 ms\r\nActual RAM Set:\rTOV\rTMB0 YUL1 WP0  B1\r"
        "FP 0 mT CP 0987\rD+  ET 2500 ms\rSM0\r\n## Tumbler is NOT Connected \r\n");
    EXPECT_EQ(line.ReadFor(0.05), "") << "nothing left over";
}

TEST(VcLine, CourseProgressInOrderAndInTimeUntilEscape) {
    Tool tool({"--speed", "100"});
    Line line(tool.slave);
    line.Send("SD1H1FD060ER0ES2ET05SM1FM100A030"), line.Read(9, 3);
    const double t0 = Now();
    const std::string reply = line.Ask("G", 5);
    // 3 s rise, 5 s hold, 60 mT at 9 mT/s: 14.7 s of course at speed 100.
    EXPECT_TRUE(Now() - t0 > 0.12 && Now() - t0 < 1.5) << Now() - t0;
    EXPECT_EQ(CourseCodes(reply),
              "24 175:30 175:60 246:100 170:5 170:4 170:3 170:2 170:1 25 174:45 174:30 246:0 "
              "174:15 174:0 ");
    EXPECT_TRUE(reply.ends_with("End of Ramp \r\n")) << reply;
    Talk(line, {"FD100", "ER3", "ET30"}), line.Send("G");
    EXPECT_EQ(line.Read(1, 2, 175).substr(0, 1), "\x18") << "rising";
    EXPECT_TRUE(line.Ask("\x1b").ends_with("** STOP \r\n")) << "stopped at once";
    EXPECT_EQ(line.ReadFor(0.3), "") << "the course does not go on";
    EXPECT_EQ(line.Ask("\x1b"), "** STOP \r\n");
}

TEST(VcLine, EachFaultOnDemandThenUsedUp) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"coil-overheated@SD1", "SD1", "## Coil Overheated \r\n"},
        {"hypex-overheated@H1", "H1", "## Hypex Overheated \r\n"},
        {"tumbler-out@P", "P03", "## Tumbler Out of Coil \r\n"},
        {"yul-off@SM", "SM1", "## YUL is OFF \r\n"},
        {"unknown-cmd@IP", "IP", "## Unknown Cmd. \r\n"},
        {"no-reply@^P", "\x10", ""},
        {"no-lf@y", "y", "T: 3189mV   27 \370C\r"},
        {"hot-coil", "G", "-> Warning: Hot Coil \r\x18[^]*End of Ramp \r\n"},
        {"tumbler-break", "G", "\x18[^]*## User Tumbler Break \r\n"}};
    for (const auto& [fault, cmd, want] : cases) {
        SCOPED_TRACE(fault);
        Tool tool({"--speed", "100", "--fault", fault});
        Line line(tool.slave);
        if (*cmd == 'G') Talk(line, {"SD1", "H1", "FD010"});
        const std::string got = line.Ask(cmd, std::string(want).ends_with('\n') ? 3 : 0.5);
        EXPECT_TRUE(std::regex_match(got, std::regex(want))) << got;
        EXPECT_FALSE(line.Ask(cmd, 3).starts_with("##")) << "used up";
    }
}

TEST(VcLine, LinkTranscriptColdCoilAndTheWaysOut) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString(), link = d + "/ports/COM1", log = d + "/vc.log";
    fs::create_directories(d + "/ports");
    fs::create_symlink("/nonexistent/stale", link);
    {
        Tool tool({"--speed", "100", "--link", link, "--transcript", log});
        ASSERT_EQ(fs::read_symlink(link).string(), tool.slave) << "stale replaced";
        Line line(link);
        line.Send("FD0"), line.ReadFor(0.05), Talk(line, {"12", "\x14\x03", "\x1b"});
        EXPECT_EQ(tool.Wait(5, SIGINT), 0);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "removed on a signal";
    EXPECT_EQ(Transcript(log, "CMD", " "), "FD012 \\x14\\x03 \\x1B ") << "two pieces, one";
    {
        Tool tool({"--cold", "1.2", "--fault", "vanish@IP", "--link", link});
        const double start = Now();  // the tool's clock started before this
        Line line(link);
        EXPECT_LE(std::stoi(line.Ask("y", 0.3).substr(3)), 2440) << "still cold";
        line.ReadFor(1.25 - (Now() - start));
        EXPECT_GT(std::stoi(line.Ask("y").substr(3)), 2440) << "working temperature";
        const std::string part = line.Ask("IP", 2);
        EXPECT_TRUE(!part.empty() && part.find('\n') == std::string::npos) << "cut off mid-reply";
        EXPECT_TRUE(line.hungUp && tool.Wait(2) == 0);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "removed on vanishing";
    EXPECT_EQ(Tool({"--link", log}).Wait(2), 1) << "a file is not replaced";
    EXPECT_EQ(Tool({"--fault", "melt"}).Wait(2), 2);
}
