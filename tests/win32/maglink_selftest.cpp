// The Windows transport sends a step message to its own receive window and reads it back; built
// by scripts/check_win32.sh, run under Wine when present.

#include <cstdio>
#include <string>
#include <vector>

#include "maglink/MagTransport.h"

using namespace zavo;
using Sent = MagTransport::Sent;

int main() {
    int failures = 0;
    const auto check = [&](bool ok, const char* what) {
        std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
        failures += !ok;
    };
    std::vector<CopyData> got;
    std::string detail;
    auto link = MagTransport_System(), second = MagTransport_System();
    check(link->Serve(
              kReceiveName, [&](const CopyData& d) { got.push_back(d); }, detail) ==
              MagTransport::Served::Serving,
          "serves the receive window");
    check(second->Serve(kReceiveName, nullptr, detail) == MagTransport::Served::Taken,
          "a second program finds the caption taken");
    check(link->Send(kReceiveName, Text_Payload("AIR-5-A3"), 0, 1000) == Sent::Delivered,
          "step message delivered");
    check(got.size() == 1 && got[0].bytes.size() == 9 && CopyData_Read(got[0]).text == "AIR-5-A3",
          "text and byte count arrive");
    check(link->Send(kSendName, Text_Payload("45296.5"), 0, 1000) == Sent::NoReceiver,
          "no magnetometer window: nothing sent");
    link->Stop();
    check(link->Send(kReceiveName, Text_Payload("AD-050"), 0, 1000) == Sent::NoReceiver,
          "a stopped window is gone");
    return failures == 0 ? 0 : 1;
}
