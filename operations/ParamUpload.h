#pragma once
// Writes the run parameters of the current instrument mode into the
// controller, only those that differ from the last status report.

namespace zavo {

struct Ctx;

class ParamUpload {
  public:
    explicit ParamUpload(Ctx& ctx);
    // Stops at the first failed command (CmdError stays raised) and between
    // commands on STOP.
    void Params_Upload();

  private:
    Ctx& ctx_;
};

}  // namespace zavo
