#include "link/Waits.h"

#include <cmath>

#include "core/Clock.h"

namespace zavo {

double Timer_Elapsed(const Clock& clock, double start) {
    double d = clock.Now() - start;
    if (d < -0.01) d += 86400.0;
    return d;
}

double Wait_Seconds(Clock& clock, double seconds) {
    const double start = clock.Now();
    const double s = std::fabs(seconds);
    for (;;) {
        const double e = Timer_Elapsed(clock, start);
        if (e >= s) break;
        clock.Yield(s - e);
    }
    return Timer_Elapsed(clock, start);
}

}  // namespace zavo
