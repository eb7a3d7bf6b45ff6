#include "operations/RunTrace.h"

namespace zavo {

// Placeholder until the plot and the journal land.
RunTrace::RunTrace(Ctx& ctx) : ctx_(ctx) {}
RunTrace::~RunTrace() = default;
void RunTrace::Run_Begin() {}
void RunTrace::Execute_Begin() {}
void RunTrace::Field_Value(unsigned char, double) {}
void RunTrace::Execute_End() {}
void RunTrace::Run_End(Outcome, const QString&) {}
void RunTrace::Step_Applied(const std::string&) {}

}  // namespace zavo
