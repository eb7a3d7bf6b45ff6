// The virtual controller's logic, driven in-process on a virtual time line.

#include <gtest/gtest.h>

#include "Controller.h"
#include "e2e_harness.h"

namespace {

using e2e::CourseCodes;

// Replies are sent at once; faults are given as on the command line.
struct Rig {
    explicit Rig(std::initializer_list<const char*> faults = {}, vc::Options o = {})
        : ctl(Prepare(o, faults), 0.0) {}
    static vc::Options Prepare(vc::Options o, std::initializer_list<const char*> faults) {
        std::string e;
        for (const char* f : faults)
            EXPECT_TRUE(vc::ParseFault(f, o.faults.emplace_back(), e)) << e;
        return o.byteTime = 0, o;
    }
    // Sends bytes and collects everything the controller says up to `limit` seconds later.
    std::string Say(const std::string& bytes, double limit = 600) {
        const double end = now + limit;
        ctl.Receive(bytes, now);
        std::string out = ctl.TakeOutput(now);
        for (double due = ctl.NextDue(); due <= end; due = ctl.NextDue())
            out += ctl.TakeOutput(now = std::max(now, due));
        now = std::max(now, std::min(end, now + 0.001));
        return out;
    }
    void Play(std::initializer_list<std::pair<std::string, std::string>> steps,
              double limit = 600) {
        for (const auto& [in, out] : steps) EXPECT_EQ(Say(in, limit), out) << vc::Escape(in);
    }
    double now = 0;
    vc::Controller ctl;
};

const std::string kIllegal = "## Illegal Parameter \r\n";

TEST(VcController, CommandsInPiecesGarbageAndControlKeys) {
    Rig r;
    r.Play({{"F", ""}, {"D0", ""}}, 0.1);
    r.Play({{"50", "** PRESET FIELD  50 mT\r\n"},
            {"ER2ES3ET07A020FM100",
             "ER 2\r\nES 3\r\nET 7 s\r\nAC-DC OFF  20 mT\r\n** PRESET FIELD  100 uT\r\n"},
            {"xq", "## Unknown Cmd. \r\n"},
            {"FXB1", "## Unknown Cmd. \r\nB1\r\n"},
            {"F\x1b", "## Unknown Cmd. \r\n** STOP \r\n"},
            {"\r\nH1", "H1\r\n"},
            {{20, 3}, "** STOP \r\n"},
            {{20, 8}, "## S-mode required \r\n"},
            {{20}, "-> S-mode key \r\n"},  // the service buttons: Ctrl-T, then the second key
            {{19}, " Hz set  -> IF OK SAVE EEprom ! \r\n"},
            {{20, 8}, "-> Data Was Saved to EEprom\r\n"},
            {{'\0', 'u'}, "-> Data Was Loaded from EEprom \r\n"},
            {std::string{'\0'} + "H0", "H0\r\n"},
            {"y", "T: 3189mV   27 \370C\r\n"}});
    EXPECT_NE(r.Say("IE").find("fg: 1045 d"), std::string::npos);
    EXPECT_EQ(r.Say("FD0", 1), "");
    EXPECT_EQ(r.Say("", 5), "## Unknown Cmd. \r\n") << "an unfinished command is dropped";
}

TEST(VcController, RefusesWhatTheUnitCannotDo) {
    Rig b({}, {.tumbler = false, .yul = vc::Yul::Absent, .faults = {}});
    b.Play({{"M2", "## YUL is NOT Connected \r\n"}, {"P05", "## Tumbler is NOT Connected \r\n"}});
    Rig off({}, {.yul = vc::Yul::Off, .faults = {}});
    off.Play({{"SM1M2", "## YUL is OFF \r\n## YUL is OFF \r\n"}});
    Rig r;
    r.Play({{"FD201", kIllegal},
            {"ET31ES0ER4M3P19", kIllegal + kIllegal + kIllegal + kIllegal + kIllegal},
            {"FD050G", "** PRESET FIELD  50 mT\r\n## DMG PWR is OFF \r\n"},
            {"SD1G", "SD1\r\n## Hypex NOT Active \r\n"},
            {"H1FD120G", "H1\r\n** PRESET FIELD  120 mT\r\n## Slow Decrease ! \r\n"},
            {"M2", "TOV\r\n"},
            {"FP015D1ET00", "** PRESET FIELD  15 mT\r\nD+\r\nET 10 ms\r\n"},
            {"FD010ES1z", "## TOV is Active ! \r\n## TOV is Active ! \r\n## TOV is Active ! \r\n"},
            {"FP005G", "** PRESET FIELD  5 mT\r\n## MAG PWR is OFF \r\n"}});
    const std::string back = r.Say("M1IP");  // every power stage goes off with the unit
    EXPECT_TRUE(back.starts_with("DMG\r\nActual RAM Set:\rDMG\r")) << back;
    EXPECT_TRUE(back.ends_with("\rSD0  SM0  H0\r\n")) << back;
}

TEST(VcController, CourseShapesAndPulseInTime) {
    Rig r;
    r.Say("SD1H1FD030ER0ES2ET03");
    double t0 = r.now;
    const std::string reply = r.Say("G");
    EXPECT_NEAR(r.now - t0, 1.5 + 3 + 30 / 9.0, 0.01) << "20 mT/s up, 3 s hold, 9 mT/s down";
    EXPECT_EQ(reply.find('\n'), reply.size() - 1);
    EXPECT_TRUE(reply.ends_with("End of Ramp \r\n"));
    EXPECT_EQ(CourseCodes(reply),
              "24 175:5 175:10 175:15 175:20 175:25 175:30 170:3 170:2 170:1 25 174:28 174:26 "
              "174:24 174:21 174:19 174:17 174:15 174:13 174:11 174:9 174:6 174:4 174:2 174:0 ");
    r.Say("ES3");
    EXPECT_NE(CourseCodes(r.Say("G")).find("25 174:26 "), std::string::npos) << "steep first";
    r.Say("ES1");
    EXPECT_NE(CourseCodes(r.Say("G")).find("25 174:30 "), std::string::npos) << "gently first";
    r.Say("M2SM1FP015ET05");
    t0 = r.now;
    EXPECT_EQ(r.Say("G"), "15\366500\2520\366 FIELD SET \r\n");
    EXPECT_NEAR(r.now - t0, 0.5, 0.02);
}

TEST(VcController, EscapeIsHeardWhileBusyAndStopsTheSearch) {
    Rig r;
    r.Say("SD1H1FD030ER0ES2ET03");
    EXPECT_NE(CourseCodes(r.Say("G", 2.0)).find("175:30 "), std::string::npos);
    EXPECT_EQ(r.Say("IP", 0.5).find("Actual"), std::string::npos) << "busy: only ESC is heard";
    EXPECT_EQ(CourseCodes(r.Say("\x1b")), "174:0 ");
    const std::string z = r.Say("z");
    EXPECT_TRUE(z.starts_with("1000d1005d1010d") && z.ends_with("fg: 1045d 43.0 Hz\r\n")) << z;
    r.Say("z", 1.0);
    EXPECT_EQ(r.Say("\x1b"), "Break -> EEprom FREQ value used \r\n");
}

TEST(VcController, FaultCountsAndCuts) {
    Rig r({"yul-off@y*2", "no-lf@IP*0"});
    r.Play({{"y", "## YUL is OFF \r\n"}, {"H1", "H1\r\n"}, {"y", "## YUL is OFF \r\n"}});
    EXPECT_TRUE(r.Say("y").starts_with("T: ")) << "used up after two";
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(r.Say("IP").ends_with("H1\r")) << "always";
    Rig gone({"vanish@^P"});
    EXPECT_FALSE(gone.Say("H1").empty() || gone.ctl.Vanished());
    EXPECT_EQ(gone.Say("\x10"), "** ZAVO-V  06-De") << "cut off mid-reply";
    EXPECT_TRUE(gone.ctl.Vanished());
    vc::Fault f;
    std::string e;
    EXPECT_TRUE(vc::ParseFault("vanish@ESC*3", f, e) && f.cmd == "\x1b" && f.count == 3);
    EXPECT_TRUE(vc::ParseFault("no-lf", f, e) && f.cmd == "G" && f.count == 1);
    for (const char* bad : {"melt", "no-lf@", "no-lf*x", "no-lf*", ""})
        EXPECT_FALSE(vc::ParseFault(bad, f, e)) << bad;
}

TEST(VcController, RepliesArePacedLikeTheLine) {
    vc::Controller ctl({.byteTime = 0.001, .faults = {}}, 0);
    ctl.Receive("\x10", 0);
    EXPECT_EQ(ctl.TakeOutput(0.0051), "*");
    EXPECT_EQ(ctl.TakeOutput(0.0205).size(), 15u);
    EXPECT_EQ(ctl.TakeOutput(0.04).size(), 32u - 16u);
}

}  // namespace
