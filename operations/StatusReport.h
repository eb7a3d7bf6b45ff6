#pragma once
// The controller's "IP" report read into the instrument state.

#include <string>

#include "core/State.h"

namespace zavo {

struct Ctx;

class StatusReport {
  public:
    explicit StatusReport(Ctx& ctx);
    // Sends "IP" without status display and reads the reply; a failed
    // exchange, a stop request or an error line leave every value as it was.
    void Status_Read();
    // Reads a report into state; fields missing from it keep their values.
    // Line feeds are dropped before the split at CR, so a report with CR LF
    // line ends reads the same as one with CR alone.
    static void Status_Parse(const std::string& reply, InstrumentState& state);

  private:
    Ctx& ctx_;
};

}  // namespace zavo
