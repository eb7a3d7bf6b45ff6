#pragma once
// A clock that moves only when the program waits: to the next scheduled event (port
// arrivals, clicks, answers), or by the step; nothing sleeps.

#include <QDate>
#include <functional>
#include <map>

#include "core/Clock.h"

namespace zavo::test {

class FakeClock : public Clock {
public:
    explicit FakeClock(double startSeconds = 36000.0, QDate date = QDate(2026, 12, 6));

    double Now() const override;
    QDate Today() const override;

    double Absolute() const { return t_; }
    void Advance(double seconds);
    // Runs fn when the clock reaches `at` (seconds since the start date's midnight).
    void At(double at, std::function<void()> fn);
    void After(double seconds, std::function<void()> fn) { At(t_ + seconds, std::move(fn)); }
    // The most a Yield with nothing due moves on by.
    void SetStep(double s) { step_ = s; }

protected:
    void DoYield(double maxSeconds) override;

private:
    void RunDue();
    double t_;
    QDate date_;
    double step_ = 0.01;
    std::multimap<double, std::function<void()>> events_;
};

}  // namespace zavo::test
