// Dialogs as real widgets, answered from fake-clock events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include "core/Widgets.h"
#include "dialogs/FrmMsgBox.h"
#include "dialogs/QtDialogs.h"
#include "support/FakeClock.h"

using namespace zavo;

template <class T>
static T* OpenWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}
const auto OpenBox = &OpenWindow<QMessageBox>;

// The buttons of a box as the operator sees them, left to right.
static QList<QAbstractButton*> ShownButtons(QMessageBox* box) {
    QList<QAbstractButton*> b = box->buttons();
    std::sort(b.begin(), b.end(), [](auto* l, auto* r) { return l->x() < r->x(); });
    return b;
}

static void PressKey(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
}

class DialogsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frame->setGeometry(480, 470, 300, 110);
        Activate(&window, QRect(120, 90, 800, 600));
        dialogs.SetWindow(&window, frame);
    }
    static QWidget* Activate(QWidget* w, const QRect& geometry) {
        w->setGeometry(geometry);
        w->show();
        w->activateWindow();
        QApplication::processEvents();
        return w;
    }
    template <class T = QMessageBox>
    void On(double after, std::type_identity_t<std::function<void(T*)>> fn) {
        clock.After(after, [fn] {
            T* w = OpenWindow<T>();
            ASSERT_NE(w, nullptr);
            fn(w);
        });
    }
    int Ask(int style, int timeout = 0, const QString& title = "T", QStringList c = {}) {
        c.resize(4);
        const double start = clock.Absolute();
        const int r = dialogs.MsgBox_Custom("Line one\r\nLine <two>", style, title, timeout, c[0],
                                            c[1], c[2], c[3]);
        took = clock.Absolute() - start;
        return r;
    }
    double took = 0;  // by the last Ask

    test::FakeClock clock{86400.0 - 2.0};  // the first time-out runs across midnight
    QWidget window;
    QWidget* frame = new QWidget(&window);
    QtDialogs dialogs{clock};
};

TEST_F(DialogsTest, StyleGivesButtonsIconDefaultAndCodesWhateverTheCaptions) {
    using M = QMessageBox;
    // clang-format off
    struct Kind { int style; QStringList given, shown; QList<int> codes; M::Icon icon; int def;
                  QString title; };  // shown: the given captions unless listed
    const Kind kinds[] = {
        {kOKOnly + kInformation + kDefaultButton3, {"&Close"}, {}, {kOK}, M::Information, 0, ""},
        {kOKCancel, {"&Go", "&Stop"}, {}, {kOK, kCancel}, M::NoIcon, 0, "T"},
        {kAbortRetryIgnore + kExclamation + kDefaultButton3, {"A", "R", "I"}, {},
            {kAbort, kRetry, kIgnore}, M::Warning, 2, "T"},
        // Missing captions keep the button's own; extra ones are ignored.
        {kYesNoCancel + kQuestion + kDefaultButton2, {"&Go", "", "", "x"},
            {"&Go", "&No", "Cancel"}, {kYes, kNo, kCancel}, M::Question, 1, ""},
        {kYesNo + kQuestion + kDefaultButton2, {"&Continue", "&Abort"}, {}, {kYes, kNo},
            M::Question, 1, "T"},
        {kRetryCancel + kCritical, {"&Retry", "&Cancel"}, {}, {kRetry, kCancel}, M::Critical, 0,
            "Port search"},
    };
    // clang-format on
    const QPoint centre = window.frameGeometry().center();
    for (const Kind& k : kinds)
        for (int i = 0; i < k.codes.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "style " << k.style << " button " << i);
            QStringList shown;
            On(0.2, [&](QMessageBox* box) {
                for (QAbstractButton* b : ShownButtons(box)) shown << b->text();
                EXPECT_EQ(box->icon(), k.icon);
                EXPECT_EQ(box->windowTitle(), k.title.isEmpty() ? "ZAVO" : k.title);
                EXPECT_EQ(box->text(), "Line one\nLine <two>");
                EXPECT_EQ(box->defaultButton(), ShownButtons(box).at(k.def));
                EXPECT_LE((box->frameGeometry().center() - centre).manhattanLength(), 2);
                ShownButtons(box).at(i)->click();
            });
            EXPECT_EQ(Ask(k.style, 0, k.title, k.given), k.codes[i]);
            EXPECT_EQ(shown, k.shown.isEmpty() ? k.given : k.shown);
        }
}

