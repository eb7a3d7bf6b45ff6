#include "operations/InstrumentInit.h"

namespace zavo {

// Placeholder until the initialization lands.
InstrumentInit::InstrumentInit(Ctx& ctx) : ctx_(ctx) {}
void InstrumentInit::Instrument_Init() {}

}  // namespace zavo
