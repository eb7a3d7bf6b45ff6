// Dialogs as real widgets, answered from fake-clock events; the sounds' bounded waits.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTemporaryDir>
#include <fstream>

#include "core/QtSound.h"
#include "core/Widgets.h"
#include "dialogs/FrmMsgBox.h"
#include "dialogs/QtDialogs.h"
#include "support/FakeClock.h"

using namespace zavo;
namespace fs = std::filesystem;

static QList<QAbstractButton*> ShownButtons(QMessageBox* box) {  // left to right
    QList<QAbstractButton*> b = box->buttons();
    std::sort(b.begin(), b.end(), [](auto* l, auto* r) { return l->x() < r->x(); });
    return b;
}

struct DialogsTest : ::testing::Test {
    DialogsTest() {
        frame->setGeometry(480, 470, 300, 110), dialogs.SetWindow(&window, frame);
        Activate(&window, QRect(120, 90, 800, 600));
    }
    static void Press(QWidget* w, int k) {
        QKeyEvent e(QEvent::KeyPress, k, {});
        qApp->sendEvent(w, &e);
    }
    static QWidget* Activate(QWidget* w, const QRect& geometry) {
        w->setGeometry(geometry), w->show(), w->activateWindow(), QApplication::processEvents();
        return w;
    }
    template <class T = QMessageBox>
    void On(double after, std::type_identity_t<std::function<void(T*)>> fn) {
        clock.After(after, [fn] {
            if (T* w = qobject_cast<T*>(QApplication::activeModalWidget())) return fn(w);
            ADD_FAILURE() << "no dialog open";
        });
    }
    int Ask(int style, int timeout = 0, const QString& title = "T", QStringList c = {}) {
        c.resize(4), asked = clock.Absolute();
        return dialogs.MsgBox_Custom("Line one\r\nLine <two>", style, title, timeout, c[0], c[1],
                                     c[2], c[3]);
    }
    double asked = 0;  // when the last Ask began

    test::FakeClock clock{86400.0 - 2.0};  // the first time-out runs across midnight
    QWidget window;
    QWidget* frame = new QWidget(&window);
    QtDialogs dialogs{clock};
};

