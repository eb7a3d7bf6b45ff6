#pragma once
// The service terminal txtTerm.

#include <string>

class QPlainTextEdit;

namespace zavo {

struct Ctx;

// Appends to the terminal: 16000/4096 trimming, backspaces, LF dropped, CR
// made CR LF.
void Term_Append(QPlainTextEdit* Term, std::string Text);

class Terminal {
public:
    explicit Terminal(Ctx& ctx);
    // Appends in service mode only.
    void Echo(const std::string& text);

private:
    Ctx& ctx_;
};

}  // namespace zavo
