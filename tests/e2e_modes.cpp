// A second program refused; the instrument mode switched with F1-F3 and by a magnetometer step
// refused with the YUL1 unit off, as the controller's transcript tells; SIGTERM ends the session.

#include <gtest/gtest.h>

#include "e2e_harness.h"

TEST(ModesE2E, KeysAndARefusedStepThenTermination) {
    e2e::App app(e2e::SettingsText({.DMODE = 1, .DMGFD = 30}));
    ASSERT_TRUE(app.StartReady()) << app.Why();
    {  // a second program started meanwhile says so and leaves the link to the first
        e2e::Proc second({(app.Dir() / "zavo").string()}, app.Env(), app.Temp(), app.Path("2.out"));
        EXPECT_TRUE(app.WaitWindow("Magnetometer Link", 20)) << e2e::FileBytes(app.Path("2.out"));
        second.Wait(5, SIGKILL);
    }

    // Unit on: ANHYSTERETIC keeps the controller's mode word, PULSE and back change it.
    const e2e::Since on{app};
    for (const auto& [key, want] :
         {std::pair{"F2", "IP "}, {"F3", "IP IP M2 "}, {"F1", "IP IP M2 IP M1 "}}) {
        app.Key(key);
        EXPECT_TRUE(on.Wait(want, 15)) << key << ": " << on();
        ASSERT_TRUE(app.WaitReady());
    }

    // An anhysteretic step refused (unit off, question cancelled): START demagnetizes at 30 mT.
    app.Control("yul off");
    e2e::Proc step = app.Companion({"send", "ARM-80-0-50"});
    ASSERT_TRUE(app.Answer("Warning", "Escape")) << app.Why();
    EXPECT_EQ(step.Wait(10), 0) << "the message was taken";
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Has(app.Log(), "NOT APPLIED"); }, 10))
        << app.Log();
    const e2e::Since run{app};
    app.Key("Return");
    ASSERT_TRUE(run.Wait("G ")) << run();
    EXPECT_TRUE(e2e::Has(run(), "FD030")) << run();
    ASSERT_TRUE(run.Wait("H0 ") && app.WaitReady()) << run();

    // SIGTERM: no question; the demagnetizer goes off, settings saved, the link's socket gone.
    e2e::fs::remove(app.Dir() / "ZAVO.sav");
    const e2e::fs::path socket = app.Temp() / "zavo" / zavo::kReceiveName;
    ASSERT_TRUE(e2e::fs::exists(socket));
    const e2e::Since end{app};
    app.Signal(SIGTERM);
    EXPECT_EQ(app.WaitExit(30), 0) << e2e::FileBytes(app.Output());
    EXPECT_EQ(end(), "\\x10 IP SD0 ");
    const std::string saved = app.SettingsFile();
    EXPECT_EQ(saved.substr(2 * 23, 11) + saved.substr(4 * 23, 11), "1          30         ")
        << saved;
    EXPECT_FALSE(e2e::fs::exists(socket));
}
