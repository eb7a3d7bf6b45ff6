#pragma once
// The service terminal txtTerm, the port's own event texts and the
// "TestTimes" service button.

#include <QString>
#include <memory>
#include <string>

class QObject;
class QPlainTextEdit;

namespace zavo {

struct Ctx;

// Appends to the terminal: beyond 16000 characters the oldest 4096 go first;
// a backspace removes the character before it (a leading one overwrites the
// box's last character); LF is dropped and CR ends the line. One line end
// counts as one character of the box.
void Term_Append(QPlainTextEdit* Term, std::string Text);

// The texts of the port's events and errors; error is true for the errors.
QString CommEvent_Text(int commEvent, bool& error);

class Terminal {
  public:
    explicit Terminal(Ctx& ctx);
    ~Terminal();
    // Appends in service mode only.
    void Echo(const std::string& text);

    // A key typed into the terminal: in service mode it goes straight to an
    // open port (not while an exchange owns the port). The box keeps the key.
    void txtTerm_KeyPress(int KeyAscii);
    // The port's events and errors: "Status: " + text in the status line; an
    // error also asks OK (ignore) or Cancel (close the port).
    void MSComm1_OnComm(int commEvent);
    // Writes "IP" and ESC, then reads two reply lines for the terminal.
    void cmdTestTimes_Click();

  private:
    Ctx& ctx_;
    std::unique_ptr<QObject> keyFilter_;
};

}  // namespace zavo
