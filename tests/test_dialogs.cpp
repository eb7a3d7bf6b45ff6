// Message boxes, the large-button form and the input dialog, as real widgets
// answered from fake-clock events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <functional>
#include <memory>

#include "core/Widgets.h"
#include "dialogs/FrmMsgBox.h"
#include "dialogs/QtDialogs.h"
#include "support/FakeClock.h"

using namespace zavo;
using zavo::test::FakeClock;

namespace {

template <class T>
T* OpenWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}

QMessageBox* OpenBox() {
    return OpenWindow<QMessageBox>();
}

// The buttons of a box as the operator sees them, left to right.
QList<QAbstractButton*> ShownButtons(QMessageBox* box) {
    QList<QAbstractButton*> b = box->buttons();
    std::sort(b.begin(), b.end(), [box](QAbstractButton* l, QAbstractButton* r) {
        return l->mapTo(box, QPoint(0, 0)).x() < r->mapTo(box, QPoint(0, 0)).x();
    });
    return b;
}

QStringList Captions(QMessageBox* box) {
    QStringList c;
    for (QAbstractButton* b : ShownButtons(box)) c << b->text();
    return c;
}

void PressEscape(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
}

class DialogsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.setObjectName("frmZAV");
        window.setGeometry(120, 90, 800, 600);
        frame = new QGroupBox(&window);
        frame->setObjectName("fraCmd");
        frame->setGeometry(480, 470, 300, 110);
        window.show();
        window.activateWindow();
        QApplication::processEvents();
        dialogs.SetWindow(&window, frame);
    }

    // Runs fn on the open box after the given seconds.
    void OnBox(double after, std::function<void(QMessageBox*)> fn) {
        clock.After(after, [fn] {
            QMessageBox* box = OpenBox();
            ASSERT_NE(box, nullptr);
            fn(box);
        });
    }
    // Presses the button at index (left to right) of the open box.
    void Press(double after, int index) {
        OnBox(after, [index](QMessageBox* box) { ShownButtons(box).at(index)->click(); });
    }

    FakeClock clock;
    QWidget window;
    QGroupBox* frame = nullptr;
    QtDialogs dialogs{clock};
};

struct Kind {
    int style;
    QStringList captions;  // given by the caller
    QList<int> codes;      // of the buttons, left to right
};

// The caption sets the program passes, and one of each remaining kind.
const Kind kKinds[] = {
    {kOKOnly, {"&Close"}, {kOK}},
    {kOKCancel, {"&Go", "&Stop"}, {kOK, kCancel}},
    {kAbortRetryIgnore, {"A", "R", "I"}, {kAbort, kRetry, kIgnore}},
    {kYesNoCancel, {"Y", "N", "C"}, {kYes, kNo, kCancel}},
    {kYesNo, {"&Continue", "&Abort"}, {kYes, kNo}},
    {kYesNo, {"&Yes", "&No"}, {kYes, kNo}},
    {kRetryCancel, {"&Retry", "&Cancel"}, {kRetry, kCancel}},
};

}  // namespace

TEST_F(DialogsTest, CaptionsInLayoutOrderAndCodesWhateverTheCaptions) {
    for (const Kind& k : kKinds) {
        for (int i = 0; i < k.codes.size(); ++i) {
            QStringList shown;
            OnBox(0.2, [&](QMessageBox* box) {
                shown = Captions(box);
                ShownButtons(box).at(i)->click();
            });
            const QStringList c = k.captions + QStringList{"", "", "", ""};
            const int code =
                dialogs.MsgBox_Custom("Question?", k.style, "Kinds", 0, c[0], c[1], c[2], c[3]);
            EXPECT_EQ(shown, k.captions) << "style " << k.style;
            EXPECT_EQ(code, k.codes[i]) << "style " << k.style << " button " << i;
            EXPECT_EQ(OpenBox(), nullptr);
        }
    }
}

TEST_F(DialogsTest, MissingCaptionsKeepTheButtonsOwnAndExtraOnesAreIgnored) {
    QStringList shown;
    OnBox(0.1, [&](QMessageBox* box) {
        shown = Captions(box);
        box->escapeButton()->click();
    });
    EXPECT_EQ(dialogs.MsgBox_Custom("?", kYesNoCancel, "T", 0, "&Go", "", "", "x"), kCancel);
    EXPECT_EQ(shown, (QStringList{"&Go", "&No", "Cancel"}));
}

