#pragma once
// From program start to an instrument ready for a run.

namespace zavo {

struct Ctx;

class InstrumentInit {
  public:
    explicit InstrumentInit(Ctx& ctx);
    // Finds the instrument, resets it, waits for working temperature, renews
    // an old AC frequency, sets the mode and the tumbler. Does nothing once
    // it has succeeded. Ends the program when the instrument is not usable.
    void Instrument_Init();

  private:
    // The AC frequency is old: asks for an empty coil and searches it. False
    // when the operator refused.
    bool Frequency_Renew();
    // Tumbler controls for a connected tumbler; false when its start-up
    // failed or was stopped.
    bool Tumbler_Ready();
    void Tumbler_None();
    void Ready_Show();
    void SwitchOff_Exit();

    Ctx& ctx_;
};

}  // namespace zavo
