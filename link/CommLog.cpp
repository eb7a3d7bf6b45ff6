// Placeholder until this subsystem is built.
#include "link/CommLog.h"

namespace zavo {

CommLog::CommLog(Ctx& ctx) : ctx_(ctx) {}
bool CommLog::Open(const std::filesystem::path&) { return false; }
void CommLog::Close() {}
bool CommLog::IsOpen() const { return false; }
void CommLog::Record(const std::string&) {}

}  // namespace zavo
