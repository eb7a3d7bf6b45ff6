#pragma once
// What a run does, as it happens: the live field-course plot and the
// treatment journal follow it through these calls.

#include <QString>
#include <string>

namespace zavo {

struct Ctx;

class RunTrace {
  public:
    enum class Outcome { Done, Stopped, Error };

    explicit RunTrace(Ctx& ctx);
    ~RunTrace();
    RunTrace(const RunTrace&) = delete;
    RunTrace& operator=(const RunTrace&) = delete;

    // A run has passed validation; the settings and positions it runs with
    // are in the context.
    void Run_Begin();
    // "G" is about to be written (each pass, each pulse).
    void Execute_Begin();
    // A field value the controller reported in-band while an exchange ran:
    // code 175 AC rising, 174 AC falling, 246 DC.
    void Field_Value(unsigned char code, double value);
    // "G" has returned.
    void Execute_End();
    // The run has ended; statusText is what the status line said on an error.
    void Run_End(Outcome outcome, const QString& statusText);
    // A step message from the magnetometer program was applied.
    void Step_Applied(const std::string& text);

  private:
    Ctx& ctx_;
};

}  // namespace zavo
