// The main window of the real program on screens of two sizes: the tablet window inside the
// screen, START reached by a finger; the desktop's pulse count set with the mouse and the keys
// and used by the next pulse run, as the controller's transcript tells.

#include <gtest/gtest.h>

#include <queue>

#include "e2e_app.h"

namespace {

// What the controller recognised after a mark.
struct Mark {
    e2e::App& app;
    size_t at = app.Commands().size();
    std::string Since() const { return app.Commands().substr(at); }
    bool Seen(const std::string& part, double timeout = 30) const {
        return e2e::WaitUntil([&] { return Since().find(part) != std::string::npos; }, timeout);
    }
    // How many pulses (or passes) were executed.
    size_t Executes() const {
        const std::string s = " " + Since();
        size_t n = 0;
        for (size_t at = s.find(" G "); at != std::string::npos; at = s.find(" G ", at + 1)) ++n;
        return n;
    }
};

// The arrows of the pulse count's scroll bar: the white box of the count is found by its size,
// the bar beside it on the right by its dark arrow marks.
struct Arrows {
    QPoint up, down;
    bool Found() const { return !up.isNull(); }
};

Arrows PulseCountArrows(const QImage& img) {
    const QRgb white = qRgb(255, 255, 255);
    std::vector<bool> seen(size_t(img.width()) * size_t(img.height()), false);
    for (int y0 = 0; y0 < img.height(); ++y0) {
        for (int x0 = 0; x0 < img.width(); ++x0) {
            if (seen[size_t(y0) * img.width() + x0] || (img.pixel(x0, y0) | 0xFF000000u) != white)
                continue;
            // One white area, flooded.
            e2e::Box b{x0, y0, 1, 1};
            int count = 0;
            std::queue<QPoint> todo;
            todo.push({x0, y0});
            seen[size_t(y0) * img.width() + x0] = true;
            while (!todo.empty()) {
                const QPoint p = todo.front();
                todo.pop();
                ++count;
                b = {std::min(b.x, p.x()), std::min(b.y, p.y()),
                     std::max(b.Right(), p.x() + 1) - std::min(b.x, p.x()),
                     std::max(b.Bottom(), p.y() + 1) - std::min(b.y, p.y())};
                for (const QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                    const QPoint n = p + d;
                    if (n.x() < 0 || n.y() < 0 || n.x() >= img.width() || n.y() >= img.height())
                        continue;
                    const size_t i = size_t(n.y()) * img.width() + n.x();
                    if (seen[i] || (img.pixel(n) | 0xFF000000u) != white) continue;
                    seen[i] = true;
                    todo.push(n);
                }
            }
            if (b.width < 20 || b.width > 80 || b.height < 12 || b.height > 60 ||
                count < b.width * b.height * 7 / 10)
                continue;
            // The arrows: dark marks within a short way to the right.
            Arrows a;
            for (int y = b.y; y < b.Bottom(); ++y)
                for (int x = b.Right(); x < std::min(b.Right() + 30, img.width()); ++x)
                    if (qGray(img.pixel(x, y)) < 128) {
                        if (a.up.isNull()) a.up = {x, y};
                        a.down = {x, y};
                    }
            if (a.Found() && a.down.y() - a.up.y() >= b.height / 3) return a;
        }
    }
    return {};
}

}  // namespace

// The tablet layout fills the screen from 1280 x 800 up: the window inside it, the status line
// shown, START where a finger finds it (its touch starts the run).
TEST(WindowE2E, TabletWindowFitsTheScreen) {
    for (const char* screen : {"1280x800", "1920x1080"}) {
        SCOPED_TRACE(screen);
        e2e::AppOptions o;
        // The tallest panel: the anhysteretic one with its three fields.
        o.settings = e2e::SettingsText({{"TOUCHMODE", "1"}, {"ZAVMODE", "2"}, {"REKFD", "10"}});
        o.screen = screen;
        e2e::App app(o);
        app.Start();
        ASSERT_TRUE(app.WaitReady(60)) << app.Commands() << e2e::FileBytes(app.Output());
        const e2e::Box window = app.WindowBox(), whole = app.ScreenBox();
        EXPECT_TRUE(window.Inside(whole) && window.width * 10 > whole.width * 9)
            << window.x << "," << window.y << " " << window.width << "x" << window.height;
        const e2e::Box lamp = e2e::ColourBox(app.Screen(), qRgb(0, 255, 0));
        EXPECT_TRUE(!lamp.Empty() && lamp.Inside(window) && lamp.Inside(whole));
        app.Screenshot(std::string("window-tablet-") + screen);

        // START lies above the status line, at its left end.
        const Mark run{app};
        app.Click(lamp.x + 30, lamp.y - 40);
        EXPECT_TRUE(run.Seen("G ")) << run.Since();
        EXPECT_TRUE(app.WaitReady(60)) << run.Since();
    }
}

// The pulse count on the desktop: two clicks on the upper arrow give three pulses; a click on
// the lower arrow and the Up and Down keys give four. Each count is the next run's.
TEST(WindowE2E, PulseCountByMouseAndKeys) {
    e2e::AppOptions o;
    o.settings = e2e::SettingsText({{"ZAVMODE", "3"}, {"TOVFP", "12"}, {"TOVET", "5"}});
    o.screen = "1280x800";
    e2e::App app(o);
    app.Start();
    ASSERT_TRUE(app.WaitReady(60)) << app.Commands() << e2e::FileBytes(app.Output());
    const Arrows arrows = PulseCountArrows(app.Screen());
    app.Screenshot("window-desktop-pulse");
    ASSERT_TRUE(arrows.Found());

    const Mark mouse{app};
    app.Click(arrows.up.x(), arrows.up.y());
    app.Click(arrows.up.x(), arrows.up.y());
    app.Key("Return");
    EXPECT_TRUE(mouse.Seen("D1 G D2 G D1 G ")) << mouse.Since();
    ASSERT_TRUE(app.WaitReady(60)) << mouse.Since();
    EXPECT_EQ(mouse.Executes(), 3u) << mouse.Since();

    const Mark keys{app};
    app.Click(arrows.down.x(), arrows.down.y());  // two, and the bar has the keys
    app.Key("Up Up Up Down");
    app.Screenshot("window-desktop-pulse-count");
    app.Key("Return");
    EXPECT_TRUE(keys.Seen("D2 G D1 G D2 G D1 G ")) << keys.Since();
    EXPECT_TRUE(app.WaitReady(60)) << keys.Since();
    EXPECT_EQ(keys.Executes(), 4u) << keys.Since();
}
