#include "dialogs/QtDialogs.h"

namespace zavo {

QtDialogs::QtDialogs() = default;
void QtDialogs::SetWindow(QWidget* mainWindow, QWidget* cmdFrame) {
    mainWindow_ = mainWindow;
    cmdFrame_ = cmdFrame;
}
int QtDialogs::MsgBox_Custom(const QString&, int, const QString&, int, const QString&,
                             const QString&, const QString&, const QString&) {
    return kOK;
}
bool QtDialogs::MsgBox_Large(const QString&, const QString&) { return MsgBoxOK = true; }
QString QtDialogs::InputBox(const QString&, const QString&, bool) { return QString(); }

}  // namespace zavo
