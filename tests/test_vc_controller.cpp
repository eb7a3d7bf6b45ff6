// The virtual controller's logic, driven in-process on a virtual time line.

#include <gtest/gtest.h>

#include "Controller.h"
#include "e2e_harness.h"

using e2e::CourseCodes;

struct Rig {
    explicit Rig(vc::Options o = {}) : ctl((o.byteTime = 0, o), 0.0) {}
    // Sends bytes and collects everything said up to `limit` seconds later (replies go at once).
    std::string Say(const std::string& bytes, double limit = 600) {
        const double end = now + limit;
        ctl.Receive(bytes, now);
        std::string out = ctl.TakeOutput(now);
        for (double due = ctl.NextDue(); due <= end; due = ctl.NextDue())
            out += ctl.TakeOutput(now = std::max(now, due));
        now = std::max(now, std::min(end, now + 0.001));
        return out;
    }
    void Play(std::initializer_list<std::pair<std::string, std::string>> steps) {
        for (const auto& [in, out] : steps) EXPECT_EQ(Say(in), out) << vc::Escape(in);
    }
    double now = 0;
    vc::Controller ctl;
};

const std::string kIllegal = "## Illegal Parameter \r\n", kUnknown = "## Unknown Cmd. \r\n";

TEST(VcController, RefusalsGarbageAndControlKeys) {
    EXPECT_EQ(Rig({.tumbler = false, .yul = vc::Yul::Absent, .faults = {}}).Say("M2P05"),
              "## YUL is NOT Connected \r\n## Tumbler is NOT Connected \r\n");
    EXPECT_EQ(Rig({.yul = vc::Yul::Off, .faults = {}}).Say("SM1M2"),
              "## YUL is OFF \r\n## YUL is OFF \r\n");
    Rig r;
    // clang-format off
    r.Play({{"ET31ES0ER4M3P19", kIllegal + kIllegal + kIllegal + kIllegal + kIllegal},
            {"FD050G", "** PRESET FIELD  50 mT\r\n## DMG PWR is OFF \r\n"},
            {"SD1G", "SD1\r\n## Hypex NOT Active \r\n"}, {"FD201", kIllegal},
            {"H1FD120G", "H1\r\n** PRESET FIELD  120 mT\r\n## Slow Decrease ! \r\n"},
            {"M2FP015D1ET00", "TOV\r\n** PRESET FIELD  15 mT\r\nD+\r\nET 10 ms\r\n"},
            {"FD010ES1z", "## TOV is Active ! \r\n## TOV is Active ! \r\n## TOV is Active ! \r\n"},
            {"FP005G", "** PRESET FIELD  5 mT\r\n## MAG PWR is OFF \r\n"}});
    // clang-format on
    const std::string back = r.Say("M1IP");  // every power stage goes off with the unit
    EXPECT_TRUE(back.starts_with("DMG\r\n") && back.ends_with("\rSD0  SM0  H0\r\n")) << back;
    // clang-format off
    r.Play({{"ER2ES3ET07A020FM100",
             "ER 2\r\nES 3\r\nET 7 s\r\nAC-DC OFF  20 mT\r\n** PRESET FIELD  100 uT\r\n"},
            {"FXB1F\x1b", kUnknown + "B1\r\n" + kUnknown + "** STOP \r\n"}, {"\r\nH1", "H1\r\n"},
            {{20, 3}, "** STOP \r\n"}, {{20, 8}, "## S-mode required \r\n"},
            {{20}, "-> S-mode key \r\n"},  // the service buttons: Ctrl-T, then the second key
            {{19}, " Hz set  -> IF OK SAVE EEprom ! \r\n"},
            {{20, 8}, "-> Data Was Saved to EEprom\r\n"},
            {{'\0', 'u'}, "-> Data Was Loaded from EEprom \r\n"},
            {std::string{'\0'} + "H0", "H0\r\n"}});
    // clang-format on
    EXPECT_NE(r.Say("IE").find("fg: 1045 d"), std::string::npos);
    EXPECT_EQ(r.Say("FD0", 1), "");
    EXPECT_EQ(r.Say("", 5), kUnknown) << "an unfinished command is dropped";
}

