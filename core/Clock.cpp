// Placeholder until this subsystem is built.
#include "core/Clock.h"
#include <QDateTime>

namespace zavo {

double RealClock::Now() const { return QTime::currentTime().msecsSinceStartOfDay() / 1000.0; }
QDate RealClock::Today() const { return QDate::currentDate(); }
void RealClock::Yield(double) {}

}  // namespace zavo
