#include <gtest/gtest.h>

#include <array>
#include <chrono>
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

// A state whose every value differs from what any report here holds.
S Marked() {
    S s;
    s.ModeWordActual = -1, s.TumblerConnected = -2, s.YULState = -3, s.WPState = -4;
    s.FDActual = -5, s.FAActual = -6, s.FMActual = -7, s.ERActual = -8, s.ESActual = -9;
    s.ETActual = -10, s.SDActual = -11, s.SMActual = -12, s.HActual = -13, s.FPActual = -14;
    return s;
}

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

TEST(StatusParse, BothLayoutsKeepTheOtherLayoutsValues) {
    EXPECT_EQ(Values(Parsed(kDmg)), (V{1, 1, 1, 1, 120, 40, 250, 3, 2, 5, 1, 0, 1, -14}));
    // TOV: pulse time in tenths of a second; FD..H other than SM kept.
    EXPECT_EQ(Values(Parsed(kTov)), (V{2, 0, 2, 0, -5, -6, -7, -8, -9, 50, -11, 1, -13, 15}));
    for (auto [ms, tenths] : {std::pair{1000, 10}, {1050, 10}, {1150, 12}, {10, 0}})
        EXPECT_EQ(Parsed(Replace(kTov, "5000", std::to_string(ms))).ETActual, tenths) << ms;
}

TEST(StatusParse, LineFeedsAnywhereReadAsCrAlone) {
    EXPECT_EQ(Values(Parsed(kDmg)), Values(Parsed(Replace(kDmg, "\r\n", "\r"))));
    EXPECT_EQ(Values(Parsed(kDmg)), Values(Parsed(Replace(kDmg, "\r\n", "\n\r\n\n") + "\n")));
}

TEST(StatusParse, UnknownOrMissingUnitWord) {
    const S s = Parsed(Replace(kDmg, "DMG", "XYZ"));
    EXPECT_EQ(s.ModeWordActual, 0);
    EXPECT_EQ(s.TumblerConnected, 1);
    EXPECT_EQ(s.FDActual, Marked().FDActual);
    for (const std::string r : {"", "Actual RAM Set:", "Actual RAM Set:\r\n", "\r\r\r"})
        EXPECT_EQ(Values(Parsed(r)), Values(Marked())) << r;
}

// Cut after any line: complete lines are read, the rest keeps its values.
TEST(StatusParse, TruncatedAtEveryLine) {
    const int firstField[] = {0, 0, 1, 4, 5, 6, 7, 10, 10, 13};  // by line count
    size_t end = 0;
    for (int lines = 1; lines <= 9; ++lines) {
        end = kDmg.find("\r\n", end + 1);
        const V got = Values(Parsed(kDmg.substr(0, end)));
        const V full = Values(Parsed(kDmg)), none = Values(Marked());
        for (int i = 0; i < 14; ++i)
            EXPECT_EQ(got[i], i < firstField[lines] ? full[i] : none[i]) << lines << ":" << i;
    }
}

TEST(StatusParse, ShortAndGarbledLines) {
    S s = Parsed("T\rDMG\rTMB0 YUL-2\rFD\rFA 4x0\rFM 99999 uT\rER 2  ES .\r\rSD1  SM1");
    EXPECT_EQ(s.TumblerConnected, 0);
    EXPECT_EQ(s.YULState, 2);  // the sign is no digit
    EXPECT_EQ(s.WPState, Marked().WPState);
    EXPECT_EQ(s.FDActual, Marked().FDActual);
    EXPECT_EQ(s.FAActual, 40);
    EXPECT_EQ(s.FMActual, Marked().FMActual);  // beyond 16 bits: no reading
    EXPECT_EQ(s.ERActual, 2);
    EXPECT_EQ(s.ESActual, 0);
    EXPECT_EQ(s.ETActual, Marked().ETActual);
    EXPECT_EQ(s.SMActual, 1);
    EXPECT_EQ(s.HActual, Marked().HActual);
}

// Random bytes and mutated reports: never a crash or a read past the end
// (also run under the address and undefined-behaviour sanitizers).
TEST(StatusParse, RandomReports) {
    std::mt19937 rng(20261206);
    const std::string alphabet = "\r\n \r\n  0123456789.-DMGTOVFDASEHRPMYULWBmsTcg:#\xff";
    const auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n)(rng); };
    const auto start = std::chrono::steady_clock::now();
    long runs = 0;
    for (; runs < 200000; ++runs) {
        std::string r = runs % 2 ? kDmg : kTov;
        if (runs % 3 < 2) {
            r.resize(pick(300));
            for (char& c : r) c = runs % 3 ? char(pick(255)) : alphabet[pick(alphabet.size() - 1)];
        }
        for (size_t m = runs % 3 == 2 ? pick(6) : 0; m > 0 && !r.empty(); --m) {
            const size_t at = pick(r.size() - 1);
            switch (pick(3)) {
                case 0:
                    r.erase(at, pick(8));
                    break;
                case 1:
                    r.insert(at, 1, alphabet[pick(alphabet.size() - 1)]);
                    break;
                case 2:
                    r[at] = char(pick(255));
                    break;
                default:
                    r.resize(at);
                    break;
            }
        }
        ASSERT_LE(Parsed(r).ModeWordActual, 2);
    }
    std::printf("[ random reports ] %ld inputs in %.2f s\n", runs,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

TEST(StatusRead, SimulatedReportsByInstrumentMode) {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    ctx.settings.SIMULMODE = true;
    ctx.instr = Marked();
    ctx.report->Status_Read();
    EXPECT_EQ(Values(ctx.instr), (V{1, 1, 1, 1, 0, 0, 0, 3, 2, 5, 0, 0, 0, -14}));
    ctx.settings.ZAVMODE = 3;
    ctx.report->Status_Read();
    EXPECT_EQ(ctx.instr.ModeWordActual, 2);
    EXPECT_EQ(ctx.instr.ETActual, 50);
    EXPECT_EQ(ctx.instr.FPActual, 0);
    ctx.instr = Marked();
    ctx.run.StopRequest = true;
    ctx.report->Status_Read();
    EXPECT_EQ(Values(ctx.instr), Values(Marked()));
}

// An error line or a silent controller leaves the last good report in force.
TEST(StatusRead, ErrorLineOrNoReplyChangesNothing) {
    for (const std::string reply : {"## Unknown Cmd. \n", ""}) {
        test::TestProgram tp;
        ASSERT_TRUE(tp.port.Open(1));
        tp.port.responder = [&](const std::string&) { return reply; };
        tp.ctx().instr = Marked();
        tp.ctx().report->Status_Read();
        EXPECT_EQ(Values(tp.ctx().instr), Values(Marked())) << reply;
        EXPECT_EQ(tp.ctx().link.CmdText, "IP");
    }
}
