// The virtual controller's logic, driven in-process on a virtual time line.

#include <gtest/gtest.h>

#include "Controller.h"
#include "e2e_harness.h"

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
    r.Play({{"ET31ES0ER4M3P19", kIllegal + kIllegal + kIllegal + kIllegal + kIllegal},
            {"FD050G", "** PRESET FIELD  50 mT\r\n## DMG PWR is OFF \r\n"},
            {"SD1G", "SD1\r\n## Hypex NOT Active \r\n"}, {"FD201", kIllegal},
            {"H1FD120G", "H1\r\n** PRESET FIELD  120 mT\r\n## Slow Decrease ! \r\n"},
            {"M2FP015D1ET00", "TOV\r\n** PRESET FIELD  15 mT\r\nD+\r\nET 10 ms\r\n"},
            {"FD010ES1z", "## TOV is Active ! \r\n## TOV is Active ! \r\n## TOV is Active ! \r\n"},
            {"FP005G", "** PRESET FIELD  5 mT\r\n## MAG PWR is OFF \r\n"}});
    const std::string back = r.Say("M1IP");  // every power stage goes off with the unit
    EXPECT_TRUE(back.starts_with("DMG\r\n") && back.ends_with("\rSD0  SM0  H0\r\n")) << back;
    r.Play({{"ER2ES3ET07A020FM100",
             "ER 2\r\nES 3\r\nET 7 s\r\nAC-DC OFF  20 mT\r\n** PRESET FIELD  100 uT\r\n"},
            {"FXB1F\x1b", kUnknown + "B1\r\n" + kUnknown + "** STOP \r\n"}, {"\r\nH1", "H1\r\n"},
            {{20, 3}, "** STOP \r\n"}, {{20, 8}, "## S-mode required \r\n"},
            {{20}, "-> S-mode key \r\n"},  // the service buttons: Ctrl-T, then the second key
            {{19}, " Hz set  -> IF OK SAVE EEprom ! \r\n"},
            {{20, 8}, "-> Data Was Saved to EEprom\r\n"},
            {{'\0', 'u'}, "-> Data Was Loaded from EEprom \r\n"},
            {std::string{'\0'} + "H0", "H0\r\n"}});
    EXPECT_NE(r.Say("IE").find("fg: 1045 d"), std::string::npos);
    EXPECT_EQ(r.Say("FD0", 1), "");
    EXPECT_EQ(r.Say("", 5), kUnknown) << "an unfinished command is dropped";
}
