#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "core/Context.h"
#include "link/CommandLink.h"
#include "operations/StatusReport.h"
#include "support/TestProgram.h"

using namespace zavo;

namespace {

const std::string kDmg =
    "Actual RAM Set:\r\nDMG\r\nTMB1 YUL1 WP1 REG1 B0\r\nFD 120 mT CD 1036  SC 622 cm2\r\n"
    "FA 40 mT\r\nFM 250 uT CM 0980\r\nER 3  ES 2  ET 5 s\r\nfg: 1045d 43.0 Hz\r\nSD1  SM0  H1";
const std::string kTov =
    "IPActual RAM Set:\r\nTOV\r\nTMB0 YUL2 WP0  B0\r\nFP 15 mT CP 0987\r\nD-  ET 5000 ms\r\nSM1";

// A state whose every value differs from what the reports above hold.
InstrumentState Marked() {
    InstrumentState s;
    s.FDActual = -1, s.FAActual = -2, s.FMActual = -3, s.FPActual = -4, s.ESActual = -5;
    s.ERActual = -6, s.ETActual = -7, s.SDActual = -8, s.SMActual = -9, s.HActual = -10;
    s.ModeWordActual = -11, s.TumblerConnected = -12, s.YULState = -13, s.WPState = -14;
    return s;
}

bool Same(const InstrumentState& a, const InstrumentState& b) {
    return a.FDActual == b.FDActual && a.FAActual == b.FAActual && a.FMActual == b.FMActual &&
           a.FPActual == b.FPActual && a.ESActual == b.ESActual && a.ERActual == b.ERActual &&
           a.ETActual == b.ETActual && a.SDActual == b.SDActual && a.SMActual == b.SMActual &&
           a.HActual == b.HActual && a.ModeWordActual == b.ModeWordActual &&
           a.TumblerConnected == b.TumblerConnected && a.YULState == b.YULState &&
           a.WPState == b.WPState;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

}  // namespace

TEST(StatusParse, DemagnetizerReportKeepsThePulseField) {
    InstrumentState s = Marked();
    StatusReport::Status_Parse(kDmg, s);
    EXPECT_EQ(s.ModeWordActual, 1);
    EXPECT_EQ(s.TumblerConnected, 1);
    EXPECT_EQ(s.YULState, 1);
    EXPECT_EQ(s.WPState, 1);
    EXPECT_EQ(s.FDActual, 120);
    EXPECT_EQ(s.FAActual, 40);
    EXPECT_EQ(s.FMActual, 250);
    EXPECT_EQ(s.ERActual, 3);
    EXPECT_EQ(s.ESActual, 2);
    EXPECT_EQ(s.ETActual, 5);
    EXPECT_EQ(s.SDActual, 1);
    EXPECT_EQ(s.SMActual, 0);
    EXPECT_EQ(s.HActual, 1);
    EXPECT_EQ(s.FPActual, -4);
}

TEST(StatusParse, PulseReportKeepsTheDemagnetizerValues) {
    InstrumentState s = Marked();
    StatusReport::Status_Parse(kTov, s);
    EXPECT_EQ(s.ModeWordActual, 2);
    EXPECT_EQ(s.TumblerConnected, 0);
    EXPECT_EQ(s.YULState, 2);
    EXPECT_EQ(s.WPState, 0);
    EXPECT_EQ(s.FPActual, 15);
    EXPECT_EQ(s.ETActual, 50);
    EXPECT_EQ(s.SMActual, 1);
    for (Int16 v :
         {s.FDActual, s.FAActual, s.FMActual, s.ERActual, s.ESActual, s.SDActual, s.HActual})
        EXPECT_LT(v, 0);
}

TEST(StatusParse, PulseTimeInTenthsRoundedToEven) {
    for (auto [ms, tenths] : {std::pair{1000, 10}, {1050, 10}, {1150, 12}, {10, 0}, {60, 1}}) {
        InstrumentState s;
        StatusReport::Status_Parse(Replace(kTov, "5000", std::to_string(ms)), s);
        EXPECT_EQ(s.ETActual, tenths) << ms;
    }
}

TEST(StatusParse, LineEndsCrAloneOrWithStrayLineFeeds) {
    InstrumentState crlf, cr, lf;
    StatusReport::Status_Parse(kDmg, crlf);
    StatusReport::Status_Parse(Replace(kDmg, "\r\n", "\r"), cr);
    StatusReport::Status_Parse(Replace(kDmg, "\r\n", "\r\n\n") + "\n", lf);
    EXPECT_TRUE(Same(crlf, cr));
    EXPECT_TRUE(Same(crlf, lf));
}

TEST(StatusParse, UnknownUnitReadsOnlyTheFlags) {
    InstrumentState s = Marked();
    StatusReport::Status_Parse(Replace(kDmg, "DMG", "XYZ"), s);
    EXPECT_EQ(s.ModeWordActual, 0);
    EXPECT_EQ(s.TumblerConnected, 1);
    EXPECT_EQ(s.FDActual, -1);
    EXPECT_EQ(s.SDActual, -8);
}

TEST(StatusParse, NoUnitWordChangesNothing) {
    for (const std::string r : {"", "Actual RAM Set:", "Actual RAM Set:\r\n", "\r\r\r"}) {
        InstrumentState s = Marked();
        StatusReport::Status_Parse(r, s);
        EXPECT_TRUE(Same(s, Marked())) << r;
    }
}

// A report cut after any line: what stood in complete lines is read, the
// rest keeps its former value.
TEST(StatusParse, TruncatedAtEveryLine) {
    InstrumentState full;
    StatusReport::Status_Parse(kDmg, full);
    const Int16 InstrumentState::*byLine[9][3] = {
        {},
        {&InstrumentState::ModeWordActual},
        {&InstrumentState::TumblerConnected, &InstrumentState::YULState, &InstrumentState::WPState},
        {&InstrumentState::FDActual},
        {&InstrumentState::FAActual},
        {&InstrumentState::FMActual},
        {&InstrumentState::ERActual, &InstrumentState::ESActual, &InstrumentState::ETActual},
        {},
        {&InstrumentState::SDActual, &InstrumentState::SMActual, &InstrumentState::HActual},
    };
    size_t end = 0;
    for (int lines = 1; lines <= 9; ++lines) {
        end = kDmg.find("\r\n", end + 1);
        InstrumentState s = Marked();
        StatusReport::Status_Parse(kDmg.substr(0, end), s);
        for (int l = 1; l < 9; ++l)
            for (auto f : byLine[l]) {
                if (!f) continue;
                EXPECT_EQ(s.*f, (l < lines ? full : Marked()).*f) << lines << " lines, line " << l;
            }
    }
}

TEST(StatusParse, ShortLinesReadOnlyTheWordsPresent) {
    InstrumentState s = Marked();
    StatusReport::Status_Parse("T\rDMG\rTMB0\rFD\rFA 7\rFM 1 uT\rER 2\r\rSD1  SM1", s);
    EXPECT_EQ(s.TumblerConnected, 0);
    EXPECT_EQ(s.YULState, -13);
    EXPECT_EQ(s.FDActual, -1);
    EXPECT_EQ(s.FAActual, 7);
    EXPECT_EQ(s.ERActual, 2);
    EXPECT_EQ(s.ESActual, -5);
    EXPECT_EQ(s.SMActual, 1);
    EXPECT_EQ(s.HActual, -10);
}

TEST(StatusParse, GarbledFields) {
    InstrumentState s = Marked();
    // Numbers beyond 16 bits are no reading; stray characters around digits are.
    StatusReport::Status_Parse(
        "T\rDMG\rTMB1x YUL-2 WP1.6\rFD 99999 mT\rFA 4x0\rFM .\rER 1  ES 2  ET 1e2", s);
    EXPECT_EQ(s.FDActual, -1);
    EXPECT_EQ(s.YULState, 2);
    EXPECT_EQ(s.WPState, 2);
    EXPECT_EQ(s.FAActual, 40);
    EXPECT_EQ(s.FMActual, 0);
    EXPECT_EQ(s.ETActual, 12);
}

// Random bytes and mutated reports: every input is read without a crash or a
// read past its end (run under the address sanitizer too).
TEST(StatusParse, RandomReports) {
    std::mt19937 rng(20261206);
    const std::string alphabet = "\r\n \r\n  0123456789.-DMGTOVFDASEHRPMYULWBmsTcg:#\xff";
    const auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n)(rng); };
    const auto start = std::chrono::steady_clock::now();
    long runs = 0;
    for (; runs < 200000; ++runs) {
        std::string r;
        switch (runs % 3) {
            case 0:  // any bytes
                r.resize(pick(200));
                for (char& c : r) c = char(pick(255));
                break;
            case 1:  // report-like characters
                r.resize(pick(300));
                for (char& c : r) c = alphabet[pick(alphabet.size() - 1)];
                break;
            default:  // a real report, mutated
                r = runs % 2 ? kDmg : kTov;
                for (size_t m = pick(6); m > 0 && !r.empty(); --m) {
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
        }
        InstrumentState s = Marked();
        StatusReport::Status_Parse(r, s);
        ASSERT_TRUE(s.ModeWordActual >= -11 && s.ModeWordActual <= 2);
    }
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ random reports ] %ld inputs in %.2f s\n", runs, secs);
}

