// The timed waits on the fake clock, and the real clock they stand for.
#include <gtest/gtest.h>

#include <QTimer>
#include <cmath>

#include "core/Clock.h"
#include "core/Waits.h"
#include "support/FakeClock.h"

using namespace zavo;

// A negative wait waits its absolute value, events run without cutting it short; across
// midnight the elapsed time stays right; NaN waits nothing, more than a day is capped.
TEST(Waits, EventsMidnightAndBadDurations) {
    test::FakeClock clock(86400.0 - 2.2, QDate(2026, 12, 31));
    int events = 0;
    clock.After(1.0, [&] { ++events; });
    QTimer::singleShot(0, [&] { ++events; });
    EXPECT_NEAR(Wait_Seconds(clock, -2), 2.0, 1e-5);
    EXPECT_TRUE(events == 2 && Wait_Seconds(clock, 0) == 0);
    EXPECT_NEAR(Wait_Seconds(clock, 0.5), 0.5, 1e-6);
    EXPECT_TRUE(std::abs(clock.Now() - 0.3) < 1e-5 && clock.Today() == QDate(2027, 1, 1));
    EXPECT_NEAR(Timer_Elapsed(clock, 86399.9), 0.4, 1e-5);
    EXPECT_NEAR(Timer_Elapsed(clock, 0.305), -0.005, 1e-5);  // a hair in the future: left alone
    clock.SetStep(3600);
    EXPECT_EQ(Wait_Seconds(clock, std::nan("")), 0);
    const double waited = Wait_Seconds(clock, 1e9);
    EXPECT_TRUE(waited >= 86399.0 && waited < 86400.0) << waited;
}

// The time of day, monotonic and finer than a millisecond.
TEST(RealClock, TimeOfDayIsMonotonicAndFine) {
    RealClock clock;
    const double wall = QTime::currentTime().msecsSinceStartOfDay() / 1000.0, first = clock.Now();
    if (wall > 86400 - 2) GTEST_SKIP() << "too close to midnight";
    EXPECT_TRUE(std::abs(first - wall) < 0.05 && clock.Today() == QDate::currentDate());
    double last = first;
    bool fine = false;
    for (int i = 0; i < 200000; ++i) {
        const double t = clock.Now();
        ASSERT_GE(t, last);
        fine |= t != last && t - last < 0.001;
        last = t;
    }
    EXPECT_TRUE(fine);
}
