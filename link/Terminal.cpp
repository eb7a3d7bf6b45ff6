// Placeholder until this subsystem is built.
#include "link/Terminal.h"

namespace zavo {

void Term_Append(QPlainTextEdit*, std::string) {}
Terminal::Terminal(Ctx& ctx) : ctx_(ctx) {}
void Terminal::Echo(const std::string&) {}

}  // namespace zavo
