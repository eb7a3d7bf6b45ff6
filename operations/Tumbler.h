#pragma once
// Tumbler, magnetizing positions and their option handlers.

#include "core/State.h"

class QString;

namespace zavo {

struct Ctx;
class CheckBox;

// The tumbler position of index MIndex in position mode MMode.
Int16 MagPos(Int16 MMode, Int16 MIndex);
// Number of positions of a position mode (0 for an unknown mode).
Int16 MagPos_Count(Int16 MMode);

class Tumbler {
  public:
    // Connects the handlers of the position, tumbler and auto-next controls.
    explicit Tumbler(Ctx& ctx);

    void MagPos_Next();
    void MagPos_Prev();
    // After the status report: true when a tumbler is connected.
    bool Tumbler_Check();
    void Tumbler_SetPos(Int16 pos, bool Show);
    void TumblerInit_Send(bool Show);
    void TumblerStart_Send(bool Show);
    void Tumbler_Init();
    void TOVDir_Enable(bool enable);

    // Event handlers.
    void cmdPrevPos_Click();
    void cmdNextPos_Click();
    void cmdInitTumbler_Click();
    void optMMode_Click(int Index);
    void optMModeT_Click(int Index);
    void chkTumbler_Click();
    void chkTumblerT_Click();
    void chkAutoNext_Click();
    void chkAutoNextT_Click();
    void cmdTumbler_Click(int Index);

  private:
    void MMode_Choose(int Index, bool fromTablet);
    void TumblerBox_Click(CheckBox* box, CheckBox* twin);
    void AutoNextBox_Click(CheckBox* box, CheckBox* twin);
    void AutoNext_Clear();
    void MMode_Select(int Index);
    void MModeLabel_Show();
    void Send(const char* cmd, bool Show);
    // Ends the exchange early when the previous one failed or was stopped.
    bool Interrupted() const;

    Ctx& ctx_;
};

}  // namespace zavo