TEST_F(DialogsTest, StyleGivesIconAndDefaultButtonAndTheBoxIsCentred) {
    struct Case {
        int style;
        QMessageBox::Icon icon;
        int defaultIndex;
        QString title, shownTitle;
    };
    const Case cases[] = {
        {kRetryCancel + kCritical, QMessageBox::Critical, 0, "Port search", "Port search"},
        {kYesNo + kQuestion + kDefaultButton2, QMessageBox::Question, 1, "", "ZAVO"},
        {kYesNoCancel + kExclamation + kDefaultButton3, QMessageBox::Warning, 2, "T", "T"},
        {kOKOnly + kInformation + kDefaultButton3, QMessageBox::Information, 0, "", "ZAVO"},
        {kOKCancel, QMessageBox::NoIcon, 0, "T", "T"},
    };
    const QPoint centre = window.frameGeometry().center();
    for (const Case& c : cases) {
        OnBox(0.1, [&](QMessageBox* box) {
            EXPECT_EQ(box->icon(), c.icon) << c.style;
            EXPECT_EQ(box->windowTitle(), c.shownTitle);
            EXPECT_EQ(box->text(), "Line one\nLine <two>");
            EXPECT_EQ(box->defaultButton(), ShownButtons(box).at(c.defaultIndex)) << c.style;
            EXPECT_NEAR(box->frameGeometry().center().x(), centre.x(), 1);
            EXPECT_NEAR(box->frameGeometry().center().y(), centre.y(), 1);
            ShownButtons(box).at(0)->click();
        });
        dialogs.MsgBox_Custom("Line one\r\nLine <two>", c.style, c.title, 0, "", "", "", "");
    }
}

TEST_F(DialogsTest, TimeoutDismissesAsEscapeDoes) {
    struct Case {
        int style;
        int timeout;
        int result;  // 0: stays open
    };
    const Case cases[] = {
        {kRetryCancel, 5, kCancel},
        {kOKOnly, 3, kOK},
        {kOKCancel, 4, kCancel},
        {kYesNoCancel, 2, kCancel},
        {kOKOnly, 100, kOK},  // longer time-outs are cut to 32 s
        {kYesNo, 2, 0},
        {kAbortRetryIgnore, 2, 0},
    };
    for (const Case& c : cases) {
        const double due = std::min(c.timeout, 32);
        const double start = clock.Absolute();
        bool openBefore = false, openAfter = false;
        clock.After(due - 0.05, [&] { openBefore = OpenBox() != nullptr; });
        if (c.result == 0) {
            clock.After(due + 20, [&] { openAfter = OpenBox() != nullptr; });
            Press(due + 21, 1);  // the operator answers in the end
        }
        const int r = dialogs.MsgBox_Custom("Waiting", c.style, "Timed", c.timeout, "", "", "", "");
        EXPECT_TRUE(openBefore) << c.style;
        if (c.result) {
            EXPECT_EQ(r, c.result) << c.style;
            EXPECT_NEAR(clock.Absolute() - start, due, 0.05) << c.style;
        } else {
            EXPECT_TRUE(openAfter) << c.style;
            EXPECT_EQ(r, c.style == kYesNo ? kNo : kRetry);
        }
    }
}

TEST_F(DialogsTest, TimeoutRunsAcrossMidnight) {
    FakeClock late(86400.0 - 2.0);
    QtDialogs d(late);
    d.SetWindow(&window, frame);
    EXPECT_EQ(d.MsgBox_Custom("?", kRetryCancel, "Night", 5, "", "", "", ""), kCancel);
    EXPECT_NEAR(late.Absolute() - (86400.0 - 2.0), 5, 0.05);
}

