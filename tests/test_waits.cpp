#include <gtest/gtest.h>

#include <QTime>
#include <QTimer>
#include <cmath>

#include "core/Clock.h"
#include "link/Waits.h"
#include "support/FakeClock.h"

using namespace zavo;
using test::FakeClock;

TEST(Waits, NegativeWaitsItsAbsoluteValueAndYields) {
    FakeClock clock(1000.0);
    const double waited = Wait_Seconds(clock, -2);
    EXPECT_NEAR(waited, 2.0, 1e-5);
    EXPECT_NEAR(clock.Absolute(), 1002.0, 1e-5);
    EXPECT_GT(clock.Yields(), 1);
    EXPECT_NEAR(Wait_Seconds(clock, 0.02), 0.02, 1e-5);
    EXPECT_EQ(Wait_Seconds(clock, 0), 0);
}

TEST(Waits, CrossingMidnight) {
    FakeClock clock(86400.0 - 0.2, QDate(2026, 12, 31));
    const double waited = Wait_Seconds(clock, 0.5);
    EXPECT_NEAR(waited, 0.5, 1e-6);
    EXPECT_NEAR(clock.Now(), 0.3, 1e-6);
    EXPECT_EQ(clock.Today(), QDate(2027, 1, 1));

    // Elapsed across midnight, and a start a hair in the future left alone.
    FakeClock at(0.1);
    EXPECT_NEAR(Timer_Elapsed(at, 86399.9), 0.2, 1e-6);
    EXPECT_NEAR(Timer_Elapsed(at, 0.105), -0.005, 1e-5);
}

TEST(Waits, EventsRunDuringTheWaitWithoutCuttingItShort) {
    FakeClock clock;
    bool clicked = false;
    int timerTicks = 0;
    clock.After(1.0, [&] { clicked = true; });
    QTimer posted;
    posted.setSingleShot(true);
    QObject::connect(&posted, &QTimer::timeout, [&] { ++timerTicks; });
    posted.start(0);
    EXPECT_GE(Wait_Seconds(clock, 3), 3.0);
    EXPECT_TRUE(clicked);
    EXPECT_EQ(timerTicks, 1);
}

TEST(Waits, BadDurationsNeverHang) {
    FakeClock clock;
    clock.SetStep(3600);
    EXPECT_EQ(Wait_Seconds(clock, std::nan("")), 0);
    // Longer than a day could never be reached by a time of day: capped.
    const double waited = Wait_Seconds(clock, 1e9);
    EXPECT_GE(waited, 86399.0);
    EXPECT_LT(waited, 86400.0);
}

TEST(RealClock, TimeOfDayIsMonotonicAndAccurate) {
    RealClock clock;
    const QTime wall = QTime::currentTime();
    const double first = clock.Now();
    if (wall.msecsSinceStartOfDay() > 86400000 - 2000) GTEST_SKIP() << "too close to midnight";
    EXPECT_NEAR(first, wall.msecsSinceStartOfDay() / 1000.0, 0.05);
    double last = first;
    bool fine = false;
    for (int i = 0; i < 200000; ++i) {
        const double t = clock.Now();
        ASSERT_GE(t, last);
        if (t != last && t - last < 0.001) fine = true;
        last = t;
    }
    EXPECT_TRUE(fine) << "resolution below a millisecond";
    EXPECT_EQ(clock.Today(), QDate::currentDate());
}
