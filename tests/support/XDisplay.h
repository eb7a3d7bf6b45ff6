#pragma once
// A connection to the end-to-end tests' X server: a program's windows by title, their place, a
// close request, the screen. Keeps Xlib's macros out of the tests.

#include <QImage>
#include <QRect>
#include <string>
#include <vector>

struct _XDisplay;  // Xlib's Display

namespace zavo::test {

class XDisplay {
  public:
    explicit XDisplay(const std::string& name);
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    // The shown top-level windows whose titles hold `part`.
    std::vector<unsigned long> Windows(const std::string& part);
    QRect Geometry(unsigned long window);
    // What a window manager's close button sends.
    void CloseRequest(unsigned long window);
    QImage Screen();

  private:
    _XDisplay* display_ = nullptr;
};

}  // namespace zavo::test
