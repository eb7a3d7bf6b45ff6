#pragma once
// One treatment: START runs it, ABORT stops it.

namespace zavo {

struct Ctx;

class RunSequence {
  public:
    explicit RunSequence(Ctx& ctx);
    void Run_Start();
    void Run_Abort();

  private:
    Ctx& ctx_;
};

}  // namespace zavo
