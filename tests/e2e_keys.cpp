// The main window's shortcuts in the real program, keys typed by xdotool, what reached the
// controller read from its transcript.

#include <gtest/gtest.h>

#include "e2e_app.h"

namespace {

// What the controller recognised after a mark, and waits for a part of it to arrive.
struct Mark {
    e2e::App& app;
    size_t at = app.Commands().size();
    std::string Since() const { return app.Commands().substr(at); }
    bool Seen(const std::string& part, double timeout = 15) const {
        return e2e::WaitUntil([&] { return Since().find(part) != std::string::npos; }, timeout);
    }
};

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace

// The window initializes on its first showing; Insert (INITIALIZE) is refused while that runs
// (here while the coil warms up) and has nothing left to do afterwards. F3 and F2 switch the
// controller's mode word.
TEST(KeysE2E, InsertAndModeKeys) {
    e2e::AppOptions o;
    o.settings = e2e::SettingsText();
    o.controller = {"--speed", "20", "--cold", "3"};
    e2e::App app(o);
    app.Start();
    ASSERT_TRUE(app.WaitWindow("ZAVO - ver.", 20)) << e2e::FileBytes(app.Output());
    ASSERT_TRUE(e2e::WaitUntil([&] { return app.Commands().find("y ") != std::string::npos; }, 20))
        << app.Commands();
    app.Key("Insert");
    ASSERT_TRUE(app.WaitReady(60)) << app.Commands() << e2e::FileBytes(app.Output());
    EXPECT_EQ(Count(app.Commands(), "\\x14\\x03 B0 "), 1u) << app.Commands();

    const Mark keys{app};
    app.Key("Insert");
    app.Key("F3");
    EXPECT_TRUE(keys.Seen("IP M2 ")) << keys.Since();
    ASSERT_TRUE(app.WaitReady(10));
    app.Key("shift+F2");
    EXPECT_TRUE(keys.Seen("IP M2 IP M1 ")) << keys.Since();
    ASSERT_TRUE(app.WaitReady(10));
    EXPECT_EQ(keys.Since(), "IP M2 IP M1 ");
    app.Screenshot("keys_anhysteretic");
}

// Enter starts one run, Esc stops it: the controller hears "G" once, then ESC.
TEST(KeysE2E, RunStartsOnEnterAndStopsOnEscape) {
    e2e::AppOptions o;
    // A slow decrease from 150 mT: the run lasts long enough to be stopped.
    o.settings = e2e::SettingsText({{"DMGFD", "150"}, {"DMGER", "1"}, {"DMGET", "10"}});
    o.controller = {"--speed", "5"};
    e2e::App app(o);
    app.Start();
    ASSERT_TRUE(app.WaitReady(60)) << app.Commands() << e2e::FileBytes(app.Output());

    const Mark run{app};
    app.Key("Return");
    ASSERT_TRUE(run.Seen("G ", 60)) << run.Since();
    app.Key("Escape");
    EXPECT_TRUE(run.Seen("G \\x1B ", 10)) << run.Since();
    EXPECT_TRUE(app.WaitReady(60)) << run.Since();
    EXPECT_EQ(Count(run.Since(), "G "), 1u) << run.Since();
    app.Screenshot("keys_run_stopped");
}
