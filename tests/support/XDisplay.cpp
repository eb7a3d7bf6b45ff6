// Qt before Xlib, whose macros (Status, Bool) would break it.
#include "e2e_harness.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace e2e {

XDisplay::XDisplay(const std::string& name) : display(XOpenDisplay(name.c_str())) {
    // A window that has just gone while it was looked at is no reason to end the test.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
}

XDisplay::~XDisplay() {
    if (display) XCloseDisplay(display);
}

std::vector<unsigned long> XDisplay::Windows(const std::string& part) {
    std::vector<unsigned long> found;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    // Without a window manager the program's windows are the root's children.
    if (!display || !XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &n))
        return found;
    for (unsigned i = 0; i < n; ++i) {
        char* name = nullptr;
        XWindowAttributes a{};
        if (XFetchName(display, children[i], &name) && Has(name, part) &&
            XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable)
            found.push_back(children[i]);
        XFree(name);
    }
    XFree(children);
    return found;
}

void XDisplay::CloseRequest(unsigned long window) {
    XEvent e{};
    e.xclient.type = ClientMessage, e.xclient.window = window, e.xclient.format = 32;
    e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    e.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, window, False, NoEventMask, &e);
    XFlush(display);
}

QImage XDisplay::Screen() {
    XWindowAttributes a{};
    if (!display || !XGetWindowAttributes(display, DefaultRootWindow(display), &a)) return {};
    XImage* x = XGetImage(display, DefaultRootWindow(display), 0, 0, unsigned(a.width),
                          unsigned(a.height), AllPlanes, ZPixmap);
    if (!x) return {};
    // The tests' server has 24-bit colour in 32-bit pixels, as QImage's RGB32.
    const QImage img(reinterpret_cast<const uchar*>(x->data), a.width, a.height, x->bytes_per_line,
                     QImage::Format_RGB32);
    const QImage copy = img.copy();
    XDestroyImage(x);
    return copy;
}

}  // namespace e2e