// Through the link: the simulated instrument answers by the instrument mode.
TEST(StatusRead, SimulatedReports) {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    ctx.settings.SIMULMODE = true;
    ctx.instr = Marked();
    ctx.settings.ZAVMODE = 1;
    ctx.report->Status_Read();
    EXPECT_EQ(ctx.instr.ModeWordActual, 1);
    EXPECT_EQ(ctx.instr.ERActual, 3);
    EXPECT_EQ(ctx.instr.ETActual, 5);
    EXPECT_EQ(ctx.instr.FPActual, -4);
    ctx.settings.ZAVMODE = 3;
    ctx.report->Status_Read();
    EXPECT_EQ(ctx.instr.ModeWordActual, 2);
    EXPECT_EQ(ctx.instr.ETActual, 50);
    EXPECT_EQ(ctx.instr.FPActual, 0);
    EXPECT_EQ(ctx.instr.ERActual, 3);
}

TEST(StatusRead, StopRequestChangesNothing) {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    ctx.settings.SIMULMODE = true;
    ctx.instr = Marked();
    ctx.run.StopRequest = true;
    ctx.report->Status_Read();
    EXPECT_TRUE(Same(ctx.instr, Marked()));
}

// An error line or a silent controller leaves the last good report in force.
TEST(StatusRead, ErrorLineOrNoReplyChangesNothing) {
    for (const std::string reply : {"## Unknown Cmd. \n", ""}) {
        test::TestProgram tp;
        Ctx& ctx = tp.ctx();
        ASSERT_TRUE(tp.port.Open(1));
        tp.port.responder = [&](const std::string&) { return reply; };
        ctx.instr = Marked();
        ctx.report->Status_Read();
        EXPECT_TRUE(Same(ctx.instr, Marked())) << reply;
        EXPECT_EQ(ctx.link.CmdText, "IP");
    }
}
