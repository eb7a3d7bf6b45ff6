#pragma once
// A stand-in for the coil unit's controller: it takes the bytes the program
// writes, recognises each command by its fixed form, keeps the unit's state
// and schedules its replies in time (field courses, tumbler moves, frequency
// search), paced like a 9600-baud line. No I/O here: the caller feeds bytes
// and the clock, and takes the bytes that are due.

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace vc {

// A fault on demand: the next `count` commands whose text begins with `cmd`
// (count 0: every such command) misbehave as `name` says.
struct Fault {
    std::string name;
    std::string cmd;
    int count = 1;
};

// Fault names and the command each applies to when none is given.
const std::vector<std::pair<std::string, std::string>>& FaultNames();
// Parses NAME[@CMD][*N]. CMD may be ESC or ^P (the banner request) for the
// control characters. False with a message when the text is not a fault.
bool ParseFault(const std::string& text, Fault& out, std::string& error);

enum class Yul { Off = 0, On = 1, Absent = 2 };

struct Options {
    // Time scale of everything the unit does physically (courses, tumbler,
    // relays, frequency search): 100 makes a 10 s course take 0.1 s.
    double speed = 1.0;
    // Seconds (not scaled) the coil needs from start to working temperature.
    double coldSeconds = 0.0;
    bool tumbler = true;
    Yul yul = Yul::On;
    // Seconds one byte takes on the line; 0 sends replies at once.
    double byteTime = 10.0 / 9600.0;
    std::vector<Fault> faults;
};

// The unit's state as the status report shows it.
struct State {
    int modeWord = 1;  // 1 DMG, 2 TOV
    int fd = 0;        // AC peak, mT
    int fa = 0;        // AC at which the DC bias goes off, mT
    int fm = 0;        // DC bias, uT
    int fp = 0;        // pulse field, mT
    int er = 3;        // decrease rate code 0..3
    int es = 2;        // decrease shape code 1..3
    int et = 5;        // AC hold time, s
    int pulseMs = 5000;
    int dir = 2;  // pulse direction 1 "+", 2 "-"
    int sd = 0, sm = 0, h = 0;
    int b = 0;
    bool wp = true;
    bool serviceMode = false;
    int fgRam = 1045, fgEeprom = 1044;
    bool tumblerPresent = true;
    bool tumblerReady = false;
    bool tumbling = false;
    int position = 0;
    Yul yul = Yul::On;
};

class Controller {
  public:
    static constexpr double kNever = std::numeric_limits<double>::infinity();
    // Mid-course points where the unit stops on its own (a fault).
    static constexpr int kCutAfterRise = 1;

    Controller(Options options, double now);

    // Bytes arrived from the line at time `now` (seconds, any origin).
    void Receive(const std::string& bytes, double now);
    // Lets time pass: partial commands time out, scheduled replies fall due.
    void Advance(double now);
    // The bytes whose time on the line has come by `now`.
    std::string TakeOutput(double now);
    // When the next byte or timed action is due (kNever when nothing is).
    double NextDue() const;
    // Every command recognised since the last call, in order.
    std::vector<std::string> TakeCommands();
    // Set once the device has gone away (a fault): the caller closes the
    // line after sending what TakeOutput gave.
    bool Vanished() const { return vanished_; }

    const State& state() const { return st_; }
    // Changes while it runs (the control channel): an accessory switched on,
    // off or unplugged, a fault armed.
    void SetYul(Yul yul) { st_.yul = yul; }
    void SetTumbler(bool present) { st_.tumblerPresent = present; }
    void AddFault(const Fault& fault) { opt_.faults.push_back(fault); }
    // Coil temperature sensor reading in mV at `now`.
    int CoilMillivolts(double now) const;

    // The replies, exposed for tests.
    std::string Banner() const;
    std::string InfoReport() const;
    std::string EepromReport() const;

  private:
    enum Tag { kReply = 0, kActivity = 1 };
    struct Event {
        std::string bytes;
        Tag tag = kReply;
        int ac = -1;  // AC field after these bytes (-1: unchanged)
        int dc = -1;  // DC field after these bytes (-1: unchanged)
        bool vanish = false;
        bool finishesActivity = false;
    };
    using Plan = std::vector<std::pair<double, Event>>;  // (delay, event)

    void Byte(unsigned char c, double now);
    void Dispatch(const std::string& cmd, double now);
    Plan Execute(const std::string& cmd, double now);
    Plan Course();
    Plan PulseCourse();
    Plan FrequencySearch();
    void ApplyFault(const Fault& f, const std::string& cmd, Plan& plan, double now);
    // ESC: whatever moves stops at once.
    Plan StopPlan(double now);
    void Schedule(const Plan& plan, double now);
    void FlushUnknown(double now);
    void Release(double now);
    bool Busy(double now) const { return activityUntil_ > now; }
    double Scaled(double seconds) const { return seconds / opt_.speed; }

    Options opt_;
    State st_;
    double start_;
    std::string partial_;
    double partialSince_ = 0;
    bool serviceKey_ = false;  // a lone Ctrl-T armed the next character
    bool unknownPending_ = false;
    std::multimap<double, Event> timeline_;
    double activityUntil_ = -kNever;
    std::string line_;  // bytes released, waiting for the line
    double lineFree_ = -kNever;
    std::vector<std::string> commands_;
    int acNow_ = 0, dcNow_ = 0;
    bool vanished_ = false;
    bool vanishAfterLine_ = false;
};

// C-style escape of raw bytes for the transcript ("\r", "\n", "\xNN").
std::string Escape(const std::string& bytes);

}  // namespace vc
