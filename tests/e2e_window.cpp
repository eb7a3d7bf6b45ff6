// The window on real screens: the tablet's filling it, START touched; the desktop's pulse count
// clicked on its scroll bar, then a key.

#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

// The pulse count's upper arrow: the first dark mark beside the count's framed white box.
QPoint PulseCountUp(const QImage& img) {
    const auto white = [&](int x, int y) { return (img.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF; };
    for (int y = 1; y < img.height(); ++y)
        for (int x = 1; x < img.width(); ++x) {
            if (!white(x, y) || white(x - 1, y) || white(x, y - 1)) continue;  // a top left corner
            int w = 0, h = 0;
            while (x + w < img.width() && white(x + w, y)) ++w;
            while (y + h < img.height() && white(x, y + h)) ++h;
            bool framed = x + w < img.width();  // on the left and the right, all its height
            for (int by = y; framed && by < y + h; ++by)
                framed = !white(x - 1, by) && !white(x + w, by);
            if (!framed || w < 20 || w > 80 || h < 12 || h > 60) continue;
            for (int ay = y; ay < y + h; ++ay)
                for (int ax = x + w; ax < std::min(x + w + 30, img.width()); ++ax)
                    if (qGray(img.pixel(ax, ay)) < 128) return {ax, ay};
        }
    return {};
}

}  // namespace

TEST(WindowE2E, TabletFillsTheScreenStartByTouchDesktopPulseCountByMouse) {
    // The smallest screen with the tallest panel; the guide's picture.
    for (const auto& [screen, mode] :
         {std::pair<const char*, zavo::Int16>{"1280x800", 2}, {"1920x1080", 1}}) {
        SCOPED_TRACE(screen);
        e2e::App app(
            e2e::SettingsText({.ZAVMODE = mode, .DMGFD = 20, .REKFD = 10, .TOUCHMODE = true}),
            screen);
        ASSERT_TRUE(app.StartReady()) << app.Why();
        // The window as wide as the screen, and its status line on it.
        const QImage shot = app.Screen();
        const QRect window = e2e::Box(shot, [](QRgb c) { return c; }), lamp = app.Lamp();
        EXPECT_GT(window.width() * 10, shot.width() * 9) << window.width();
        EXPECT_TRUE(!lamp.isEmpty() && window.contains(lamp)) << "the status line shown";
        app.GuideImage(mode == 1 ? "operator-tablet" : "tablet-1280x800", mode == 1);
        // START lies above the status line, at its left end.
        const e2e::Since run{app};
        app.Click(lamp.topLeft() + QPoint(30, -40));
        EXPECT_TRUE(run.Wait("G ")) << run();
        EXPECT_TRUE(app.WaitReady(60)) << run();
    }
    // Desktop: two clicks on the pulse count's upper arrow and Up on the focused bar: four.
    e2e::App app(e2e::SettingsText({.ZAVMODE = 3, .TOVFP = 12, .TOVET = 5}), "1280x800");
    ASSERT_TRUE(app.StartReady()) << app.Why();
    const QPoint up = PulseCountUp(app.Screen());
    ASSERT_FALSE(up.isNull());
    const e2e::Since run{app};
    app.Click(up);
    app.Click(up);
    app.Key("Up");
    app.Key("Return");
    EXPECT_TRUE(run.Wait("D2 G D1 G D2 G D1 G ")) << run();
    ASSERT_TRUE(app.WaitReady(60)) << run();
    EXPECT_EQ(std::ranges::count(run(), 'G'), 4) << run();
}
