#pragma once
// The seam through which the program asks the operator anything. The real
// implementation shows Qt dialogs; tests install scripted answers.

#include <QString>

namespace zavo {

// Platform button codes returned by MsgBox_Custom, whatever the captions.
enum MsgResult { kOK = 1, kCancel = 2, kAbort = 3, kRetry = 4, kIgnore = 5, kYes = 6, kNo = 7 };

// Style codes: buttons + icon + default button.
enum MsgStyle {
    kOKOnly = 0,
    kOKCancel = 1,
    kAbortRetryIgnore = 2,
    kYesNoCancel = 3,
    kYesNo = 4,
    kRetryCancel = 5,
    kCritical = 16,
    kQuestion = 32,
    kExclamation = 48,
    kInformation = 64,
    kDefaultButton2 = 256,
    kDefaultButton3 = 512,
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // A message box with the caller's button captions (in layout order) and an
    // optional time-out in seconds (0 or less: none; at most 32).
    virtual int MsgBox_Custom(const QString& prompt, int style, const QString& title, int timeout,
                              const QString& caption1 = QString(),
                              const QString& caption2 = QString(),
                              const QString& caption3 = QString(),
                              const QString& caption4 = QString()) = 0;
    // The large-button dialog frmMsgBox laid over the command frame: true when
    // the operator pressed the first (OK) button. Also kept in MsgBoxOK.
    virtual bool MsgBox_Large(const QString& okCaption, const QString& cancelCaption) = 0;
    // A line input dialog; masked for passwords. A cancelled dialog gives "".
    virtual QString InputBox(const QString& prompt, const QString& title, bool masked) = 0;
    // Closes every dialog still open, unanswered: each gives its cautious
    // answer (Cancel, No, Abort; "" from an input dialog).
    virtual void Dismiss() {}
    // Dialogs open now (their calls are still on the stack).
    virtual int Showing() const { return 0; }

    bool MsgBoxOK = false;
};

}  // namespace zavo
