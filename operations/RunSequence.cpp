#include "operations/RunSequence.h"

namespace zavo {

// Placeholder until the run sequence lands.
RunSequence::RunSequence(Ctx& ctx) : ctx_(ctx) {}
void RunSequence::Run_Start() {}
void RunSequence::Run_Abort() {}

}  // namespace zavo
