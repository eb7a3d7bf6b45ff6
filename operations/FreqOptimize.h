#pragma once
// The AC coil's resonance frequency: the controller searches it ("z") with
// the demagnetizer on, keeps it in its EEPROM, and the date is remembered so
// that the search is repeated only when it is old.

#include <string>

namespace zavo {

struct Ctx;

class FreqOptimize {
  public:
    explicit FreqOptimize(Ctx& ctx);
    // The coil must be empty: the caller has asked the operator.
    void Freq_Optimize();

  private:
    // A control-character command whose reply is not looked at, then the
    // settle time; true when the controller answered. Nothing is sent to a
    // lost instrument.
    bool Control_Send(const char* bytes, int length);
    // No answer came in time or the port failed: nothing more can be sent.
    // (An error line only ends the program: the stages are still switched off.)
    bool Lost() const;

    Ctx& ctx_;
};

// The frequency text of a "z" reply ("fg: 1045d 43.0 Hz" -> "43.0 Hz"):
// empty without a "d" after the ":"; hasColon tells whether there was one.
std::string Frequency_Text(const std::string& reply, bool& hasColon);

}  // namespace zavo
