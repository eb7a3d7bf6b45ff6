#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

#include "dialogs/Dialogs.h"

class QMessageBox;
class QAbstractButton;

namespace zavo {

class Clock;

// The operator's dialogs as Qt shows them. Every dialog runs modally in a loop
// that yields through the program's clock, so waits, time-outs and tests on a
// fake clock behave alike; dialogs opened from inside another dialog's loop
// nest safely.
class QtDialogs : public Dialogs {
  public:
    explicit QtDialogs(Clock& clock);
    ~QtDialogs() override;
    QtDialogs(const QtDialogs&) = delete;
    QtDialogs& operator=(const QtDialogs&) = delete;

    // The main window (boxes are centred over the active window, and owned by
    // it) and its command frame, which the large-button dialog covers.
    void SetWindow(QWidget* mainWindow, QWidget* cmdFrame);

    int MsgBox_Custom(const QString& prompt, int style, const QString& title, int timeout,
                      const QString& caption1, const QString& caption2, const QString& caption3,
                      const QString& caption4) override;
    bool MsgBox_Large(const QString& okCaption, const QString& cancelCaption) override;
    QString InputBox(const QString& prompt, const QString& title, bool masked) override;
    void Dismiss() override;
    int Showing() const override { return int(open_.size()); }

    // Title of a box asked without one.
    static inline const QString kDefaultTitle = QStringLiteral("ZAVO");
    // Longest time-out honoured, in seconds.
    static constexpr int kMaxTimeout = 32;

  private:
    // A box with a time-out still to come; it lives exactly as long as its box.
    struct Pending {
        QPointer<QWidget> box;
        double start = 0;
        double seconds = 0;
        QPointer<QAbstractButton> escape;  // pressed when the time is up; none: stays open
    };

    // The window a new dialog is owned by and centred over.
    QWidget* Owner() const;
    // Runs the event loop until w is hidden or deleted.
    void Run(QWidget* w);
    // Dismisses every open box whose time is up; seconds until the next is due.
    double Timeouts_Check();

    Clock& clock_;
    QPointer<QWidget> mainWindow_;
    QPointer<QWidget> cmdFrame_;
    std::vector<Pending*> pending_;
    // Every dialog whose Run is on the stack.
    std::vector<QPointer<QWidget>> open_;
};

// Moves a shown window so that it is centred over owner (kept on its screen).
void Window_CentreOver(QWidget* w, const QWidget* owner);

}  // namespace zavo
