#include "core/Clock.h"

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <ctime>

namespace zavo {

namespace {
// Steps back larger than this are real changes of the time of day (midnight,
// the clock set by hand, daylight saving) and are passed on.
constexpr double kMaxHeldStep = 1.0;
constexpr double kLongSleep = 0.1;
constexpr double kFinalSleep = 0.02;
}  // namespace

double RealClock::Now() const {
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    const std::time_t secs = std::time_t(us / 1000000);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &secs);
#else
    localtime_r(&secs, &local);
#endif
    double t =
        local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + double(us % 1000000) / 1e6;
    if (t < last_ && last_ - t < kMaxHeldStep) t = last_;
    last_ = t;
    return t;
}

QDate RealClock::Today() const {
    return QDate::currentDate();
}

void Clock::Yield(double maxSeconds) {
    struct Depth {
        int& d;
        ~Depth() { --d; }
    } depth{++waitDepth_};
    DoYield(maxSeconds);
}

void RealClock::DoYield(double maxSeconds) {
    double s = std::min(std::max(0.0, maxSeconds), 86400.0);
    // A long sleep wakes a little early and the caller's next, short one ends
    // the wait: a long timer is dispatched later than a short one.
    if (s > kLongSleep) s -= kFinalSleep;
    const int ms = int(std::ceil(s * 1000.0));
    if (ms <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // Sleep in the event loop until an event comes or the timer wakes it.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(ms);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace zavo
