#include "support/XDisplay.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace zavo::test {

XDisplay::XDisplay(const std::string& name) : display_(XOpenDisplay(name.c_str())) {
    // Windows come and go while they are looked at: an error about one that has just gone is no
    // reason to end the test.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
}

XDisplay::~XDisplay() {
    if (display_) XCloseDisplay(display_);
}

std::vector<unsigned long> XDisplay::Windows(const std::string& part) {
    std::vector<unsigned long> found;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    // Without a window manager the program's windows are the root's children.
    Display* d = display_;
    if (!d || !XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) return found;
    for (unsigned i = 0; i < n; ++i) {
        char* name = nullptr;
        XWindowAttributes a{};
        if (XFetchName(d, children[i], &name) &&
            std::string(name).find(part) != std::string::npos &&
            XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable)
            found.push_back(children[i]);
        XFree(name);
    }
    XFree(children);
    return found;
}

QRect XDisplay::Geometry(unsigned long window) {
    XWindowAttributes a{};  // a child of the root: its place is on the screen
    if (!display_ || !XGetWindowAttributes(display_, window, &a)) return {};
    return {a.x, a.y, a.width, a.height};
}

void XDisplay::CloseRequest(unsigned long window) {
    if (!display_ || !window) return;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &e);
    XFlush(display_);
}

QImage XDisplay::Screen() {
    if (!display_) return {};
    XWindowAttributes a{};
    XGetWindowAttributes(display_, DefaultRootWindow(display_), &a);
    XImage* x = XGetImage(display_, DefaultRootWindow(display_), 0, 0, unsigned(a.width),
                          unsigned(a.height), AllPlanes, ZPixmap);
    if (!x) return {};
    // The tests' server has 24-bit colour in 32-bit pixels, as QImage's RGB32.
    const QImage img = QImage(reinterpret_cast<const uchar*>(x->data), a.width, a.height,
                              x->bytes_per_line, QImage::Format_RGB32)
                           .copy();
    XDestroyImage(x);
    return img;
}

}  // namespace zavo::test
