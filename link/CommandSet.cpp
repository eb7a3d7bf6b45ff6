// Placeholder until this subsystem is built.
#include "link/CommandSet.h"

namespace zavo {

CommandSet::CommandSet(Ctx& ctx) : ctx_(ctx) {}
void CommandSet::ModeWord_Send(Int16, bool) {}
void CommandSet::FD_Send(Int16, bool) {}
void CommandSet::FA_Send(Int16, bool) {}
void CommandSet::FM_Send(Int16, bool) {}
void CommandSet::FP_Send(Int16, bool) {}
void CommandSet::D_Send(Int16, bool) {}
void CommandSet::ES_Send(Int16, bool) {}
void CommandSet::ER_Send(Int16, bool) {}
void CommandSet::ET_Send(Int16, bool) {}
void CommandSet::SD_Send(Int16, bool) {}
void CommandSet::SM_Send(Int16, bool) {}
void CommandSet::H_Send(Int16, bool) {}
void CommandSet::WPToggle_Send() {}
void CommandSet::Temp_Read(bool, float& t) { t = 0; }
void CommandSet::J_Send(bool) {}

}  // namespace zavo
