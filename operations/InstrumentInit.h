#pragma once
// From program start to an instrument ready for a run.

namespace zavo {

struct Ctx;

class InstrumentInit {
  public:
    explicit InstrumentInit(Ctx& ctx);
    void Instrument_Init();

  private:
    Ctx& ctx_;
};

}  // namespace zavo
