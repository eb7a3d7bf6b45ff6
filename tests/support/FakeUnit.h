#pragma once
// The controller with state: values echoed and kept, the "IP" report built from them, the
// course of "G" played on the fake clock (Esc cuts it); it can read cold, fall silent or act.

#include <deque>
#include <functional>
#include <map>
#include <string>

#include "support/FakePort.h"

namespace zavo::test {

struct FakeUnit {
    explicit FakeUnit(FakePort& port, FakeClock& clock);

    int FD = 0, FA = 0, FM = 0, FP = 0, ER = 3, ES = 2, ET = 5;
    int SD = 0, SM = 0, H = 0;
    bool pulseUnit = false;
    int tumbler = 1, wp = 1;
    // YUL1: 0 off, 1 ready, 2 not connected; yulLater (when set) from the second report on.
    int yul = 1, yulLater = -1;
    std::deque<int> temperatures;  // coil mV of the next "y" readings, then coilMV
    int coilMV = 3189;
    std::string freq = "fg: 1045d 43.0 Hz";  // what "z" answers ("": nothing)
    double course = 2.0;                      // seconds a "G" takes
    std::string gError;                       // an error line "G" answers instead
    bool silent = false;                      // answers nothing any more
    std::map<std::string, std::string> overrides;  // other answers ("\r\n" added; "": none)
    // Run when the command arrives, before it is answered.
    std::map<std::string, std::function<void()>> on;

    std::string Report();
    std::string Reply(const std::string& cmd);

  private: FakePort& port_;
    FakeClock& clock_;
    int courseId_ = 0;
    int reports_ = 0;
};

}  // namespace zavo::test
