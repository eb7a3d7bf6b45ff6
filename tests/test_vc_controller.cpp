// The virtual controller's logic, driven in-process on a virtual time line.

#include <gtest/gtest.h>

#include "Controller.h"
#include "e2e_harness.h"

namespace {

using vc::Controller;

struct Rig {
    explicit Rig(vc::Options o = {}) : ctl(Prepare(std::move(o)), 0.0) {}
    static vc::Options Prepare(vc::Options o) {
        if (o.byteTime == vc::Options{}.byteTime) o.byteTime = 0;
        return o;
    }
    // Sends bytes and collects everything the controller says up to `limit`
    // seconds later.
    std::string Say(const std::string& bytes, double limit = 600) {
        ctl.Receive(bytes, now);
        return Run(limit);
    }
    std::string Run(double limit) {
        const double end = now + limit;
        std::string out = ctl.TakeOutput(now);
        for (double due = ctl.NextDue(); due <= end; due = ctl.NextDue()) {
            now = std::max(now, due);
            out += ctl.TakeOutput(now);
        }
        now = std::max(now, std::min(end, now + 0.001));
        return out;
    }
    double now = 0;
    Controller ctl;
};

const auto Codes = e2e::CourseCodes;

TEST(VcController, CommandsInPiecesAndTogetherAnswerInOrder) {
    Rig r;
    EXPECT_EQ(r.Say("F", 0.1), "");
    EXPECT_EQ(r.Say("D0", 0.1), "");
    EXPECT_EQ(r.Say("50"), "** PRESET FIELD  50 mT\r\n");
    EXPECT_EQ(r.Say("ER2ES3ET07A020FM100"),
              "ER 2\r\nES 3\r\nET 7 s\r\nAC-DC OFF  20 mT\r\n** PRESET FIELD  100 uT\r\n");
    const std::string ip = r.Say("IP");
    EXPECT_EQ(ip.find('\n'), ip.size() - 1) << "one line feed, at the end";
    EXPECT_NE(ip.find("\rFD 50 mT CD 1036  SC 622 cm2\rFA 20 mT\rFM 100 uT CM 0980\r"
                      "ER 2  ES 3  ET 7 s\r"),
              std::string::npos);
}

TEST(VcController, UnknownInputResynchronisesOnTheNextCommand) {
    Rig r;
    EXPECT_EQ(r.Say("xq"), "## Unknown Cmd. \r\n") << "one line for a burst of garbage";
    EXPECT_EQ(r.Say("FXB1"), "## Unknown Cmd. \r\nB1\r\n");
    EXPECT_EQ(r.Say("F\x1b"), "## Unknown Cmd. \r\n** STOP \r\n");
    EXPECT_EQ(r.Say("\r\nH1"), "H1\r\n") << "line ends between commands are ignored";
    // An unfinished command is dropped after a while instead of hanging.
    EXPECT_EQ(r.Say("FD0", 1), "");
    EXPECT_EQ(r.Run(5), "## Unknown Cmd. \r\n");
    EXPECT_EQ(r.Say("y"),
              "T: 3189mV   27 \xf8"
              "C\r\n");
}

TEST(VcController, ControlCharacterPairsAndALoneServiceKey) {
    Rig r;
    EXPECT_EQ(r.Say(std::string{20, 3}), "** STOP \r\n");
    EXPECT_EQ(r.Say(std::string{20, 8}), "## S-mode required \r\n");
    // The service buttons send Ctrl-T and the second key as two exchanges.
    EXPECT_EQ(r.Say(std::string{20}), "-> S-mode key \r\n");
    EXPECT_EQ(r.Say(std::string{19}), " Hz set  -> IF OK SAVE EEprom ! \r\n");
    EXPECT_EQ(r.Say(std::string{20, 8}), "-> Data Was Saved to EEprom\r\n");
    EXPECT_EQ(r.Say(std::string{'\0', 'u'}), "-> Data Was Loaded from EEprom \r\n");
    EXPECT_NE(r.Say("IE").find("fg: 1045 d"), std::string::npos);
    EXPECT_EQ(r.Say(std::string{'\0'} + "H0"), "H0\r\n") << "a stray NUL is line noise";
}

TEST(VcController, ReportLayoutsFollowUnitAndAccessories) {
    vc::Options o;
    o.tumbler = false;
    o.yul = vc::Yul::Absent;
    Rig bare(o);
    EXPECT_EQ(bare.Say("IP"),
              "Actual RAM Set:\rDMG\rTMB0 YUL2 WP1 REG1 B0\rFD 0 mT CD 1036  SC 622 cm2\r"
              "FA 0 mT\rFM 0 uT CM 0980\rER 3  ES 2  ET 5 s\rfg: 1045d 43.0 Hz\rSD0  SM0  H0\r\n");
    EXPECT_EQ(bare.Say("M2"), "## YUL is NOT Connected \r\n");
    EXPECT_EQ(bare.Say("P05"), "## Tumbler is NOT Connected \r\n");

    Rig r;
    EXPECT_EQ(r.Say("SD1H1M2"), "SD1\r\nH1\r\nTOV\r\n");
    EXPECT_EQ(r.Say("FP015D1ET00SM1"), "** PRESET FIELD  15 mT\r\nD+\r\nET 10 ms\r\nSM1\r\n");
    EXPECT_EQ(r.Say("IP"),
              "Actual RAM Set:\rTOV\rTMB1 YUL1 WP1  B0\rFP 15 mT CP 0987\r"
              "D+  ET 10 ms\rSM1\r\n");
    EXPECT_EQ(r.Say("FD010ES1z"),
              "## TOV is Active ! \r\n## TOV is Active ! \r\n"
              "## TOV is Active ! \r\n");
    // Back to the demagnetizer unit: every power stage goes off with it.
    const std::string back = r.Say("M1IP");
    EXPECT_EQ(back.substr(0, 25), "DMG\r\nActual RAM Set:\rDMG\r");
    EXPECT_NE(back.find("\rSD0  SM0  H0\r\n"), std::string::npos);
}

TEST(VcController, RefusesWhatTheUnitCannotDo) {
    Rig r;
    const std::string illegal = "## Illegal Parameter \r\n";
    EXPECT_EQ(r.Say("FD201"), illegal);
    EXPECT_EQ(r.Say("ET31ES0ER4M3P19"), illegal + illegal + illegal + illegal + illegal);
    EXPECT_EQ(r.Say("FD050G"), "** PRESET FIELD  50 mT\r\n## DMG PWR is OFF \r\n");
    EXPECT_EQ(r.Say("SD1G"), "SD1\r\n## Hypex NOT Active \r\n");
    EXPECT_EQ(r.Say("H1FD120G"), "H1\r\n** PRESET FIELD  120 mT\r\n## Slow Decrease ! \r\n");
    EXPECT_EQ(r.Say("M2FP005G"), "TOV\r\n** PRESET FIELD  5 mT\r\n## MAG PWR is OFF \r\n");

    vc::Options o;
    o.yul = vc::Yul::Off;
    Rig off(o);
    EXPECT_EQ(off.Say("SM1M2"), "## YUL is OFF \r\n## YUL is OFF \r\n");
}

Rig ReadyForCourse(double speed = 1) {
    vc::Options o;
    o.speed = speed;
    Rig r(o);
    r.Say("SD1H1FD030ER0ES2ET03");
    return r;
}

TEST(VcController, CourseRisesHoldsAndFallsInRealTime) {
    Rig r = ReadyForCourse();
    const double t0 = r.now;
    const std::string reply = r.Say("G");
    EXPECT_EQ(Codes(reply),
              "24 175:5 175:10 175:15 175:20 175:25 175:30 170:3 170:2 170:1 25 "
              "174:28 174:26 174:24 174:21 174:19 174:17 174:15 174:13 174:11 174:9 174:6 "
              "174:4 174:2 174:0 ");
    EXPECT_EQ(reply.substr(reply.size() - 14), "End of Ramp \r\n");
    EXPECT_EQ(reply.find('\n'), reply.size() - 1);
    // Rise at 20 mT/s, 3 s hold, fall at the extra fast 9 mT/s.
    EXPECT_NEAR(r.now - t0, 1.5 + 3 + 30 / 9.0, 0.01);

    // Faster, and with fewer reports so that the line keeps up.
    Rig fast = ReadyForCourse(100);
    const double f0 = fast.now;
    EXPECT_EQ(Codes(fast.Say("G")).substr(0, 10), "24 175:30 ");
    EXPECT_NEAR(fast.now - f0, (1.5 + 3 + 30 / 9.0) / 100, 0.01);
}

TEST(VcController, CourseShapeAndAnhystereticBias) {
    Rig r = ReadyForCourse();
    r.Say("SM1FM050A010ES3");
    const std::string codes = Codes(r.Say("G"));
    EXPECT_NE(codes.find("175:30 246:50 170:3"), std::string::npos) << codes;
    // The bias goes off once, at the first value at or below the AC minimum.
    EXPECT_NE(codes.find("174:10 246:0 174:"), std::string::npos) << codes;
    EXPECT_EQ(codes.find("246:0"), codes.rfind("246:0"));
    // A slowing course falls steeply first: the first step is the largest.
    EXPECT_NE(codes.find("25 174:26 "), std::string::npos) << codes;

    r.Say("ES1");
    EXPECT_NE(Codes(r.Say("G")).find("25 174:30 "), std::string::npos) << "speeding starts gently";
}

TEST(VcController, PulseIsOneDcReportWithItsTime) {
    Rig r;
    r.Say("M2SM1FP015ET05");
    const double t0 = r.now;
    EXPECT_EQ(r.Say("G"),
              "15\xf6"
              "500\xaa"
              "0\xf6 FIELD SET \r\n");
    EXPECT_NEAR(r.now - t0, 0.5, 0.02);
}

TEST(VcController, EscapeStopsTheCourseAndTheSearch) {
    Rig r = ReadyForCourse();
    const std::string begun = r.Say("G", 2.0);
    EXPECT_NE(Codes(begun).find("175:30 "), std::string::npos);
    EXPECT_EQ(r.Say("IP", 0.5).find("Actual"), std::string::npos) << "busy: only ESC is heard";
    const std::string stopped = r.Say("\x1b");
    EXPECT_EQ(Codes(stopped), "174:0 ");
    EXPECT_EQ(stopped.substr(stopped.size() - 10), "** STOP \r\n");
    EXPECT_EQ(r.Run(60), "") << "nothing of the course follows the stop";
    EXPECT_EQ(r.Say("\x1b"), "** STOP \r\n");

    const std::string search = r.Say("z");
    EXPECT_EQ(search.substr(0, 15), "1000d1005d1010d");
    EXPECT_EQ(search.substr(search.size() - 19), "fg: 1045d 43.0 Hz\r\n");
    r.Say("z", 1.0);
    EXPECT_EQ(r.Say("\x1b"), "Break -> EEprom FREQ value used \r\n");
}

TEST(VcController, ReplacingFaultsAnswerWithTheirLineAsOftenAsAsked) {
    const std::pair<const char*, const char*> faults[] = {
        {"coil-overheated", "## Coil Overheated "}, {"hypex-overheated", "## Hypex Overheated "},
        {"tumbler-out", "## Tumbler Out of Coil "}, {"yul-off", "## YUL is OFF "},
        {"unknown-cmd", "## Unknown Cmd. "},        {"no-reply", ""}};
    for (const auto& [name, line] : faults) {
        vc::Options o;
        vc::Fault f;
        std::string error;
        ASSERT_TRUE(vc::ParseFault(std::string(name) + "@y*2", f, error)) << error;
        o.faults = {f};
        Rig r(o);
        const std::string expected = *line ? std::string(line) + "\r\n" : "";
        EXPECT_EQ(r.Say("y"), expected) << name;
        EXPECT_EQ(r.Say("H1"), "H1\r\n") << "other commands are not touched";
        EXPECT_EQ(r.Say("y"), expected) << name;
        EXPECT_EQ(r.Say("y").substr(0, 3), "T: ") << name << " is used up";
    }
}

TEST(VcController, FaultsInsideAReply) {
    vc::Options o;
    std::string e;
    vc::Fault f;
    ASSERT_TRUE(vc::ParseFault("no-lf@IP*0", f, e));
    o.faults.push_back(f);
    ASSERT_TRUE(vc::ParseFault("hot-coil", f, e));
    o.faults.push_back(f);
    Rig r(o);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(r.Say("IP").back(), '\r') << "always";
    r.Say("SD1H1FD030ER0");
    const std::string warned = r.Say("G");
    EXPECT_EQ(warned.substr(0, 23), "-> Warning: Hot Coil \r\x18");
    EXPECT_NE(warned.find("End of Ramp \r\n"), std::string::npos) << "the course still runs";

    vc::Options b;
    ASSERT_TRUE(vc::ParseFault("tumbler-break", f, e));
    b.faults = {f};
    Rig broken(b);
    broken.Say("SD1H1FD030ER0");
    const std::string cut = broken.Say("G");
    EXPECT_EQ(cut.find("End of Ramp"), std::string::npos);
    EXPECT_EQ(cut.substr(cut.size() - 26), "0\xae## User Tumbler Break \r\n");
}

TEST(VcController, VanishingDeviceStopsMidReply) {
    vc::Options o;
    std::string e;
    vc::Fault f;
    ASSERT_TRUE(vc::ParseFault("vanish@^P", f, e));
    o.faults = {f};
    Rig r(o);
    EXPECT_EQ(r.Say("H1"), "H1\r\n");
    EXPECT_FALSE(r.ctl.Vanished());
    EXPECT_EQ(r.Say("\x10"), "** ZAVO-V  06-De");
    EXPECT_TRUE(r.ctl.Vanished());
}

TEST(VcController, FaultTextsAreChecked) {
    vc::Fault f;
    std::string e;
    EXPECT_TRUE(vc::ParseFault("vanish@ESC*3", f, e));
    EXPECT_EQ(f.cmd, "\x1b");
    EXPECT_EQ(f.count, 3);
    EXPECT_TRUE(vc::ParseFault("no-lf", f, e));
    EXPECT_EQ(f.cmd, "G");
    for (const char* bad : {"melt", "no-lf@", "no-lf*x", "no-lf*", ""})
        EXPECT_FALSE(vc::ParseFault(bad, f, e)) << bad;
}

TEST(VcController, LineSpeedAndColdCoil) {
    vc::Options o;
    o.byteTime = 0.001;
    o.coldSeconds = 10;
    Rig r(o);
    r.ctl.Receive("\x10", 0);
    EXPECT_EQ(r.ctl.TakeOutput(0.0051), "*");
    EXPECT_EQ(r.ctl.TakeOutput(0.0205).size(), 15u);
    EXPECT_EQ(r.ctl.TakeOutput(0.04).size(), 32u - 16u);
    EXPECT_LE(r.ctl.CoilMillivolts(9.9), 2440);
    EXPECT_GT(r.ctl.CoilMillivolts(10.0), 2440);
    EXPECT_EQ(r.ctl.CoilMillivolts(100), 3189);
}

}  // namespace
