#include "maglink/MagLink.h"

namespace zavo {

// Placeholder until the transport lands.
MagLink::MagLink(Ctx& ctx) : ctx_(ctx) {}
MagLink::~MagLink() = default;
bool MagLink::Open() { return false; }
void MagLink::Close() {}
void MagLink::LinkString_Send(const std::string&) {}

}  // namespace zavo
