#pragma once
// The coil's working temperature: the initialization and every run wait for
// it, the exit warns while it is not reached.

namespace zavo {

struct Ctx;

// Coil sensor voltage (mV) above which the coil is at working temperature; at
// or below it the coil is still too hot.
inline constexpr float kWorkingMV = 2440;

enum class CoilWait { Warm, Stopped, Failed };

// Reads the coil once a second, showing the wait on the status line, until it
// is at working temperature, STOP is pressed or a reading fails.
CoilWait WorkingTemperature_Wait(Ctx& ctx);

}  // namespace zavo
