// Placeholder until this subsystem is built.
#include "operations/StatusReport.h"

namespace zavo {

StatusReport::StatusReport(Ctx& ctx) : ctx_(ctx) {}
void StatusReport::Status_Read() {}
void StatusReport::Status_Parse(const std::string&, InstrumentState&) {}

}  // namespace zavo
