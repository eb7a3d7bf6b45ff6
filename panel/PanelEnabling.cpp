// Placeholder until this subsystem is built.
#include "panel/PanelEnabling.h"

namespace zavo {

PanelEnabling::PanelEnabling(Ctx& ctx) : ctx_(ctx) {}
void PanelEnabling::Panels_Enable(bool) {}
void PanelEnabling::FieldMeters_Enable(bool) {}
void PanelEnabling::ModeSelect_Enable(bool) {}
void PanelEnabling::ADMPanel_Enable(bool) {}
void PanelEnabling::TOVPanel_Enable(bool) {}
void PanelEnabling::DemagModes_Enable(bool) {}
void PanelEnabling::MagPositions_Enable(bool) {}

}  // namespace zavo
