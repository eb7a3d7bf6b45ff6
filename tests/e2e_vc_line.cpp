// The virtual controller as a program, seen from the serial end of its pseudo-terminal: what the
// unit tests of its logic cannot show (the line's pace, real time, options, the link, the
// transcript and the ways out).

#include <gtest/gtest.h>
#include <termios.h>

#include <QTemporaryDir>
#include <regex>

#include "e2e_harness.h"

using namespace e2e;

namespace {

// The program's end of the line, raw.
struct Line {
    explicit Line(const std::string& dev) : fd(open(dev.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        termios t{};
        tcgetattr(fd, &t), cfmakeraw(&t), tcsetattr(fd, TCSANOW, &t);
    }
    ~Line() { close(fd); }
    // Sends cmd: what comes back until `stop` (kept; -1: none) or a hang-up, within timeout s.
    std::string Ask(const std::string& cmd, double timeout = 2, int stop = '\n') {
        [[maybe_unused]] const ssize_t sent = write(fd, cmd.data(), cmd.size());
        std::string got;
        for (const double end = Now() + timeout; Now() < end;) {
            pollfd p{fd, POLLIN, 0};
            char c = 0;
            if (poll(&p, 1, 10) <= 0) continue;
            const ssize_t n = read(fd, &c, 1);
            if (n == 1 && (got += c, (unsigned char)c == stop)) break;
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return hungUp = true, got;
        }
        return got;
    }
    int fd;
    bool hungUp = false;
};

}  // namespace

TEST(VcLine, PacedPiecesACourseInRealTimeAndFaultsInTurn) {
    Tool tool({"--speed", "100", "--fault", "yul-off@SM", "--fault", "no-lf@y", "--fault",
               "unknown-cmd@IP", "--fault", "hot-coil", "--fault", "tumbler-break"});
    Line line(tool.slave);
    const double t0 = Now();
    EXPECT_EQ(line.Ask("\x10"), "** ZAVO-V  06-Dec-2026  c00000\r\n");
    EXPECT_GT(Now() - t0, 0.032) << "9600 baud: a byte per 1.04 ms";
    EXPECT_EQ(line.Ask("FD", 0.1), "") << "half a command is not answered";
    EXPECT_EQ(line.Ask("080"), "** PRESET FIELD  80 mT\r\n");
    // Each fault on its command, once.
    EXPECT_EQ(line.Ask("SM1"), "## YUL is OFF \r\n");
    EXPECT_EQ(line.Ask("SM1"), "SM1\r\n");
    EXPECT_EQ(line.Ask("y", 0.5), "T: 3189mV   27 \370C\r");
    EXPECT_EQ(line.Ask("IP"), "## Unknown Cmd. \r\n");
    EXPECT_TRUE(line.Ask("IP").starts_with("Actual RAM Set:"));
    line.Ask("SD1H1FD060ER0ES2ET05SM0A000", 0.5, -1);
    // 3 s up, 5 s held, 60 mT at 9 mT/s: 14.7 s of course at speed 100.
    const double g = Now();
    const std::string course = line.Ask("G", 5);
    EXPECT_TRUE(Now() - g > 0.12 && Now() - g < 1.5) << Now() - g;
    EXPECT_TRUE(course.starts_with("-> Warning: Hot Coil \r") &&
                course.ends_with("End of Ramp \r\n"))
        << course;
    EXPECT_EQ(CourseCodes(course),
              "24 175:30 175:60 170:5 170:4 170:3 170:2 170:1 25 174:45 174:30 174:15 174:0 ");
    EXPECT_TRUE(
        std::regex_match(line.Ask("G", 5), std::regex("\x18[^]*## User Tumbler Break \r\n")));
    EXPECT_EQ(line.Ask("G", 2, 175).substr(0, 1), "\x18") << "rising, no fault left";
    EXPECT_TRUE(line.Ask("\x1b").ends_with("** STOP \r\n")) << "stopped at once";
    EXPECT_EQ(line.Ask("", 0.3, -1), "") << "the course does not go on";
}

TEST(VcLine, LinkTranscriptAndTheWaysOut) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString(), link = d + "/ports/COM1", log = d + "/vc.log";
    fs::create_directories(d + "/ports");
    fs::create_symlink("/nonexistent/stale", link);
    {
        Tool tool({"--link", link, "--transcript", log, "--fault", "vanish@IP"});
        ASSERT_EQ(fs::read_symlink(link).string(), tool.slave) << "stale replaced";
        Line line(link);
        line.Ask("FD0", 0.05, -1), line.Ask("12"), line.Ask("\x14\x03");
        const std::string part = line.Ask("IP", 2);
        EXPECT_TRUE(!part.empty() && part.find('\n') == std::string::npos) << "cut off mid-reply";
        EXPECT_TRUE(line.hungUp && tool.Wait(2) == 0);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "removed on vanishing";
    EXPECT_EQ(Commands(log), "FD012 \\x14\\x03 IP ") << "two pieces, one";
    Tool tool({"--link", link});
    EXPECT_EQ(tool.Wait(5, SIGINT), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "removed on a signal";
    EXPECT_EQ(Tool({"--link", log}).Wait(2), 1) << "a file is not replaced";
    EXPECT_EQ(Tool({"--fault", "melt"}).Wait(2), 2);
}