TEST_F(DialogsTest, EachKindAnswersAsTheOperatorChoseOrAsCancelWouldOnTimeoutEscapeOrLostOwner) {
    using M = QMessageBox;
    // clang-format off
    struct Kind { int style; QStringList given, shown; QList<int> codes; M::Icon icon; int def;
                  QString title; int timeout, closes, cautious; };  // shown: the given captions
    const Kind kinds[] = {  // unless listed; closes 0: stays open until answered
        {kOKOnly + kInformation + kDefaultButton3, {"&Close"}, {}, {kOK}, M::Information, 0, "",
            100 /* cut to 32 s */, kOK, kOK},
        {kOKCancel, {"&Go", "&Stop"}, {}, {kOK, kCancel}, M::NoIcon, 0, "T", 4, kCancel, kCancel},
        {kAbortRetryIgnore + kExclamation + kDefaultButton3, {"A", "R", "I"}, {},
            {kAbort, kRetry, kIgnore}, M::Warning, 2, "T", 2, 0, kAbort},
        // Missing captions keep the button's own; extra ones are ignored.
        {kYesNoCancel + kQuestion + kDefaultButton2, {"&Go", "", "", "x"}, {"&Go", "&No", "Cancel"},
            {kYes, kNo, kCancel}, M::Question, 1, "", 2, kCancel, kCancel},
        {kYesNo + kQuestion + kDefaultButton2, {"&Continue", "&Abort"}, {}, {kYes, kNo},
            M::Question, 1, "T", 2, 0, kNo},
        {kRetryCancel + kCritical, {"&Retry", "&Cancel"}, {}, {kRetry, kCancel}, M::Critical, 0,
            "Port search", 5, kCancel, kCancel}};
    // clang-format on
    const QPoint centre = window.frameGeometry().center();
    for (const Kind& k : kinds) {
        SCOPED_TRACE(testing::Message() << "style " << k.style);
        auto ask = [&](int timeout = 0) { return Ask(k.style, timeout, k.title, k.given); };
        const double due = std::min(k.timeout, 32) + (k.closes ? 0 : 20);  // else answered late
        if (!k.closes) On(due, [](QMessageBox* b) { ShownButtons(b).at(1)->click(); });
        EXPECT_EQ(ask(k.timeout), k.closes ? k.closes : k.codes[1]);
        EXPECT_NEAR(clock.Absolute() - asked, due, 0.05);
        for (int i = 0; i < k.codes.size(); ++i) {
            On(0.2, [&](QMessageBox* box) {
                QStringList shown;
                for (QAbstractButton* b : ShownButtons(box)) shown << b->text();
                EXPECT_EQ(shown, k.shown.isEmpty() ? k.given : k.shown);
                EXPECT_EQ(std::tuple(box->icon(), box->windowTitle(), box->text()),
                          std::tuple(k.icon, k.title.isEmpty() ? "ZAVO" : k.title,
                                     "Line one\nLine <two>"));
                EXPECT_EQ(box->defaultButton(), ShownButtons(box).at(k.def));
                EXPECT_LE((box->frameGeometry().center() - centre).manhattanLength(), 2);
                ShownButtons(box).at(i)->click();
            });
            EXPECT_EQ(ask(k.timeout), k.codes[i]) << "button " << i;  // before any time-out
        }
        On(0.1, [](QMessageBox* box) { Press(box, Qt::Key_Escape); });
        if (!k.closes) On(0.4, [](QMessageBox* b) { ShownButtons(b).at(0)->click(); });
        EXPECT_EQ(ask(), k.closes ? k.closes : k.codes[0]);
        EXPECT_NEAR(clock.Absolute() - asked, k.closes ? 0.1 : 0.4, 0.02);
        QWidget* owner = Activate(new QWidget, QRect(200, 200, 300, 200));
        On(0.5, [&](QMessageBox* box) {
            EXPECT_EQ(box->parentWidget(), owner);
            delete owner;                              // takes the box with it
            delete QApplication::activeModalWidget();  // one that outlived it, or none
        });
        EXPECT_EQ(ask(), k.cautious);
    }
    // Well past an answered box's time-out, a later box of the same title still waits.
    On(10, [](QMessageBox* b) { ShownButtons(b).at(0)->click(); });
    EXPECT_EQ(Ask(kOKCancel, 0, "Port search"), kOK);
    // A box opened inside another: both time-outs run, each from its own start.
    QString shown;
    clock.After(1, [&] {
        clock.After(4.5, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                shown += w->isVisible() ? w->windowTitle() : "";
        });
        EXPECT_EQ(Ask(kOKOnly, 10, "Inner"), kOK);
        EXPECT_NEAR(clock.Absolute() - asked, 10, 0.05);
    });
    EXPECT_EQ(Ask(kRetryCancel, 5, "Outer"), kCancel);
    EXPECT_EQ(shown, "Inner");  // the outer one timed out under the inner
    // The large form covers the command frame and counts only the first press.
    On<FrmMsgBox>(0.2, [&](FrmMsgBox* f) {
        EXPECT_EQ(f->frameGeometry(), QRect(frame->mapToGlobal(QPoint(0, 0)), frame->size()));
        EXPECT_EQ(f->cmdOK->text() + f->cmdCANCEL->text(), "YESNO");
        EXPECT_EQ(f->focusWidget(), f->picFocus);
        Press(f->picFocus, Qt::Key_Return);  // no answer while the focus rests there
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
        Press(f, Qt::Key_Escape);
        f->cmdOK_Click();
    });
    EXPECT_FALSE(dialogs.MsgBox_Large("", "") || dialogs.MsgBoxOK);
    // The input box masks the password and returns the text, or nothing when cancelled.
    for (const bool masked : {true, false}) {
        On<QInputDialog>(0.2, [=](QInputDialog* d) {
            EXPECT_EQ(d->textEchoMode(), masked ? QLineEdit::Password : QLineEdit::Normal);
            d->setTextValue("secret"), masked ? d->accept() : d->reject();
        });
        EXPECT_EQ(dialogs.InputBox("Password:", "", masked), masked ? "secret" : "");
    }
}

// Sounds never stop the program: each wait is bounded by the length the file's header holds.
TEST(Sound, WaveLengthFromTheHeaderAndWaitsBoundedByIt) {
    const QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    const auto wav = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return dir / name;
    };
    // A silent 0.2 s (22050 Hz, 16-bit mono, 8820 data bytes), a chunk before the data.
    // clang-format off
    const fs::path silent = wav("a.wav", std::string("RIFF\xa6\x22\0\0WAVEfmt \x10\0\0\0\1\0\1\0"
        "\x22\x56\0\0\x44\xac\0\0\2\0\x10\0LIST\6\0\0\0INFOx\0data\x74\x22\0\0", 58) +
        std::string(8820, '\0'));
    // A format chunk too short for its byte rate, the data's header right after it.
    const std::string cut("RIFF\x16\0\0\0WAVEfmt \2\0\0\0\1\0data\0\0\1\0", 30);
    // clang-format on
    EXPECT_DOUBLE_EQ(Wav_Seconds(silent), 0.2);
    EXPECT_EQ(Wav_Seconds(wav("junk.wav", "RIFF\xff\xff\xff\xffWAVEdata")), 0);
    EXPECT_EQ(Wav_Seconds(wav("cut.wav", cut)), 0);

    test::FakeClock c;
    QtSound sound(c);
    sound.Play(dir / "missing.wav", true), sound.Play(dir, true);  // none, and a folder
    sound.Play(silent, false), sound.Beep(880, 0);
    sound.Beep(-5, -5);                // nonsense is silence, not a fault
    EXPECT_EQ(c.Absolute(), 36000.0);  // none of these waits
    sound.Play(silent, true);
    sound.Play(silent, true);  // the second time from the loaded sound
    sound.Beep(880, 200);
    EXPECT_LE(c.Absolute() - 36000.0, 2 * (1.2 + 0.06) + 0.7 + 0.06);
}
