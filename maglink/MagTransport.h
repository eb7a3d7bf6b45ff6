#pragma once
// How copy-data messages travel between programs on this computer: a named
// endpoint that one program serves and others send to. Windows uses hidden
// windows found by caption and WM_COPYDATA (the magnetometer program's own
// way); elsewhere a local socket carries the same payload in frames.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "maglink/MagProtocol.h"

namespace zavo {

class MagTransport {
  public:
    using Receiver = std::function<void(const CopyData&)>;
    enum class Served { Serving, Taken, Failed };
    enum class Sent { Delivered, NoReceiver, Rejected, Failed };

    virtual ~MagTransport() = default;
    // Serves the endpoint name, handing every payload that arrives to
    // receiver. Taken: another running program serves it already (its name
    // is left alone). detail says why it failed.
    virtual Served Serve(const std::string& name, Receiver receiver, std::string& detail) = 0;
    virtual void Stop() = 0;
    // Sends one payload and waits, at most timeoutMs, until the receiver has
    // taken it. NoReceiver comes back at once when nobody serves the name;
    // sender is the message's wParam (the sending program's main window).
    virtual Sent Send(const std::string& name, const CopyData& data, std::uint64_t sender,
                      int timeoutMs) = 0;
};

// The transport of the platform the program was built for.
std::unique_ptr<MagTransport> MagTransport_System();

}  // namespace zavo
