#pragma once
// One treatment: START runs it, ABORT stops it.

#include <string>

#include "core/State.h"

namespace zavo {

struct Ctx;

class RunSequence {
  public:
    // Connects START and ABORT.
    explicit RunSequence(Ctx& ctx);
    void Run_Start();
    void Run_Abort();

    // Time stamps sent to the magnetometer program by the last run, and the
    // last of them.

  private:
    // Where a step leads: on to the next step, to the stop end, to the end.
    enum class Next { Go, Stop, End };

    Next Settle();
    Next Check_Stop() const;
    Next Start_Common();
    Next Power_Stages();
    Next Demagnetize();
    Next Anhysteretic();
    Next Pulses();
    // The magnetizer switch on or off, then the specimen to its position.
    Next Magnetizer_Prepare(bool on);
    Next Pulse_Series();
    Next Magnetizer_Finish();
    Next Temperature_Wait();
    void Execute();
    void TimeStamp_Send();
    void Run_End(Next how);
    void Error_End();

    Ctx& ctx_;
    bool stopped_ = false;
};

}  // namespace zavo
