#include <gtest/gtest.h>

#include <array>
#include <random>

#include "core/Context.h"
#include "operations/StatusReport.h"
#include "support/TestProgram.h"

using namespace zavo;

namespace {

const std::string kDmg =
    "Actual RAM Set:\r\nDMG\r\nTMB1 YUL1 WP1 REG1 B0\r\nFD 120 mT CD 1036  SC 622 cm2\r\n"
    "FA 40 mT\r\nFM 250 uT CM 0980\r\nER 3  ES 2  ET 5 s\r\nfg: 1045d 43.0 Hz\r\nSD1  SM0  H1";
const std::string kTov =
    "IPActual RAM Set:\r\nTOV\r\nTMB0 YUL2 WP0  B0\r\nFP 15 mT CP 0987\r\nD-  ET 5000 ms\r\nSM1";

using S = InstrumentState;
using V = std::array<int, 14>;
// Every value, in report order: mode word, flags, DMG values, pulse field.
V Values(const S& s) {
    return {s.ModeWordActual, s.TumblerConnected, s.YULState, s.WPState,  s.FDActual,
            s.FAActual,       s.FMActual,         s.ERActual, s.ESActual, s.ETActual,
            s.SDActual,       s.SMActual,         s.HActual,  s.FPActual};
}

// A state whose every value (-1..-14) differs from what any report here holds.
S Marked() {
    S s;
    int n = 0;
    for (Int16* v : {&s.ModeWordActual, &s.TumblerConnected, &s.YULState, &s.WPState, &s.FDActual,
                     &s.FAActual, &s.FMActual, &s.ERActual, &s.ESActual, &s.ETActual, &s.SDActual,
                     &s.SMActual, &s.HActual, &s.FPActual})
        *v = Int16(--n);
    return s;
}
const V kMarked = Values(Marked());

S Parsed(const std::string& reply) {
    S s = Marked();
    StatusReport::Status_Parse(reply, s);
    return s;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

}  // namespace

TEST(StatusParse, LayoutsAndDamagedReports) {
    EXPECT_EQ(Values(Parsed(kDmg)), (V{1, 1, 1, 1, 120, 40, 250, 3, 2, 5, 1, 0, 1, -14}));
    // TOV: pulse time in tenths of a second; FD..H other than SM kept.
    EXPECT_EQ(Values(Parsed(kTov)), (V{2, 0, 2, 0, -5, -6, -7, -8, -9, 50, -11, 1, -13, 15}));
    for (auto [ms, tenths] : {std::pair{1000, 10}, {1050, 10}, {1150, 12}, {10, 0}})
        EXPECT_EQ(Parsed(Replace(kTov, "5000", std::to_string(ms))).ETActual, tenths) << ms;
    // Line feeds anywhere read as CR alone.
    EXPECT_EQ(Values(Parsed(kDmg)), Values(Parsed(Replace(kDmg, "\r\n", "\r"))));
    EXPECT_EQ(Values(Parsed(kDmg)), Values(Parsed(Replace(kDmg, "\r\n", "\n\r\n\n") + "\n")));
    // Cut after any line, complete lines are read; what is missing, unknown or
    // garbled keeps its value (a sign is no digit, beyond 16 bits no reading).
    const int firstField[] = {0, 0, 1, 4, 5, 6, 7, 10, 10, 13};  // by line count
    const V full = Values(Parsed(kDmg));
    for (size_t lines = 1, end = 0; lines <= 9; ++lines) {
        end = kDmg.find("\r\n", end + 1);
        const V got = Values(Parsed(kDmg.substr(0, end)));
        for (int i = 0; i < 14; ++i)
            EXPECT_EQ(got[i], i < firstField[lines] ? full[i] : kMarked[i]) << lines << ":" << i;
    }
    for (const std::string r : {"", "Actual RAM Set:", "Actual RAM Set:\r\n", "\r\r\r"})
        EXPECT_EQ(Values(Parsed(r)), kMarked) << r;
    EXPECT_EQ(Values(Parsed(Replace(kDmg, "DMG", "XYZ"))),
              (V{0, 1, 1, 1, -5, -6, -7, -8, -9, -10, -11, -12, -13, -14}));
    EXPECT_EQ(Values(Parsed("T\rDMG\rTMB0 YUL-2\rFD\rFA 4x0\rFM 99999 uT\rER 2  ES .\r\rSD1  SM1")),
              (V{1, 0, 2, -4, -5, 40, -7, 2, 0, -10, 1, 1, -13, -14}));
}

// Random bytes and mutated reports: never a crash or a read past the end
// (also run under the address and undefined-behaviour sanitizers).
TEST(StatusParse, RandomReports) {
    std::mt19937 rng(20261206);
    const std::string alphabet = "\r\n \r\n  0123456789.-DMGTOVFDASEHRPMYULWBmsTcg:#\xff";
    const auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n)(rng); };
    const auto any = [&] {
        return pick(1) ? alphabet[pick(alphabet.size() - 1)] : char(pick(255));
    };
    for (long runs = 0; runs < 200000; ++runs) {
        std::string r = runs % 2 ? kDmg : kTov;
        if (runs % 3 == 0) r.resize(pick(300));
        for (char& c : r) c = runs % 3 == 0 ? any() : c;
        for (size_t m = pick(6); m > 0 && !r.empty(); --m) {
            const size_t at = pick(r.size() - 1);
            pick(2) ? r.insert(at, 1, any()) : r.erase(at, pick(1) ? pick(8) : std::string::npos);
        }
        ASSERT_LE(Parsed(r).ModeWordActual, 2);
    }
}

// Simulated reports follow the instrument mode; a stop request, an error line
// or a silent controller leave the last good report in force.
TEST(StatusRead, SimulatedAndFailedReports) {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    ctx.settings.SIMULMODE = true;
    ctx.instr = Marked();
    ctx.report->Status_Read();
    EXPECT_EQ(Values(ctx.instr), (V{1, 1, 1, 1, 0, 0, 0, 3, 2, 5, 0, 0, 0, -14}));
    ctx.settings.ZAVMODE = 3;
    ctx.report->Status_Read();
    EXPECT_EQ(Values(ctx.instr), (V{2, 1, 1, 1, 0, 0, 0, 3, 2, 50, 0, 0, 0, 0}));
    ctx.instr = Marked();
    ctx.run.StopRequest = true;
    ctx.report->Status_Read();
    EXPECT_EQ(Values(ctx.instr), kMarked);
    ctx.settings.SIMULMODE = ctx.run.StopRequest = false;
    ASSERT_TRUE(tp.port.Open(1));
    for (const std::string reply : {"## Unknown Cmd. \n", ""}) {
        tp.port.responder = [&](const std::string&) { return reply; };
        ctx.report->Status_Read();
        EXPECT_EQ(Values(ctx.instr), kMarked) << reply;
        EXPECT_EQ(ctx.link.CmdText, "IP");
    }
}
