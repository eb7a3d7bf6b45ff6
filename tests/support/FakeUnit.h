#pragma once
// A controller with state for run tests: answers each command as the
// instrument does (values echoed, switches kept, the "IP" report built from
// them) and plays the field course of "G" on the fake clock, which an Esc
// cuts short.

#include <string>

#include "support/FakePort.h"

namespace zavo::test {

struct FakeUnit {
    explicit FakeUnit(FakePort& port, FakeClock& clock);

    int FD = 0, FA = 0, FM = 0, FP = 0, ER = 3, ES = 2, ET = 5;
    int SD = 0, SM = 0, H = 0;
    bool pulseUnit = false;
    int tumbler = 1;
    // The YUL1 unit: 0 off, 1 ready, 2 not connected; from the second report
    // on yulLater when it is set (switched on meanwhile).
    int yul = 1, yulLater = -1;
    int coilMV = 3189;
    double course = 2.0;  // seconds a "G" takes
    std::string gError;   // an error line "G" answers instead
    // Commands answered by a different text ("\r\n" is added).
    std::map<std::string, std::string> overrides;

    std::string Report();
    std::string Reply(const std::string& cmd);

  private:
    FakePort& port_;
    FakeClock& clock_;
    int courseId_ = 0;
    int reports_ = 0;
};

}  // namespace zavo::test
