#include "core/Waits.h"

#include <cmath>

#include "core/Clock.h"

namespace zavo {

namespace {
// Elapsed time wraps once a day, so a longer wait could never end.
constexpr double kLongestWait = 86399.0;
}  // namespace

double Timer_Elapsed(const Clock& clock, double start) {
    double d = clock.Now() - start;
    if (d < -0.01) d += 86400.0;
    return d;
}

double Wait_Seconds(Clock& clock, double seconds) {
    const double start = clock.Now();
    double s = std::fabs(seconds);
    if (std::isnan(s)) s = 0;
    if (s > kLongestWait) s = kLongestWait;
    for (;;) {
        const double e = Timer_Elapsed(clock, start);
        if (e >= s) break;
        clock.Yield(s - e);
    }
    return Timer_Elapsed(clock, start);
}

}  // namespace zavo
