#pragma once
// Every exchange with the controller: one command, its reply up to the line
// feed, the in-band progress characters, the controller's error lines.

#include <string>

namespace zavo {

struct Ctx;

class CommandLink {
public:
    explicit CommandLink(Ctx& ctx);

    // Show: status line and field meters follow the exchange. Quiet: a
    // time-out ends the exchange silently (no error).
    void Command_Execute(const std::string& Cmd, bool Show, bool Quiet);
    // Writes a command without waiting for any reply (nothing in simulation).
    void Command_Send(const std::string& Cmd);
    // Collects one further reply line; Timeout 0 becomes 3 s.
    std::string Reply_Read(double& Timeout);
    void Input_Flush();

    // True while an exchange waits for its reply: no other exchange may write
    // to the port meanwhile.
    bool InFlight() const { return inFlight_; }

private:
    Ctx& ctx_;
    bool inFlight_ = false;
};

}  // namespace zavo
