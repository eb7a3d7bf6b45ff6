#pragma once
// Brings the controller into the instrument mode the operator selected, with
// the fall-back to DEMAGNETIZER when the YUL1 unit is missing or stays off.

#include "core/State.h"

namespace zavo {

struct Ctx;

class ModeSwitch {
  public:
    // Connects the instrument-mode buttons.
    explicit ModeSwitch(Ctx& ctx);

    // Reads the status report and sets the controller's mode word for
    // ZAVMODE, falling back to DEMAGNETIZER (ZAVMODE 1) when the unit is not
    // connected or the operator cancels while it is off. False when nothing
    // could be decided: the status read failed or was stopped, or the unit
    // reported a state the program does not know; nothing was changed then.
    bool INSTMODE_Set(bool sbdisplay = false);
    // Selects a mode from code (the magnetometer program, the run's automatic
    // switch) and brings the instrument and the panel into it.
    void ZAVMode_Set(Int16 ZAVMODENEW);
    // The instrument-mode buttons.
    void optZAVMode_Click(int Index);

  private:
    // The three mode buttons, the one of ZAVMODE highlighted.
    void ModeButtons_Paint();
    // Ends the program after a lost instrument; true when it did.
    bool Fatal_End();

    Ctx& ctx_;
};

}  // namespace zavo
