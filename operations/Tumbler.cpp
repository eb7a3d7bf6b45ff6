// Placeholder until this subsystem is built.
#include "operations/Tumbler.h"

namespace zavo {

Int16 MagPos(Int16, Int16) { return 0; }
Tumbler::Tumbler(Ctx& ctx) : ctx_(ctx) {}
void Tumbler::MagPos_Next() {}
void Tumbler::MagPos_Prev() {}
bool Tumbler::Tumbler_Check() { return false; }
void Tumbler::Tumbler_SetPos(Int16, bool) {}
void Tumbler::TumblerInit_Send(bool) {}
void Tumbler::TumblerStart_Send(bool) {}
void Tumbler::Tumbler_Init() {}
void Tumbler::TOVDir_Enable(bool) {}

}  // namespace zavo
