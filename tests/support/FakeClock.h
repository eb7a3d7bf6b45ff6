#pragma once
// A clock that only moves when the program waits: Yield advances time to the
// next scheduled event (or by the longest wait asked for) and runs the events
// due. Tests schedule port arrivals, operator clicks and dialog answers at
// chosen moments; nothing sleeps.

#include <QDate>
#include <functional>
#include <map>

#include "core/Clock.h"

namespace zavo::test {

class FakeClock : public Clock {
public:
    // Starts at the given time of day (seconds since midnight) on the date.
    explicit FakeClock(double startSeconds = 36000.0, QDate date = QDate(2026, 12, 6));

    double Now() const override;
    QDate Today() const override;

    // Absolute seconds since the start date's midnight.
    double Absolute() const { return t_; }
    void Advance(double seconds);
    // Runs fn when the clock reaches absolute time at (in a Yield or Advance).
    void At(double at, std::function<void()> fn);
    // Runs fn after the given seconds from now.
    void After(double seconds, std::function<void()> fn) { At(t_ + seconds, std::move(fn)); }
    // Time that a Yield that finds nothing scheduled moves on by at most.
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
