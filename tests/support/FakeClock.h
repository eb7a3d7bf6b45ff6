#pragma once
// A clock that moves only when the program waits: to the next scheduled event (port
// arrivals, clicks, answers), or by the step; nothing sleeps.
#include <QCoreApplication>
#include <QDate>
#include <cmath>
#include <functional>
#include <map>

#include "core/Clock.h"

namespace zavo::test {

class FakeClock : public Clock {
public:
    explicit FakeClock(double startSeconds = 36000.0, QDate date = QDate(2026, 12, 6))
        : t_(startSeconds), date_(date) {}
    double Now() const override { return std::fmod(t_, 86400.0); }
    QDate Today() const override { return date_.addDays(qint64(std::floor(t_ / 86400.0))); }
    double Absolute() const { return t_; }
    void Advance(double seconds) {
        const double end = t_ + seconds;
        while (!events_.empty() && events_.begin()->first <= end) {
            t_ = std::max(t_, events_.begin()->first);
            RunDue();
        }
        t_ = end;
    }
    // Runs fn when the clock reaches `at` (seconds since the start date's midnight).
    void At(double at, std::function<void()> fn) { events_.emplace(at, std::move(fn)); }
    void After(double seconds, std::function<void()> fn) { At(t_ + seconds, std::move(fn)); }
    // The most a Yield with nothing due moves on by.
    void SetStep(double s) { step_ = s; }

protected:
    void DoYield(double maxSeconds) override {
        QCoreApplication::processEvents();
        // Never a step too small to move the time on (t_ is tens of thousands).
        double target = t_ + std::max(std::min(std::max(maxSeconds, 0.0), step_), 1e-6);
        if (!events_.empty() && events_.begin()->first < target) target = events_.begin()->first;
        if (target > t_) t_ = target;
        RunDue();
    }

private:
    void RunDue() {
        while (!events_.empty() && events_.begin()->first <= t_) {
            auto fn = std::move(events_.begin()->second);
            events_.erase(events_.begin());
            fn();
        }
    }
    double t_;
    QDate date_;
    double step_ = 0.01;
    std::multimap<double, std::function<void()>> events_;
};

}  // namespace zavo::test
