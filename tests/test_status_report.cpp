// The status report: both layouts, damaged reports, and reading it from the controller.
#include <gtest/gtest.h>

#include <array>

#include "core/Context.h"
#include "operations/StatusReport.h"
#include "support/TestProgram.h"

using namespace zavo;

const std::string kDmg =
    "Actual RAM Set:\r\nDMG\r\nTMB1 YUL1 WP1 REG1 B0\r\nFD 120 mT CD 1036  SC 622 cm2\r\n"
    "FA 40 mT\r\nFM 250 uT CM 0980\r\nER 3  ES 2  ET 5 s\r\nfg: 1045d 43.0 Hz\r\nSD1  SM0  H1";
const std::string kTov =
    "IPActual RAM Set:\r\nTOV\r\nTMB0 YUL2 WP0  B0\r\nFP 15 mT CP 0987\r\nD-  ET 5000 ms\r\nSM1";

using S = InstrumentState;
using V = std::array<int, 14>;
// Every value, in report order: mode word, flags, DMG values, pulse field; marked: -1..-14.
constexpr std::array<Int16 S::*, 14> kFields{
    &S::ModeWordActual, &S::TumblerConnected, &S::YULState, &S::WPState,  &S::FDActual,
    &S::FAActual,       &S::FMActual,         &S::ERActual, &S::ESActual, &S::ETActual,
    &S::SDActual,       &S::SMActual,         &S::HActual,  &S::FPActual};
V Values(const S& s) {
    return std::apply([&](auto... f) { return V{s.*f...}; }, kFields);
}
S Marked() {
    S s;
    for (int i = 0; i < 14; ++i) s.*kFields[i] = Int16(-1 - i);
    return s;
}
const V kMarked = Values(Marked());
V Parse(const std::string& reply) {
    S s = Marked();
    return StatusReport::Status_Parse(reply, s), Values(s);
}
std::string Replace(const std::string& s, const char* from, const char* to) {
    return QString::fromStdString(s).replace(from, to).toStdString();
}

TEST(StatusParse, LayoutsAndDamagedReports) {
    const V full{1, 1, 1, 1, 120, 40, 250, 3, 2, 5, 1, 0, 1, -14};
    for (const auto& r : {kDmg, Replace(kDmg, "\n", ""), Replace(kDmg + "\n", "\r", "\n\r\n")})
        EXPECT_EQ(Parse(r), full) << r;  // line feeds anywhere read as CR alone
    // TOV: pulse time in tenths of a second, FD..H other than SM kept.
    EXPECT_EQ(Parse(kTov), (V{2, 0, 2, 0, -5, -6, -7, -8, -9, 50, -11, 1, -13, 15}));
    for (auto [ms, tenths] : {std::pair{1000, 10}, {1050, 10}, {1150, 12}, {10, 0}})
        EXPECT_EQ(Parse(Replace(kTov, "5000", std::to_string(ms).c_str()))[9], tenths) << ms;
    // What is missing, unknown or garbled keeps its value (a sign is no digit, beyond 16 bits no
    // reading); cut after any line, the complete lines are read.
    for (const std::string r : {"", "\r\r\r", "Actual RAM Set:\r\n"}) EXPECT_EQ(Parse(r), kMarked);
    EXPECT_EQ(Parse(Replace(kDmg, "DMG", "XYZ")),
              (V{0, 1, 1, 1, -5, -6, -7, -8, -9, -10, -11, -12, -13, -14}));
    EXPECT_EQ(Parse("T\rDMG\rTMB0 YUL-2\rFD\rFA 4x0\rFM 99999 uT\rER 2  ES .\r\rSD1  SM1"),
              (V{1, 0, 2, -4, -5, 40, -7, 2, 0, -10, 1, 1, -13, -14}));
    const int firstField[] = {0, 0, 1, 4, 5, 6, 7, 10, 10, 13};  // by line count
    for (size_t lines = 1, end = 0; lines <= 9; ++lines) {
        V want = kMarked;
        std::copy_n(full.begin(), firstField[lines], want.begin());
        EXPECT_EQ(Parse(kDmg.substr(0, end = kDmg.find("\r\n", end + 1))), want) << lines;
    }
}

// Simulated reports follow the mode; a stop, an error line or silence keep the last good report.
TEST(StatusRead, SimulatedAndFailedReports) {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    ctx.settings.SIMULMODE = true, ctx.instr = Marked(), ctx.report->Status_Read();
    EXPECT_EQ(Values(ctx.instr), (V{1, 1, 1, 1, 0, 0, 0, 3, 2, 5, 0, 0, 0, -14}));
    ctx.settings.ZAVMODE = 3, ctx.report->Status_Read();
    EXPECT_EQ(Values(ctx.instr), (V{2, 1, 1, 1, 0, 0, 0, 3, 2, 50, 0, 0, 0, 0}));
    ctx.instr = Marked(), ctx.run.StopRequest = true, ctx.report->Status_Read();
    EXPECT_EQ(Values(ctx.instr), kMarked);
    ctx.settings.SIMULMODE = ctx.run.StopRequest = false;
    ASSERT_TRUE(tp.port.Open(1));
    for (const std::string reply : {"## Unknown Cmd. \n", ""}) {
        tp.port.responder = [&](const std::string&) { return reply; };
        ctx.report->Status_Read();
        EXPECT_TRUE(Values(ctx.instr) == kMarked && ctx.link.CmdText == "IP") << reply;
    }
}
