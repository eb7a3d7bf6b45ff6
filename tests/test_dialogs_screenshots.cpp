// Pictures of the window and of every kind of dialog over it, for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPainter>

#include "dialogs/QtDialogs.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "support/TestProgram.h"

using namespace zavo;

static bool Save(const QPixmap& p, const QString& name) {
    return p.save(QString::fromStdString(test::ScreenshotDir().string()) + "/" + name + ".png");
}

TEST(Screenshots, WindowShellAndEveryKindOfDialog) {
    test::TestProgram tp;
    QWidget& window = tp.program->window();
    window.show();
    QtDialogs dialogs(tp.clock);
    dialogs.SetWindow(&window, tp.ctx().ui->fraCmd);
    tp.Screenshot("window_shell");

    // Saves the open dialog alone and laid over the window, then answers it.
    const auto shoot = [&](const QString& name) {
        tp.clock.After(0.2, [&window, name] {
            QWidget* d = QApplication::activeModalWidget();
            ASSERT_NE(d, nullptr) << name.toStdString();
            const QPixmap alone = d->grab();
            QPixmap over = window.grab();
            QPainter p(&over);
            const QPoint at = window.mapFromGlobal(d->mapToGlobal(QPoint(0, 0)));
            p.drawPixmap(at, alone);
            if (!(d->windowFlags() & Qt::FramelessWindowHint)) {  // offscreen has no frames
                const QRect bar(at.x() - 1, at.y() - 22, alone.width() + 2, 22);
                p.fillRect(bar, QColor(200, 205, 215));
                p.drawText(bar.adjusted(8, 0, 0, 0), Qt::AlignVCenter, d->windowTitle());
            }
            p.end();
            EXPECT_TRUE(Save(alone, "dialog_" + name) && Save(over, "window_with_" + name));
            qobject_cast<QDialog*>(d)->reject();
        });
    };
    // clang-format off
    struct Shot { const char* name; int style; const char* prompt; const char* c[4]; };
    const Shot shots[] = {
        {"ok_information", kOKOnly + kInformation, "Frequency optimization finished.", {}},
        {"ok_cancel", kOKCancel + kExclamation, "Coil is hot.\nWait for it to cool?", {"&Wait"}},
        {"retry_cancel_critical", kRetryCancel + kCritical, "NO ANSWER FROM THE INSTRUMENT", {}},
        {"abort_retry_ignore", kAbortRetryIgnore + kExclamation, "Tumbler does not respond.", {}},
        {"yes_no_cancel", kYesNoCancel + kQuestion, "Save the settings?", {}},
        {"yes_no_continue_abort", kYesNo + kQuestion, "Optimize it now?", {"&Continue", "&Abort"}},
        {"yes_no_exit", kYesNo + kQuestion + kDefaultButton2, "Do you really want to exit?", {}}};
    // clang-format on
    for (const Shot& s : shots) {
        shoot(s.name);
        dialogs.MsgBox_Custom(s.prompt, s.style, "ZAVO", 0, s.c[0], s.c[1], s.c[2], s.c[3]);
    }
    shoot("large_buttons");
    dialogs.MsgBox_Large("RETRY", "CANCEL");
    shoot("input_password");
    dialogs.InputBox("Service mode password:", "Service", true);
}
