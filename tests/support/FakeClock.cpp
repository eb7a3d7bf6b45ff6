#include "support/FakeClock.h"

#include <QCoreApplication>
#include <cmath>

namespace zavo::test {

FakeClock::FakeClock(double startSeconds, QDate date) : t_(startSeconds), date_(date) {}

double FakeClock::Now() const { return std::fmod(t_, 86400.0); }

QDate FakeClock::Today() const { return date_.addDays(qint64(std::floor(t_ / 86400.0))); }

void FakeClock::DoYield(double maxSeconds) {
    QCoreApplication::processEvents();
    double step = std::min(std::max(maxSeconds, 0.0), step_);
    // Never a step too small to move the time on (t_ is tens of thousands).
    if (step < 1e-6) step = 1e-6;
    double target = t_ + step;
    if (!events_.empty() && events_.begin()->first < target) target = events_.begin()->first;
    if (target > t_) t_ = target;
    RunDue();
}

void FakeClock::Advance(double seconds) {
    const double end = t_ + seconds;
    while (!events_.empty() && events_.begin()->first <= end) {
        t_ = std::max(t_, events_.begin()->first);
        RunDue();
    }
    t_ = end;
}

void FakeClock::At(double at, std::function<void()> fn) { events_.emplace(at, std::move(fn)); }

void FakeClock::RunDue() {
    while (!events_.empty() && events_.begin()->first <= t_) {
        auto fn = std::move(events_.begin()->second);
        events_.erase(events_.begin());
        fn();
    }
}

}  // namespace zavo::test
