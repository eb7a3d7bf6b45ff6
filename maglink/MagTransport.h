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
    // Why a served endpoint cannot take messages for now; "" once it can again.
    using Trouble = std::function<void(const std::string& why)>;
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

    // Set before Serve; told from the event loop while serving.
    void Trouble_Set(Trouble trouble) { trouble_ = std::move(trouble); }
    // In words, why the last Send did not deliver ("" when it did or the
    // transport cannot tell).
    const std::string& Why() const { return why_; }

  protected:
    Trouble trouble_;
    std::string why_;
};

// The transport of the platform the program was built for.
std::unique_ptr<MagTransport> MagTransport_System();

#ifndef _WIN32
// The folder of this user's link sockets: "zavo" in the user's runtime folder
// (XDG_RUNTIME_DIR), else "zavo-<uid>" in the temporary folder. Sender and
// receiver find each other when they run with the same environment.
std::string Socket_Folder();
// The local-socket transport in a given folder, for a given user: the folder
// must be that user's alone (owner and mode 0700), and sockets and peers of
// any other user are neither used nor yielded to. MagTransport_System() is
// this with Socket_Folder() and the effective user.
std::unique_ptr<MagTransport> MagTransport_Local(const std::string& folder, unsigned user);
#endif

}  // namespace zavo
