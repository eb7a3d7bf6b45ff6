#pragma once
// The controller's commands, each composed from its value, executed, and its
// confirmed value stored when the exchange succeeded.

#include <string>

#include "core/State.h"

namespace zavo {

struct Ctx;

// The command text for a value in a fixed-width decimal field ("FD" 7 ->
// "FD007"); empty when the value is negative or has more digits than the
// field holds.
std::string Command_Field(const char* prefix, Int16 value, int width);

class CommandSet {
  public:
    explicit CommandSet(Ctx& ctx);

    // A value that does not fit its field is refused: nothing is written,
    // CmdError is set and the status line says why.
    void ModeWord_Send(Int16 Mode, bool Show);
    void FD_Send(Int16 Value, bool Show);
    void FA_Send(Int16 Value, bool Show);
    void FM_Send(Int16 Value, bool Show);
    void FP_Send(Int16 Value, bool Show);
    void D_Send(Int16 Value, bool Show);
    void ES_Send(Int16 Value, bool Show);
    void ER_Send(Int16 Value, bool Show);
    void ET_Send(Int16 Value, bool Show);
    void SD_Send(Int16 Value, bool Show);
    void SM_Send(Int16 Value, bool Show);
    void H_Send(Int16 Value, bool Show);
    void WPToggle_Send();
    void Temp_Read(bool Show, float& TempMV);
    void J_Send(bool Show);

  private:
    // Runs the command; true when a whole reply came without error, so its
    // value may be stored.
    bool Run(const std::string& cmd, bool Show);
    // Runs prefix + value in its field, or refuses the value.
    bool RunField(const char* prefix, Int16 value, int width, bool Show);
    bool RunSwitch(const char* prefix, Int16 value, bool Show);
    void Refuse(const char* prefix, Int16 value);

    Ctx& ctx_;
};

}  // namespace zavo
