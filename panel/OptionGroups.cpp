// Placeholder until this subsystem is built.
#include "panel/OptionGroups.h"

namespace zavo {

OptionGroups::OptionGroups(Ctx& ctx) : ctx_(ctx) {}
void OptionGroups::Controls_Enable(bool) {}
void OptionGroups::Option_Highlight(QAbstractButton*) {}
void OptionGroups::Pulses_Enable(bool) {}
void OptionGroups::Focus_Sink() {}

}  // namespace zavo