TEST_F(DialogsTest, EscapeKeyFollowsTheSameRule) {
    OnBox(0.1, [](QMessageBox* box) { PressEscape(box); });
    EXPECT_EQ(dialogs.MsgBox_Custom("?", kRetryCancel, "Esc", 0, "&Retry", "&Cancel", "", ""),
              kCancel);

    bool stillOpen = false;
    OnBox(0.1, [](QMessageBox* box) { PressEscape(box); });
    clock.After(0.3, [&] { stillOpen = OpenBox() != nullptr; });
    Press(0.4, 0);
    EXPECT_EQ(dialogs.MsgBox_Custom("?", kYesNo, "Esc", 0, "&Yes", "&No", "", ""), kYes);
    EXPECT_TRUE(stillOpen);
}

TEST_F(DialogsTest, AnsweredBoxLeavesNoTimeoutForALaterBoxOfTheSameTitle) {
    Press(1, 0);
    EXPECT_EQ(
        dialogs.MsgBox_Custom("Port?", kRetryCancel, "Port search", 5, "&Retry", "&Cancel", "", ""),
        kRetry);
    // Well past the first box's time-out, the second is still waiting.
    bool open = false;
    clock.After(9, [&] { open = OpenBox() != nullptr; });
    Press(10, 0);
    EXPECT_EQ(dialogs.MsgBox_Custom("Again?", kOKCancel, "Port search", 0, "", "", "", ""), kOK);
    EXPECT_TRUE(open);

    // A second box with its own time-out is timed from its own start.
    Press(0.5, 0);
    dialogs.MsgBox_Custom("Port?", kRetryCancel, "Port search", 5, "", "", "", "");
    const double second = clock.Absolute();
    EXPECT_EQ(dialogs.MsgBox_Custom("Port?", kRetryCancel, "Port search", 8, "", "", "", ""),
              kCancel);
    EXPECT_NEAR(clock.Absolute() - second, 8, 0.05);
}

TEST_F(DialogsTest, BoxOpenedInsideAnotherKeepsBothTimeouts) {
    int inner = 0;
    double innerEnd = 0, outerClosedAt = 0;
    clock.After(1, [&] {
        clock.After(4.5, [&] {
            // By now the outer box has timed out although the inner still runs.
            outerClosedAt = clock.Absolute();
            int visible = 0;
            for (QWidget* w : QApplication::topLevelWidgets())
                visible += qobject_cast<QMessageBox*>(w) && w->isVisible();
            EXPECT_EQ(visible, 1);
        });
        inner = dialogs.MsgBox_Custom("Inner", kOKOnly, "Inner", 10, "", "", "", "");
        innerEnd = clock.Absolute();
    });
    const double start = clock.Absolute();
    EXPECT_EQ(dialogs.MsgBox_Custom("Outer", kRetryCancel, "Outer", 5, "", "", "", ""), kCancel);
    EXPECT_EQ(inner, kOK);
    EXPECT_NEAR(innerEnd - start, 11, 0.05);
    EXPECT_GT(outerClosedAt, 0);
}

TEST_F(DialogsTest, OwnerClosedUnderAnOpenBoxGivesTheCautiousAnswer) {
    for (const auto& [style, expected] : {std::pair{kRetryCancel, kCancel},
                                          {kYesNo, kNo},
                                          {kAbortRetryIgnore, kAbort},
                                          {kOKOnly, kOK}}) {
        auto* owner = new QWidget;
        owner->setGeometry(200, 200, 300, 200);
        owner->show();
        owner->activateWindow();
        QApplication::processEvents();
        ASSERT_EQ(QApplication::activeWindow(), owner);
        bool owned = false;
        clock.After(0.5, [&] {
            owned = OpenBox()->parentWidget() == owner;
            delete owner;  // takes the box with it
            if (QMessageBox* stray = OpenBox()) stray->buttons().at(0)->click();
        });
        EXPECT_EQ(dialogs.MsgBox_Custom("Lost", style, "Gone", 0, "", "", "", ""), expected);
        EXPECT_TRUE(owned);
    }
}

