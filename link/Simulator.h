#pragma once
// The instrument's stand-in when the program runs without one: a fixed answer
// for every command, chosen by the command text alone (plus the mode word for
// "ET" and the instrument mode for "IP"). It keeps no state and never echoes
// the values it is given.

#include <string>

#include "core/State.h"

namespace zavo {

std::string Simulated_Reply(const std::string& cmd, Int16 ModeWordWanted, Int16 ZAVMODE);

}  // namespace zavo
