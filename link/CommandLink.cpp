// Placeholder until this subsystem is built.
#include "link/CommandLink.h"

namespace zavo {

CommandLink::CommandLink(Ctx& ctx) : ctx_(ctx) {}
void CommandLink::Command_Execute(const std::string&, bool, bool) {}
void CommandLink::Command_Send(const std::string&) {}
std::string CommandLink::Reply_Read(double&) { return {}; }
void CommandLink::Input_Flush() {}

}  // namespace zavo
