#pragma once
// Every exchange with the controller: one command, its reply up to the line
// feed, the in-band progress characters, the controller's error lines.

#include <QString>
#include <functional>
#include <optional>
#include <string>

namespace zavo {

struct Ctx;

// What the operator is told about a command and how long it may take.
struct CommandClass {
    QString description;  // status text; empty for none
    double T1 = 2.0;      // longest wait for the first reply character
    double T2 = 30.0;     // longest time for the rest (for "G": longest silence)
};

CommandClass Command_Classify(const std::string& cmd, int ModeWordWanted);
// The command as the terminal shows it ("Crtl P", "ESC", "Crtl T C").
std::string Command_EchoName(const std::string& cmd);

class CommandLink {
  public:
    explicit CommandLink(Ctx& ctx);

    // Show: status line and field meters follow the exchange. Quiet: a
    // time-out ends the exchange silently, and an error line is only a reply
    // (no error, no dialog).
    //
    // Only one exchange owns the port at a time. A call made while another
    // exchange (or Reply_Read) waits - from a timer or a message handled
    // inside its wait loop - is refused: it writes nothing, reads nothing,
    // shows nothing and returns at once with CmdError True and an empty
    // ReplyText, so its caller stores nothing. The running exchange keeps its
    // reply and flags in its own working values and publishes them when it
    // returns, so the refused call cannot disturb it.
    void Command_Execute(const std::string& Cmd, bool Show, bool Quiet);
    // Writes a command without waiting for any reply (nothing in simulation).
    // Allowed during an exchange: ESC from ABORT, "B1" from the error handling.
    void Command_Send(const std::string& Cmd);
    // Collects one further reply line; Timeout 0 becomes 3 s. Returns "" in
    // simulation and when called during an exchange.
    std::string Reply_Read(double& Timeout);
    // Discards the input until the line has been silent for 0.2 s, for at
    // most 2 s and not past STOP (nothing during an exchange).
    void Input_Flush();

    // The port failed while no exchange was running (adapter unplugged,
    // controller gone): told as a loss during an exchange is, CmdFatal set.
    // Nothing when an exchange runs (it meets the failure itself) or the
    // program is ending already.
    void Loss_Report();

    // True while an exchange or Reply_Read owns the port.
    bool InFlight() const { return inFlight_; }
    // The last Command_Execute got a whole reply (or a simulated one): false
    // after STOP, a quiet time-out, an error or a refused call. Encoders store
    // a confirmed value only then.
    bool Completed() const { return completed_; }
    // Something was written outside an exchange (a typed key): an answer may
    // be on its way, so the next flush waits for silence again.
    void Quiet_Reset() { quietSince_ = -1; }
    // How many calls were refused because an exchange was in flight.
    int Refused() const { return refused_; }
    // Told each field value the controller reports in-band: code 175 AC
    // rising, 174 AC falling, 246 DC (whoever follows the course subscribes).
    std::function<void(unsigned char code, double value)> FieldReported;

  private:
    struct Attempt;
    enum class Outcome { Complete, Left, TimedOut, Disconnected, PortError };
    enum class Dispatch { Leave, Retry };

    Outcome Exchange(const std::string& cmd, const CommandClass& cls, bool Show, bool Quiet,
                     Attempt& a);
    void Flush();
    bool StopCheck(const std::string& cmd) const;
    // One idle pass of a reply wait: port failure, the time limit since ref
    // (marker on a loud time-out), a yield, the STOP check. Empty: go on.
    std::optional<Outcome> Idle(const std::string& cmd, double ref, double limit,
                                const char* marker, bool Quiet, Attempt& a);
    void InBand(const std::string& cmd, unsigned char c, bool Show, Attempt& a);
    Dispatch Error_Dispatch(Attempt& a, bool disconnected);
    Dispatch Retry_Ask(const QString& text);
    // ending: the program was ending before this error; it is logged only.
    void Critical_Close(const QString& err, bool ending);
    void Blink(bool on);
    void Lamp(long color);
    void Text(const QString& text);
    void Term(const std::string& text);
    void Publish(const Attempt& a);

    Ctx& ctx_;
    bool inFlight_ = false;
    bool completed_ = false;
    int refused_ = 0;
    // Time of day from which the input line is known to have been silent
    // (negative: unknown), and the port it was seen on.
    double quietSince_ = -1;
    int quietPort_ = 0;
};

}  // namespace zavo
