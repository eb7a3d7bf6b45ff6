#pragma once
// A connection to an X server for the end-to-end tests: find a program's
// windows by title, ask one to close, read the screen. Keeps Xlib's macros
// out of the tests.

#include <QImage>
#include <string>

namespace zavo::test {

class XDisplay {
  public:
    explicit XDisplay(const std::string& name);
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    bool Ok() const { return display_ != nullptr; }
    // A shown top-level window whose title begins with prefix; 0 when none.
    unsigned long FindWindow(const std::string& prefix);
    // What a window manager's close button sends.
    void CloseRequest(unsigned long window);
    QImage Screen();

  private:
    void* display_ = nullptr;
};

}  // namespace zavo::test
