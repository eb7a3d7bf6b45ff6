// The real program started as an operator starts it, from another working directory.

#include <gtest/gtest.h>

#include "e2e_app.h"

// Without a controller on any port: the window comes up, the defaults are written beside the
// executable (not into the working directory), and closing the window sends nothing.
TEST(AppStart, DefaultsBesideTheProgramAndAQuietExit) {
    e2e::AppOptions o;
    o.withController = false;
    e2e::App app(o);
    app.Start();
    ASSERT_TRUE(app.WaitWindow("ZAVO - ver.", 20)) << e2e::FileBytes(app.Output());
    EXPECT_TRUE(e2e::WaitUntil([&] { return app.SettingsFile().size() == 25 * 23; }, 10))
        << app.SettingsFile();
    app.Screenshot("app_start_no_instrument");
    // Closing is refused while the initialization asks about the port; Abort there ends it.
    app.Close();
    if (app.WaitWindow("Communication error", 5)) app.Key("alt+a", "Communication error");
    // An exit question, where there is one, is answered Yes.
    if (app.WaitWindow("Exiting ", 3)) app.Key("alt+y", "Exiting ");
    EXPECT_NE(app.WaitExit(20), -1) << e2e::FileBytes(app.Output());
}
