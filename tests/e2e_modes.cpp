// The instrument mode switched in the real program with F1-F3 and by a magnetometer step, the
// YUL1 unit on, switched off and unplugged at the controller meanwhile; the controller's
// transcript says what reached it. The session ends with SIGTERM, as at logout.

#include <gtest/gtest.h>

#include "e2e_app.h"

TEST(ModesE2E, KeysAndStepsWithTheUnitOnOffAndMissingThenTermination) {
    e2e::App app(e2e::SettingsText({{"DMGFD", "30"}, {"DMODE", "1"}}));
    ASSERT_TRUE(app.StartReady()) << app.Why();

    // Unit on: ANHYSTERETIC keeps the controller's mode word, PULSE and back change it.
    const e2e::Since on{app};
    for (const auto& [key, want] :
         {std::pair{"F2", "IP "}, {"F3", "IP IP M2 "}, {"F1", "IP IP M2 IP M1 "}}) {
        app.Key(key);
        EXPECT_TRUE(on.Wait(want, 15)) << key << ": " << on();
        ASSERT_TRUE(app.WaitReady());
    }

    // Unit off: the program asks; the operator switches it on and answers Retry.
    app.Control("yul off");
    const e2e::Since off{app};
    app.Key("F2");
    ASSERT_TRUE(app.WaitWindow("Warning")) << off();
    app.Control("yul on");
    app.Key("alt+r", "Warning");
    EXPECT_TRUE(off.Wait("IP IP ")) << off();
    ASSERT_TRUE(app.WaitReady());
    app.Key("F1");
    ASSERT_TRUE(app.WaitReady());

    // Off again, an anhysteretic step from the magnetometer program, the question cancelled: its
    // 80 mT never reach the AC box both modes share, so START demagnetizes at 30 mT.
    app.Control("yul off");
    e2e::Proc step = app.Companion({"send", "ARM-80-0-50"});
    ASSERT_TRUE(app.Answer("Warning", "Escape")) << app.Why();
    EXPECT_EQ(step.Wait(10), 0) << "the message was taken";
    EXPECT_TRUE(
        e2e::WaitUntil([&] { return app.Log().find("NOT APPLIED") != std::string::npos; }, 10))
        << app.Log();
    const e2e::Since run{app};
    app.Key("Return");
    ASSERT_TRUE(run.Wait("G ")) << run();
    EXPECT_NE(run().find("FD030"), std::string::npos) << run();
    ASSERT_TRUE(run.Wait("H0 ") && app.WaitReady()) << run();

    // Unplugged: PULSE is told to be impossible and the program falls back to DEMAGNETIZER.
    app.Control("yul absent");
    const e2e::Since absent{app};
    app.Key("F3");
    ASSERT_TRUE(app.Answer("Critical error", "Return")) << absent();
    EXPECT_TRUE(app.WaitReady());
    EXPECT_EQ(absent(), "IP ");

    // SIGTERM: no question; the demagnetizer, on since the run, goes off and the settings are
    // saved with the mode the program fell back to.
    e2e::fs::remove(app.Dir() / "ZAVO.sav");
    const e2e::Since end{app};
    app.Signal(SIGTERM);
    EXPECT_EQ(app.WaitExit(30), 0) << e2e::FileBytes(app.Output());
    EXPECT_EQ(end(), "\\x10 IP SD0 ");
    const std::string saved = app.SettingsFile();
    EXPECT_EQ(saved.substr(2 * 23, 11) + saved.substr(4 * 23, 11), "1          30         ")
        << saved;
}
