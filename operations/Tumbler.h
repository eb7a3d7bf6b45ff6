#pragma once
// Tumbler, magnetizing positions and their option handlers.

#include "core/State.h"

namespace zavo {

struct Ctx;

// The tumbler position of index MIndex in position mode MMode.
Int16 MagPos(Int16 MMode, Int16 MIndex);

class Tumbler {
public:
    explicit Tumbler(Ctx& ctx);

    void MagPos_Next();
    void MagPos_Prev();
    bool Tumbler_Check();
    void Tumbler_SetPos(Int16 pos, bool Show);
    void TumblerInit_Send(bool Show);
    void TumblerStart_Send(bool Show);
    void Tumbler_Init();
    void TOVDir_Enable(bool enable);

private:
    Ctx& ctx_;
};

}  // namespace zavo
