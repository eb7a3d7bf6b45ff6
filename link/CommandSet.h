#pragma once
// The controller's commands, each composed from its value, executed, and its
// confirmed value stored when the exchange succeeded.

#include "core/State.h"

namespace zavo {

struct Ctx;

class CommandSet {
public:
    explicit CommandSet(Ctx& ctx);

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
    Ctx& ctx_;
};

}  // namespace zavo
