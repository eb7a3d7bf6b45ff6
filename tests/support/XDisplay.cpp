#include "support/XDisplay.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace zavo::test {

namespace {

Display* D(void* d) { return static_cast<Display*>(d); }

// Windows come and go while they are looked at: an error about one that has just gone is no
// reason to end the test.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

XDisplay::XDisplay(const std::string& name) : display_(XOpenDisplay(name.c_str())) {
    XSetErrorHandler(IgnoreErrors);
}

XDisplay::~XDisplay() {
    if (display_) XCloseDisplay(D(display_));
}

std::vector<unsigned long> XDisplay::Windows(const std::string& part) {
    std::vector<unsigned long> found;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    // Without a window manager the program's windows are the root's children.
    if (!display_ || !XQueryTree(D(display_), DefaultRootWindow(D(display_)), &root, &parent,
                                 &children, &n))
        return found;
    for (unsigned i = 0; i < n; ++i) {
        char* name = nullptr;
        XWindowAttributes a{};
        if (XFetchName(D(display_), children[i], &name) && name &&
            std::string(name).find(part) != std::string::npos &&
            XGetWindowAttributes(D(display_), children[i], &a) && a.map_state == IsViewable)
            found.push_back(children[i]);
        if (name) XFree(name);
    }
    if (children) XFree(children);
    return found;
}

QRect XDisplay::Geometry(unsigned long window) {
    XWindowAttributes a{};
    int x = 0, y = 0;
    Window child = 0;
    if (!display_ || !XGetWindowAttributes(D(display_), window, &a) ||
        !XTranslateCoordinates(D(display_), window, a.root, 0, 0, &x, &y, &child))
        return {};
    return {x, y, a.width, a.height};
}

void XDisplay::CloseRequest(unsigned long window) {
    if (!display_ || !window) return;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(D(display_), "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(D(display_), "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(D(display_), window, False, NoEventMask, &e);
    XFlush(D(display_));
}

QImage XDisplay::Screen() {
    if (!display_) return {};
    Display* d = D(display_);
    XWindowAttributes a{};
    XGetWindowAttributes(d, DefaultRootWindow(d), &a);
    XImage* x = XGetImage(d, DefaultRootWindow(d), 0, 0, unsigned(a.width), unsigned(a.height),
                          AllPlanes, ZPixmap);
    if (!x) return {};
    // The tests' server has 24-bit colour in 32-bit pixels, as QImage's RGB32.
    const QImage img = QImage(reinterpret_cast<const uchar*>(x->data), a.width, a.height,
                              x->bytes_per_line, QImage::Format_RGB32)
                           .copy();
    XDestroyImage(x);
    return img;
}

}  // namespace zavo::test
