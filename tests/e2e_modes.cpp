// Switching the instrument mode in the real program, with the YUL1 unit on, switched off and
// unplugged while the program runs; the controller's transcript says what reached it.

#include <gtest/gtest.h>

#include "e2e_app.h"

namespace {

// The commands the controller received after the first `from` characters of the transcript.
struct Since {
    e2e::App& app;
    size_t from = app.Commands().size();
    std::string operator()() const { return app.Commands().substr(from); }
    bool Wait(const std::string& want, double timeout = 15) const {
        return e2e::WaitUntil([&] { return (*this)() == want; }, timeout);
    }
};

}  // namespace

TEST(ModesE2E, ThroughTheThreeModesWithTheUnitOnOffAndMissing) {
    e2e::AppOptions o;
    o.settings = e2e::SettingsText();
    e2e::App app(o);
    app.Start();
    ASSERT_TRUE(app.WaitReady(60)) << app.Commands() << e2e::FileBytes(app.Output());

    // Unit on: ANHYSTERETIC keeps the controller's mode word, PULSE and back change it.
    Since on{app};
    app.Key("F2");
    EXPECT_TRUE(on.Wait("IP ")) << on();
    ASSERT_TRUE(app.WaitReady(10));
    app.Key("F3");
    EXPECT_TRUE(on.Wait("IP IP M2 ")) << on();
    app.WaitReady(10);
    app.Screenshot("modes_pulse");
    app.Key("F1");
    EXPECT_TRUE(on.Wait("IP IP M2 IP M1 ")) << on();
    ASSERT_TRUE(app.WaitReady(10));

    // Unit off: the program asks; the operator switches it on and answers Retry.
    app.Control("yul off");
    Since off{app};
    app.Key("F2");
    ASSERT_TRUE(app.WaitWindow("Warning", 15)) << off();
    app.Screenshot("modes_unit_off");
    EXPECT_EQ(off(), "IP ");
    app.Control("yul on");
    app.Key("alt+r", "Warning");
    EXPECT_TRUE(off.Wait("IP IP ")) << off();
    ASSERT_TRUE(app.WaitReady(10));

    // Unit unplugged: PULSE is told to be impossible and the program falls back to DEMAGNETIZER.
    app.Control("yul absent");
    Since absent{app};
    app.Key("F3");
    ASSERT_TRUE(app.WaitWindow("Critical error", 15)) << absent();
    app.Key("Return", "Critical error");
    EXPECT_TRUE(app.WaitReady(10));
    EXPECT_EQ(absent(), "IP ");

    // The fall-back is what the program keeps: the settings written at the exit say DEMAGNETIZER.
    Since exiting{app};
    app.Close();
    ASSERT_TRUE(app.WaitWindow("Exiting ", 10));
    app.Key("alt+y", "Exiting ");
    EXPECT_EQ(app.WaitExit(20), 0) << e2e::FileBytes(app.Output());
    EXPECT_EQ(app.SettingsFile().substr(2 * 23, 11), "1          ") << app.SettingsFile();
    EXPECT_EQ(exiting().substr(0, 4), "\\x10") << "the banner asked before switching off";
}
