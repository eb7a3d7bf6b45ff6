// The controller's "IP" report: any bytes must read without harm, and a
// report must read the same with CR LF line ends as with CR alone.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "operations/StatusReport.h"

using namespace zavo;

namespace {

bool Same(const InstrumentState& a, const InstrumentState& b) {
    return a.ModeWordActual == b.ModeWordActual && a.TumblerConnected == b.TumblerConnected &&
           a.YULState == b.YULState && a.WPState == b.WPState && a.FDActual == b.FDActual &&
           a.FAActual == b.FAActual && a.FMActual == b.FMActual && a.FPActual == b.FPActual &&
           a.ERActual == b.ERActual && a.ESActual == b.ESActual && a.ETActual == b.ETActual &&
           a.SDActual == b.SDActual && a.SMActual == b.SMActual && a.HActual == b.HActual;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    InstrumentState plain;
    StatusReport::Status_Parse(reply, plain);

    std::string crlf;
    for (char c : reply) {
        if (c == '\n') continue;
        crlf += c;
        if (c == '\r') crlf += '\n';
    }
    InstrumentState withLf;
    StatusReport::Status_Parse(crlf, withLf);
    if (!Same(plain, withLf)) std::abort();
    return 0;
}
