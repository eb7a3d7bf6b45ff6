#pragma once
// The controller's "IP" report read into the instrument state.

#include <string>

#include "core/State.h"

namespace zavo {

struct Ctx;

class StatusReport {
public:
    explicit StatusReport(Ctx& ctx);
    // Sends "IP" without status display and reads the reply.
    void Status_Read();
    // Reads a report into state; fields missing from it keep their values.
    static void Status_Parse(const std::string& reply, InstrumentState& state);

private:
    Ctx& ctx_;
};

}  // namespace zavo
