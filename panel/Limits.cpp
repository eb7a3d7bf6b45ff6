// Placeholder until this subsystem is built.
#include "panel/Limits.h"

namespace zavo {

Limits::Limits(Ctx& ctx) : ctx_(ctx) {}
void Limits::Limits_Set() {}
bool Limits::Input_Validate() { return true; }
bool Limits::Input_Check(TextBox*, const QString&, const QString&, Int16, Int16) { return true; }
void Limits::Text_SelectAll(TextBox*) {}

}  // namespace zavo
