// Every fuzz target runs with a real (offscreen) QApplication, as the
// program does: widgets, timers and the event loop behave as in use.
#include <QApplication>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt must not see libFuzzer's options; it keeps a reference to argc.
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    // Never destroyed: the process ends with libFuzzer's exit, and a
    // QApplication torn down among static destructors takes widgets with it.
    static QApplication* app = nullptr;
    if (!app) app = new QApplication(argc, argv);
    QApplication::setStyle("Fusion");
    return 0;
}