TEST_F(DialogsTest, TimeoutsEscapeAndLostOwnerCloseOnlyTheirOwnBoxAsCancelWould) {
    // clang-format off
    struct Case { int style, timeout, closes, cautious; };  // closes 0: stays open
    const Case cases[] = {{kRetryCancel, 5, kCancel, kCancel}, {kOKOnly, 3, kOK, kOK},
                          {kOKCancel, 4, kCancel, kCancel}, {kYesNoCancel, 2, kCancel, kCancel},
                          {kOKOnly, 100, kOK, kOK} /* cut to 32 s */, {kYesNo, 2, 0, kNo},
                          {kAbortRetryIgnore, 2, 0, kAbort}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.style << " " << c.timeout);
        const double due = std::min(c.timeout, 32) + (c.closes ? 0 : 20);
        // Where nothing closes the box, the operator answers in the end.
        if (!c.closes) On(due, [](QMessageBox* b) { ShownButtons(b).at(1)->click(); });
        EXPECT_EQ(Ask(c.style, c.timeout), c.closes ? c.closes : c.style == kYesNo ? kNo : kRetry);
        EXPECT_NEAR(took, due, 0.05);

        On(0.1, [](QMessageBox* box) { PressKey(box, Qt::Key_Escape); });
        if (!c.closes) On(0.4, [](QMessageBox* b) { ShownButtons(b).at(0)->click(); });
        EXPECT_EQ(Ask(c.style), c.closes ? c.closes : c.style == kYesNo ? kYes : kAbort);
        EXPECT_NEAR(took, c.closes ? 0.1 : 0.4, 0.02);

        QWidget* owner = Activate(new QWidget, QRect(200, 200, 300, 200));
        clock.After(0.5, [&] {
            EXPECT_EQ(OpenBox()->parentWidget(), owner);
            delete owner;  // takes the box with it
            if (QMessageBox* stray = OpenBox()) stray->buttons().at(0)->click();
        });
        EXPECT_EQ(Ask(c.style), c.cautious);
    }
    On(1, [](QMessageBox* b) { ShownButtons(b).at(0)->click(); });
    EXPECT_EQ(Ask(kRetryCancel, 5, "Port search"), kRetry);
    // Well past the answered box's time-out, a later box of the same title still waits.
    On(10, [](QMessageBox* b) { ShownButtons(b).at(0)->click(); });
    EXPECT_EQ(Ask(kOKCancel, 0, "Port search"), kOK);
    EXPECT_NEAR(took, 10, 0.05);
    // A box opened inside another: both time-outs run, each from its own start.
    QString shown;
    clock.After(1, [&] {
        clock.After(4.5, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                shown += w->isVisible() ? w->windowTitle() : "";
        });
        EXPECT_EQ(Ask(kOKOnly, 10, "Inner"), kOK);
        EXPECT_NEAR(took, 10, 0.05);
    });
    EXPECT_EQ(Ask(kRetryCancel, 5, "Outer"), kCancel);
    EXPECT_EQ(shown, "Inner");  // the outer one timed out under the inner
}

TEST_F(DialogsTest, LargeFormCoversTheCommandFrameAndCountsOnlyTheFirstPress) {
    On<FrmMsgBox>(0.2, [&](FrmMsgBox* f) {
        EXPECT_EQ(f->frameGeometry(), QRect(frame->mapToGlobal(QPoint(0, 0)), frame->size()));
        EXPECT_EQ(f->cmdOK->text() + f->cmdCANCEL->text(), "YESNO");
        EXPECT_EQ(f->focusWidget(), f->picFocus);
        PressKey(f->picFocus, Qt::Key_Return);  // no answer while the focus rests there
        EXPECT_TRUE(f->isVisible());
        f->cmdOK->click();
        EXPECT_FALSE(f->cmdOK->isEnabled() || f->cmdCANCEL->isEnabled());
        f->cmdCANCEL_Click();  // even a handler run on a disabled button
    });
    EXPECT_TRUE(dialogs.MsgBox_Large("YES", "NO") && dialogs.MsgBoxOK);
    frame->hide();
    On<FrmMsgBox>(0.2, [&](FrmMsgBox* f) {
        EXPECT_TRUE(f->cmdOK->isEnabled() && f->cmdCANCEL->isEnabled());
        EXPECT_NEAR(f->frameGeometry().center().x(), window.frameGeometry().center().x(), 1);
        PressKey(f, Qt::Key_Escape);
        f->cmdOK_Click();
    });
    EXPECT_FALSE(dialogs.MsgBox_Large("", "") || dialogs.MsgBoxOK);
}

TEST_F(DialogsTest, InputBoxReturnsTheTextOrNothingWhenCancelled) {
    for (const bool masked : {true, false}) {
        On<QInputDialog>(0.2, [=](QInputDialog* d) {
            EXPECT_EQ(d->textEchoMode(), masked ? QLineEdit::Password : QLineEdit::Normal);
            EXPECT_EQ(d->labelText(), "Password:");
            d->setTextValue("secret");
            masked ? d->accept() : d->reject();
        });
        EXPECT_EQ(dialogs.InputBox("Password:", "", masked), masked ? "secret" : "");
    }
}
