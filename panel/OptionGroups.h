#pragma once
// The option groups of the panel, their twins and the input lock.

#include <array>

#include "core/State.h"

class QAbstractButton;

namespace zavo {

struct Ctx;
class OptionButton;

class OptionGroups {
  public:
    // Connects the handlers of the rate, course, demagnetization-mode and
    // polarity groups and of the pulse-count controls.
    explicit OptionGroups(Ctx& ctx);
    // Sets the input flag of every panel control.
    void Controls_Enable(bool enable);
    // Marks the button as chosen and resets the other buttons of its frame.
    void Option_Highlight(QAbstractButton* button);
    // Enables or greys the pulse-count controls.
    void Pulses_Enable(bool on);
    // Moves the focus to the hidden focus sink.
    void Focus_Sink();

    void optERate_Click(int index);
    void optERateT_Click(int index);
    void optEShape_Click(int index);
    void optEShapeT_Click(int index);
    void picEShape_Click(int index);
    void optDMode_Click(int index);
    void optDModeT_Click(int index);
    void optTOVDir_Click(int index);
    void optTOVDirT_Click(int index);
    void vslTOVPulses_Change(int value);
    void cmdTOVMinus_Click();
    void cmdTOVPlus_Click();

  private:
    // Selects the twin's button under the lock, so its handler stays out.
    template <size_t N>
    void Mirror(const std::array<OptionButton*, N>& twin, int index, bool highlight);
    // The course field of the current instrument mode; null in the pulse
    // mode, which has none.
    Int16* ShapeField();
    void TOVNUM_Show(int n);

    Ctx& ctx_;
};

}  // namespace zavo
