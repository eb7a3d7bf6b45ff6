#pragma once
// Timed waits that keep the window alive: all of them go through the clock.

namespace zavo {

class Clock;

// Seconds since start (a time of day), corrected by 86400 across midnight.
double Timer_Elapsed(const Clock& clock, double start);
// Waits |seconds| while the event loop runs; returns the seconds waited.
// Not cut short by STOP. NaN waits nothing; a wait is at most a day long.
double Wait_Seconds(Clock& clock, double seconds);

}  // namespace zavo
