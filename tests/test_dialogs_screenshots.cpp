// Pictures of the window and of every kind of dialog over it, saved to
// build/screenshots/ for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>

#include "dialogs/FrmMsgBox.h"
#include "dialogs/QtDialogs.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "support/TestProgram.h"

using namespace zavo;

namespace {

QWidget* OpenDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && (qobject_cast<QDialog*>(w))) return w;
    return nullptr;
}

bool Save(const QPixmap& p, const QString& name) {
    return p.save(
        QString::fromStdString((test::ScreenshotDir() / (name.toStdString() + ".png")).string()));
}

class Screenshots : public ::testing::Test {
  protected:
    void SetUp() override {
        window().show();
        window().activateWindow();
        dialogs.SetWindow(&window(), tp.ctx().ui->fraCmd);
    }
    QWidget& window() { return tp.program->window(); }

    // Saves the open dialog alone and laid over the window, then closes it with answer.
    void Shoot(const QString& name, std::function<void(QWidget*)> answer) {
        tp.clock.After(0.2, [this, name, answer] {
            QWidget* d = OpenDialog();
            ASSERT_NE(d, nullptr) << name.toStdString();
            const QPixmap alone = d->grab();
            EXPECT_TRUE(Save(alone, "dialog_" + name));
            QPixmap over = window().grab();
            QPainter p(&over);
            const QPoint at = window().mapFromGlobal(d->mapToGlobal(QPoint(0, 0)));
            p.drawPixmap(at, alone);
            // The offscreen platform draws no window frames: sketch one, with the title.
            if (!(d->windowFlags() & Qt::FramelessWindowHint)) {
                const QRect bar(at.x() - 1, at.y() - 22, alone.width() + 2, 22);
                p.fillRect(bar, QColor(60, 70, 90));
                p.setPen(Qt::white);
                p.drawText(bar.adjusted(8, 0, 0, 0), Qt::AlignVCenter, d->windowTitle());
                p.setPen(QColor(60, 70, 90));
                p.drawRect(QRect(at, alone.size()).adjusted(-1, 0, 0, 0));
            }
            p.end();
            EXPECT_TRUE(Save(over, "window_with_" + name));
            answer(d);
        });
    }
    static void FirstButton(QWidget* d) { qobject_cast<QMessageBox*>(d)->buttons().at(0)->click(); }

    test::TestProgram tp;
    QtDialogs dialogs{tp.clock};
};

}  // namespace

TEST_F(Screenshots, WindowShell) {
    tp.Screenshot("window_shell");
    EXPECT_TRUE(std::filesystem::exists(test::ScreenshotDir() / "window_shell.png"));
}

TEST_F(Screenshots, EveryKindOfMessageBox) {
    struct Shot {
        const char* name;
        int style;
        const char* prompt;
        QStringList captions;
    };
    const Shot shots[] = {
        {"ok_information", kOKOnly + kInformation, "Frequency optimization finished.", {}},
        {"ok_cancel",
         kOKCancel + kExclamation,
         "Coil is hot.\nWait for working temperature?",
         {"&Wait", "&Cancel"}},
        {"retry_cancel_critical",
         kRetryCancel + kCritical,
         "NO ANSWER FROM THE INSTRUMENT",
         {"&Retry", "&Cancel"}},
        {"abort_retry_ignore", kAbortRetryIgnore + kExclamation, "Tumbler does not respond.", {}},
        {"yes_no_cancel", kYesNoCancel + kQuestion, "Save the settings?", {}},
        {"yes_no_continue_abort",
         kYesNo + kQuestion,
         "The AC frequency was last optimized 45 days ago.\nOptimize it now?",
         {"&Continue", "&Abort"}},
        {"yes_no_exit",
         kYesNo + kQuestion + kDefaultButton2,
         "Do you really want to exit?",
         {"&Yes", "&No"}},
    };
    for (const Shot& s : shots) {
        Shoot(s.name, FirstButton);
        const QStringList c = s.captions + QStringList{"", "", "", ""};
        dialogs.MsgBox_Custom(s.prompt, s.style, "ZAVO", 0, c[0], c[1], c[2], c[3]);
    }
}

TEST_F(Screenshots, LargeButtonFormAndInputBox) {
    Shoot("large_buttons", [](QWidget* d) { qobject_cast<FrmMsgBox*>(d)->cmdOK->click(); });
    EXPECT_TRUE(dialogs.MsgBox_Large("RETRY", "CANCEL"));

    Shoot("input_password", [](QWidget* d) {
        auto* in = qobject_cast<QInputDialog*>(d);
        ASSERT_NE(in, nullptr);
        in->setTextValue("x");
        in->accept();
    });
    EXPECT_EQ(dialogs.InputBox("Service mode password:", "Service", true), "x");
}
