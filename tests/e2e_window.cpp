// The main window of the real program on screens of two sizes: the tablet window inside the
// screen with START reached by a finger (and its picture in the operator's guide); the desktop's
// pulse count set with the mouse and the keys and used by the next pulse run, as the controller's
// transcript tells.

#include <gtest/gtest.h>

#include "e2e_app.h"

namespace {

// The arrows of the pulse count's scroll bar: the white box of the count is found by its size,
// the bar right beside it by its dark arrow marks, the first and the last.
std::pair<QPoint, QPoint> PulseCountArrows(const QImage& img) {
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
            QPoint up, down;
            for (int ay = y; ay < y + h; ++ay)
                for (int ax = x + w; ax < std::min(x + w + 30, img.width()); ++ax)
                    if (qGray(img.pixel(ax, ay)) < 128) (up.isNull() ? up : down) = QPoint(ax, ay);
            if (!up.isNull() && down.y() - up.y() >= h / 3) return {up, down};
        }
    return {};
}

}  // namespace

// The tablet layout fills the screen from 1280 x 800 up: the window inside it, the status line
// shown, START where a finger finds it (its touch starts the run).
TEST(WindowE2E, TabletWindowFitsTheScreen) {
    // On the smallest screen the tallest panel, the anhysteretic one with its three fields; on the
    // larger one the demagnetizer's, as the operator's guide shows it.
    for (const auto& [screen, mode] : {std::pair{"1280x800", "2"}, {"1920x1080", "1"}}) {
        SCOPED_TRACE(screen);
        e2e::App app(e2e::SettingsText(
                         {{"TOUCHMODE", "1"}, {"ZAVMODE", mode}, {"REKFD", "10"}, {"DMGFD", "20"}}),
                     screen);
        ASSERT_TRUE(app.StartReady()) << app.Why();
        const QRect window = app.WindowBox(), whole = app.Screen().rect();
        EXPECT_TRUE(whole.contains(window) && window.width() * 10 > whole.width() * 9)
            << window.x() << "," << window.y() << " " << window.width() << "x" << window.height();
        const QRect lamp = app.Lamp();
        EXPECT_TRUE(!lamp.isEmpty() && window.contains(lamp)) << "the status line shown";
        app.Screenshot(std::string("window-tablet-") + screen);
        if (*mode == '1') app.GuideImage("operator-tablet");

        // START lies above the status line, at its left end.
        const e2e::Since run{app};
        app.Click(lamp.topLeft() + QPoint(30, -40));
        EXPECT_TRUE(run.Wait("G ")) << run();
        EXPECT_TRUE(app.WaitReady(60)) << run();
    }
}

// The pulse count on the desktop: two clicks on the upper arrow give three pulses; a click on
// the lower arrow and the Up and Down keys give four. Each count is the next run's.
TEST(WindowE2E, PulseCountByMouseAndKeys) {
    e2e::App app(e2e::SettingsText({{"ZAVMODE", "3"}, {"TOVFP", "12"}, {"TOVET", "5"}}),
                 "1280x800");
    ASSERT_TRUE(app.StartReady()) << app.Why();
    const auto [up, down] = PulseCountArrows(app.Screen());
    ASSERT_FALSE(up.isNull());

    const e2e::Since mouse{app};
    app.Click(up);
    app.Click(up);
    app.Key("Return");
    EXPECT_TRUE(mouse.Wait("D1 G D2 G D1 G ")) << mouse();
    ASSERT_TRUE(app.WaitReady(60)) << mouse();
    EXPECT_EQ(std::ranges::count(mouse(), 'G'), 3) << mouse();

    const e2e::Since keys{app};
    app.Click(down);  // two, and the bar has the keys
    for (const char* key : {"Up", "Up", "Up", "Down"}) app.Key(key);
    app.Screenshot("window-desktop-pulse-count");
    app.Key("Return");
    EXPECT_TRUE(keys.Wait("D2 G D1 G D2 G D1 G ")) << keys();
    EXPECT_TRUE(app.WaitReady(60)) << keys();
    EXPECT_EQ(std::ranges::count(keys(), 'G'), 4) << keys();
}
