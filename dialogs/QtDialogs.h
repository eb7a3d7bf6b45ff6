#pragma once

#include "dialogs/Dialogs.h"

class QWidget;

namespace zavo {

// The operator's dialogs as Qt shows them.
class QtDialogs : public Dialogs {
public:
    QtDialogs();
    // The main window (boxes are centred over the active window, and owned by
    // it) and its command frame, which the large-button dialog covers.
    void SetWindow(QWidget* mainWindow, QWidget* cmdFrame);

    int MsgBox_Custom(const QString& prompt, int style, const QString& title, int timeout,
                      const QString& caption1, const QString& caption2, const QString& caption3,
                      const QString& caption4) override;
    bool MsgBox_Large(const QString& okCaption, const QString& cancelCaption) override;
    QString InputBox(const QString& prompt, const QString& title, bool masked) override;

private:
    QWidget* mainWindow_ = nullptr;
    QWidget* cmdFrame_ = nullptr;
};

}  // namespace zavo
