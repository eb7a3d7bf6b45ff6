#pragma once
// Which panel controls are enabled, shown and coloured.

namespace zavo {

struct Ctx;

class PanelEnabling {
  public:
    explicit PanelEnabling(Ctx& ctx);
    void Panels_Enable(bool enable);
    void FieldMeters_Enable(bool enable);
    void ModeSelect_Enable(bool enable);
    void ADMPanel_Enable(bool enable);
    void TOVPanel_Enable(bool enable);
    void DemagModes_Enable(bool enable);
    void MagPositions_Enable(bool enable);

  private:
    // The window neither repaints nor takes input while the panel changes;
    // nested calls resume it only when the outermost one ends.
    void Window_Suspend();
    void Window_Resume();

    Ctx& ctx_;
    int suspended_ = 0;
};

}  // namespace zavo