TEST_F(DialogsTest, LargeFormLiesExactlyOverTheCommandFrame) {
    QRect geometry;
    FrmMsgBox* seen = nullptr;
    clock.After(0.2, [&] {
        auto* f = OpenWindow<FrmMsgBox>();
        ASSERT_NE(f, nullptr);
        seen = f;
        geometry = f->frameGeometry();
        EXPECT_EQ(f->objectName(), "frmMsgBox");
        EXPECT_EQ(f->cmdOK->text(), "RETRY");
        EXPECT_EQ(f->cmdCANCEL->text(), "CANCEL");
        EXPECT_EQ(BackColor(f->cmdOK), kLightGreen);
        EXPECT_EQ(BackColor(f->cmdCANCEL), kLightRed);
        EXPECT_EQ(f->cmdOK->font().family(), "Arial");
        EXPECT_GE(f->cmdOK->font().pixelSize(), 20);
        EXPECT_EQ(f->focusWidget(), f->picFocus);
        EXPECT_EQ(f->fraMsgBox->geometry(), f->rect());
        // Enter must not answer while the focus rests on picFocus.
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(f->picFocus, &enter);
        EXPECT_TRUE(f->isVisible());
        f->cmdCANCEL->click();
    });
    EXPECT_FALSE(dialogs.MsgBox_Large("RETRY", "CANCEL"));
    EXPECT_EQ(geometry, QRect(frame->mapToGlobal(QPoint(0, 0)), frame->size()));
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(OpenWindow<FrmMsgBox>(), nullptr);
}

TEST_F(DialogsTest, LargeFormCountsOnlyTheFirstPress) {
    const auto press = [&](std::function<void(FrmMsgBox*)> fn) {
        clock.After(0.2, [fn] {
            auto* f = OpenWindow<FrmMsgBox>();
            ASSERT_NE(f, nullptr);
            fn(f);
        });
    };
    press([](FrmMsgBox* f) {
        f->cmdOK->click();
        EXPECT_FALSE(f->cmdOK->isEnabled());
        EXPECT_FALSE(f->cmdCANCEL->isEnabled());
        f->cmdCANCEL->click();
        f->cmdCANCEL_Click();  // even a handler run twice
    });
    EXPECT_TRUE(dialogs.MsgBox_Large("YES", "NO"));
    EXPECT_TRUE(dialogs.MsgBoxOK);

    press([](FrmMsgBox* f) {
        f->cmdCANCEL->click();
        f->cmdOK_Click();
    });
    EXPECT_FALSE(dialogs.MsgBox_Large("CONTINUE", "ABORT"));
    EXPECT_FALSE(dialogs.MsgBoxOK);

    // Each question starts with both buttons enabled again; Escape is CANCEL.
    press([](FrmMsgBox* f) {
        EXPECT_TRUE(f->cmdOK->isEnabled());
        EXPECT_TRUE(f->cmdCANCEL->isEnabled());
        PressEscape(f);
    });
    EXPECT_FALSE(dialogs.MsgBox_Large("RETRY", "ABORT"));
}

TEST_F(DialogsTest, LargeFormWithoutAVisibleFrameIsCentred) {
    frame->hide();
    QRect geometry;
    clock.After(0.2, [&] {
        auto* f = OpenWindow<FrmMsgBox>();
        ASSERT_NE(f, nullptr);
        geometry = f->frameGeometry();
        f->cmdOK->click();
    });
    EXPECT_TRUE(dialogs.MsgBox_Large("", ""));
    EXPECT_FALSE(geometry.isEmpty());
    EXPECT_NEAR(geometry.center().x(), window.frameGeometry().center().x(), 1);
}

TEST_F(DialogsTest, InputBoxReturnsTheTextOrNothingWhenCancelled) {
    const auto answer = [&](const QString& text, bool accept, QLineEdit::EchoMode* echo) {
        clock.After(0.2, [=] {
            auto* d = OpenWindow<QInputDialog>();
            ASSERT_NE(d, nullptr);
            if (echo) *echo = d->textEchoMode();
            EXPECT_EQ(d->windowTitle(), "ZAVO");
            EXPECT_EQ(d->labelText(), "Password:");
            d->setTextValue(text);
            if (accept)
                d->accept();
            else
                d->reject();
        });
    };
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    answer("secret", true, &echo);
    EXPECT_EQ(dialogs.InputBox("Password:", "", true), "secret");
    EXPECT_EQ(echo, QLineEdit::Password);

    answer("typed", false, &echo);
    EXPECT_EQ(dialogs.InputBox("Password:", "", false), "");
    EXPECT_EQ(echo, QLineEdit::Normal);
}
