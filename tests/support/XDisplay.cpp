#include "support/XDisplay.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <functional>

namespace zavo::test {

namespace {

Display* D(void* d) { return static_cast<Display*>(d); }

void Walk(Display* d, Window w, const std::function<bool(Window)>& fn) {
    if (fn(w)) return;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) return;
    for (unsigned i = 0; i < n; ++i) Walk(d, children[i], fn);
    if (children) XFree(children);
}

// Windows come and go while they are looked at: an error about one that has
// just gone is no reason to end the test.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

XDisplay::XDisplay(const std::string& name) : display_(XOpenDisplay(name.c_str())) {
    XSetErrorHandler(IgnoreErrors);
}

XDisplay::~XDisplay() {
    if (display_) XCloseDisplay(D(display_));
}

unsigned long XDisplay::FindWindow(const std::string& prefix) {
    if (!display_) return 0;
    Window found = 0;
    Walk(D(display_), DefaultRootWindow(D(display_)), [&](Window w) {
        if (found) return true;
        char* name = nullptr;
        if (XFetchName(D(display_), w, &name) && name) {
            XWindowAttributes a{};
            if (std::string(name).rfind(prefix, 0) == 0 &&
                XGetWindowAttributes(D(display_), w, &a) && a.map_state == IsViewable)
                found = w;
            XFree(name);
        }
        return found != 0;
    });
    return found;
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
    const Window root = DefaultRootWindow(d);
    XWindowAttributes a{};
    XGetWindowAttributes(d, root, &a);
    XImage* x = XGetImage(d, root, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    if (!x) return {};
    QImage img(a.width, a.height, QImage::Format_RGB32);
    for (int y = 0; y < a.height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int xx = 0; xx < a.width; ++xx) row[xx] = QRgb(XGetPixel(x, xx, y)) | 0xFF000000u;
    }
    XDestroyImage(x);
    return img;
}

}  // namespace zavo::test