TEST(VcController, CourseShapesEscapeWhileBusySearchBreakAndPulse) {
    Rig r;
    r.Say("SD1H1FD030ER0ES2ET03");
    double t0 = r.now;
    const std::string reply = r.Say("G");
    EXPECT_NEAR(r.now - t0, 1.5 + 3 + 30 / 9.0, 0.01) << "20 mT/s up, 3 s hold, 9 mT/s down";
    EXPECT_TRUE(reply.find('\n') == reply.size() - 1 && reply.ends_with("End of Ramp \r\n"));
    EXPECT_EQ(CourseCodes(reply),
              "24 175:5 175:10 175:15 175:20 175:25 175:30 170:3 170:2 170:1 25 174:28 174:26 "
              "174:24 174:21 174:19 174:17 174:15 174:13 174:11 174:9 174:6 174:4 174:2 174:0 ");
    EXPECT_NE(CourseCodes(r.Say("ES3G")).find("25 174:26 "), std::string::npos) << "steep first";
    EXPECT_NE(CourseCodes(r.Say("ES1G")).find("25 174:30 "), std::string::npos) << "gently first";
    EXPECT_NE(CourseCodes(r.Say("G", 2.0)).find("175:30 "), std::string::npos);
    EXPECT_EQ(r.Say("IP", 0.5).find("Actual"), std::string::npos) << "busy: only ESC is heard";
    EXPECT_EQ(CourseCodes(r.Say("\x1b")), "174:0 ");
    const std::string z = r.Say("z");
    EXPECT_TRUE(z.starts_with("1000d1005d1010d") && z.ends_with("fg: 1045d 43.0 Hz\r\n")) << z;
    r.Say("z", 1.0);
    EXPECT_EQ(r.Say("\x1b"), "Break -> EEprom FREQ value used \r\n");
    r.Say("M2SM1FP015ET05");
    t0 = r.now;
    EXPECT_EQ(r.Say("G"), "15\366500\2520\366 FIELD SET \r\n");
    EXPECT_NEAR(r.now - t0, 0.5, 0.02);
}

TEST(VcController, FaultNamesCountsAndPacing) {
    vc::Options o;
    std::string e;
    for (const char* f : {"yul-off@y*2", "no-lf@IP*0", "vanish@ESC*3", "no-lf"})
        EXPECT_TRUE(vc::ParseFault(f, o.faults.emplace_back(), e)) << e;
    EXPECT_TRUE(o.faults[2].cmd == "\x1b" && o.faults[2].count == 3);
    EXPECT_TRUE(o.faults[3].cmd == "G" && o.faults[3].count == 1);
    for (const char* bad : {"melt", "no-lf@", "no-lf*x", "no-lf*", ""})
        EXPECT_FALSE(vc::ParseFault(bad, o.faults.emplace_back(), e)) << bad;
    o.faults.resize(2);
    Rig r(o);
    EXPECT_EQ(r.Say("yH1y"), "## YUL is OFF \r\nH1\r\n## YUL is OFF \r\n");
    EXPECT_TRUE(r.Say("y").starts_with("T: ")) << "used up after two";
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(r.Say("IP").ends_with("H1\r")) << "always";
    vc::Controller paced({.byteTime = 0.001, .faults = {}}, 0);  // replies go at the line's pace
    paced.Receive("\x10", 0);
    EXPECT_EQ(paced.TakeOutput(0.0051), "*");
    EXPECT_EQ(paced.TakeOutput(0.0205).size(), 15u);
    EXPECT_EQ(paced.TakeOutput(0.04).size(), 32u - 16u);
}

// A key-pair deadline that rounding puts a hair before its window still fires:
// a lone Ctrl-T at t = 0.036 answers once and is not due again.
TEST(VcController, PairWindowDeadlineFires) {
    Rig r;
    r.now = 0.036;
    r.ctl.Receive(std::string(1, char(20)), r.now);
    const double due = r.ctl.NextDue();
    r.ctl.TakeOutput(r.now = due);
    EXPECT_GT(r.ctl.NextDue(), due);
    EXPECT_EQ(r.Say(""), "-> S-mode key \r\n");
}
