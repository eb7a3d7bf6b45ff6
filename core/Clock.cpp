#include "core/Clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>
#include <chrono>
#include <cmath>

namespace zavo {

double RealClock::Now() const {
    using namespace std::chrono;
    // Local time of day with sub-millisecond resolution.
    const QDateTime now = QDateTime::currentDateTime();
    const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    const double frac = double(us % 1000) / 1e6;
    return now.time().msecsSinceStartOfDay() / 1000.0 + frac;
}

QDate RealClock::Today() const { return QDate::currentDate(); }

void RealClock::Yield(double maxSeconds) {
    const int ms = int(std::ceil(std::max(0.0, maxSeconds) * 1000.0));
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
