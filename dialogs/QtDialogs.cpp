#include "dialogs/QtDialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <vector>

#include "core/Clock.h"
#include "dialogs/FrmMsgBox.h"
#include "core/Waits.h"

namespace zavo {

namespace {

struct ButtonKind {
    int code;
    const char* caption;  // shown when the caller gives none
};

// The buttons of a style, in the order the box lays them out (left to right).
// Callers name them in this order, so it must not follow the desktop's
// preferences for button order.
std::vector<ButtonKind> Buttons_Of(int style) {
    switch (style & 0xF) {
        case kOKCancel:
            return {{kOK, "OK"}, {kCancel, "Cancel"}};
        case kAbortRetryIgnore:
            return {{kAbort, "&Abort"}, {kRetry, "&Retry"}, {kIgnore, "&Ignore"}};
        case kYesNoCancel:
            return {{kYes, "&Yes"}, {kNo, "&No"}, {kCancel, "Cancel"}};
        case kYesNo:
            return {{kYes, "&Yes"}, {kNo, "&No"}};
        case kRetryCancel:
            return {{kRetry, "&Retry"}, {kCancel, "Cancel"}};
        default:
            return {{kOK, "OK"}};
    }
}

QMessageBox::Icon Icon_Of(int style) {
    switch (style & 0xF0) {
        case kCritical:
            return QMessageBox::Critical;
        case kQuestion:
            return QMessageBox::Question;
        case kExclamation:
            return QMessageBox::Warning;
        case kInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

bool Has(const std::vector<ButtonKind>& kinds, int code) {
    return std::any_of(kinds.begin(), kinds.end(),
                       [code](const ButtonKind& k) { return k.code == code; });
}

// The answer of a box that went away unanswered (its owner closed): what
// Escape gives where it gives anything, else the cautious choice.
int Unanswered(const std::vector<ButtonKind>& kinds) {
    if (Has(kinds, kCancel)) return kCancel;
    if (kinds.size() == 1) return kinds.front().code;
    return Has(kinds, kNo) ? kNo : kAbort;
}

const QString& Title_Or_Default(const QString& title) {
    return title.isEmpty() ? QtDialogs::kDefaultTitle : title;
}

}  // namespace

void Window_CentreOver(QWidget* w, const QWidget* owner) {
    if (!owner) return;
    const QRect o = owner->frameGeometry();
    const QSize s = w->frameGeometry().size();
    QPoint p(o.x() + (o.width() - s.width()) / 2, o.y() + (o.height() - s.height()) / 2);
    if (const QScreen* screen = owner->screen()) {
        const QRect a = screen->availableGeometry();
        p.setX(std::clamp(p.x(), a.left(), std::max(a.left(), a.right() + 1 - s.width())));
        p.setY(std::clamp(p.y(), a.top(), std::max(a.top(), a.bottom() + 1 - s.height())));
    }
    w->move(p);
}

QtDialogs::QtDialogs(Clock& clock) : clock_(clock) {}
QtDialogs::~QtDialogs() = default;

void QtDialogs::SetWindow(QWidget* mainWindow, QWidget* cmdFrame) {
    mainWindow_ = mainWindow;
    cmdFrame_ = cmdFrame;
}

QWidget* QtDialogs::Owner() const {
    QWidget* w = QApplication::activeWindow();
    if (w && w->isVisible()) return w;
    if (mainWindow_ && mainWindow_->isVisible()) return mainWindow_;
    return nullptr;
}

void QtDialogs::Run(QWidget* w) {
    const QPointer<QWidget> alive(w);
    open_.push_back(alive);
    while (alive && alive->isVisible()) {
        const double next = Timeouts_Check();
        if (!alive || !alive->isVisible()) break;
        clock_.Yield(std::min(next, 0.5));
    }
    open_.erase(std::find(open_.begin(), open_.end(), alive));
}

void QtDialogs::Dismiss() {
    for (const QPointer<QWidget>& w : open_)
        if (w) w->hide();
}

double QtDialogs::Timeouts_Check() {
    double next = 1e9;
    // Every entry belongs to a box whose call is on the stack below us.
    const std::vector<Pending*> open = pending_;
    for (Pending* p : open) {
        if (p->seconds <= 0 || !p->box || !p->box->isVisible()) continue;
        const double left = p->seconds - Timer_Elapsed(clock_, p->start);
        if (left > 0) {
            next = std::min(next, left);
            continue;
        }
        p->seconds = 0;  // fires once
        if (p->escape) p->escape->click();
    }
    return next;
}

int QtDialogs::MsgBox_Custom(const QString& prompt, int style, const QString& title, int timeout,
                             const QString& caption1, const QString& caption2,
                             const QString& caption3, const QString& caption4) {
    const std::vector<ButtonKind> kinds = Buttons_Of(style);
    const QString captions[4] = {caption1, caption2, caption3, caption4};
    QWidget* owner = Owner();

    auto* box = new QMessageBox(owner);
    const QPointer<QMessageBox> alive(box);
    box->setWindowTitle(Title_Or_Default(title));
    box->setTextFormat(Qt::PlainText);
    QString text = prompt;
    text.replace("\r\n", "\n").replace('\r', '\n');
    box->setText(text);
    box->setIcon(Icon_Of(style));

    // One role for all buttons keeps them in the order they are added.
    std::vector<QPushButton*> buttons;
    QPushButton* escape = nullptr;
    for (size_t i = 0; i < kinds.size(); ++i) {
        const QString& given = i < 4 ? captions[i] : QString();
        QPushButton* b = box->addButton(given.isEmpty() ? QString(kinds[i].caption) : given,
                                        QMessageBox::ActionRole);
        buttons.push_back(b);
        if (kinds[i].code == kCancel || kinds.size() == 1) escape = b;
    }
    const size_t def = size_t((style >> 8) & 0xF);
    box->setDefaultButton(buttons[def < buttons.size() ? def : 0]);
    // Without Cancel (Yes/No, Abort/Retry/Ignore) Escape does nothing.
    box->setEscapeButton(escape);
    box->setWindowModality(Qt::ApplicationModal);

    // The time-out belongs to this box alone and ends with it.
    Pending pending{box, clock_.Now(), double(std::min(timeout, kMaxTimeout)), escape};
    if (pending.seconds > 0) pending_.push_back(&pending);
    box->show();
    Window_CentreOver(box, owner);
    Run(box);
    pending_.erase(std::remove(pending_.begin(), pending_.end(), &pending), pending_.end());

    int result = Unanswered(kinds);
    if (alive) {
        const auto it = std::find(buttons.begin(), buttons.end(), alive->clickedButton());
        if (it != buttons.end()) result = kinds[size_t(it - buttons.begin())].code;
        delete alive.data();
    }
    return result;
}

bool QtDialogs::MsgBox_Large(const QString& okCaption, const QString& cancelCaption) {
    QWidget* owner = mainWindow_ ? mainWindow_.data() : Owner();
    QWidget* over = Owner();
    auto* form = new FrmMsgBox(owner);
    const QPointer<FrmMsgBox> alive(form);
    if (!okCaption.isEmpty()) form->cmdOK->setText(okCaption);
    if (!cancelCaption.isEmpty()) form->cmdCANCEL->setText(cancelCaption);
    form->SetCover(cmdFrame_);
    const bool covering = form->Form_Activate();
    form->setWindowModality(Qt::ApplicationModal);
    form->show();
    if (!covering) Window_CentreOver(form, over);
    Run(form);
    MsgBoxOK = alive && alive->MsgBoxOK;
    delete alive.data();
    return MsgBoxOK;
}

QString QtDialogs::InputBox(const QString& prompt, const QString& title, bool masked) {
    QWidget* owner = Owner();
    auto* dialog = new QInputDialog(owner);
    const QPointer<QInputDialog> alive(dialog);
    dialog->setObjectName("InputBox");
    dialog->setWindowTitle(Title_Or_Default(title));
    dialog->setInputMode(QInputDialog::TextInput);
    dialog->setLabelText(prompt);
    dialog->setTextEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
    if (auto* edit = dialog->findChild<QLineEdit*>()) edit->setMinimumWidth(280);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
    Window_CentreOver(dialog, owner);
    Run(dialog);
    QString text;
    if (alive && alive->result() == QDialog::Accepted) text = alive->textValue();
    delete alive.data();
    return text;
}

}  // namespace zavo
