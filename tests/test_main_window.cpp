// The main window's layouts: nothing clipped, the window grows with its
// size, and screenshots of each mode for a look by eye.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

#include "core/Context.h"
#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "panel/SettingsFile.h"
#include "support/TestProgram.h"

using namespace zavo;

namespace {

// Starts the program as an operator would see it after initialization.
void Ready(test::TestProgram& tp, int mode, bool touch, bool service) {
    Settings s;
    s.ZAVMODE = Int16(mode);
    s.TOUCHMODE = touch;
    s.SERVMODE = service;
    s.DMGFD = 80;
    s.REKFD = 100;
    s.REKFM = 50;
    s.REKFA = 10;
    s.TOVFP = 12;
    s.TOVET = 5;
    Settings_Save(tp.Dir() / "ZAVO.sav", s);
    tp.dialogs.inputAnswers = {"Tolku48e"};
    Ctx& ctx = tp.ctx();
    ctx.window->Form_Load();
    ctx.settings.ZAVMODE = Int16(mode);
    ctx.instr.TumblerConnected = 1;
    ctx.limits->Limits_Set();
    ctx.options->Controls_Enable(true);
    ctx.enabling->Panels_Enable(true);
    ctx.enabling->FieldMeters_Enable(true);
    ctx.status->Status_Show(true);
    if (mode != 1) ctx.ui->chkTumbler->SetValue(true);
    ctx.ui->lblACField[0]->setText("0.0 ");
    ctx.ui->lblDCField[0]->setText("0.0 ");
    ctx.window->show();
    QApplication::processEvents();
    // A common tablet screen; the offscreen screen is a different size.
    if (touch) {
        ctx.window->setWindowState(Qt::WindowNoState);
        ctx.window->resize(1280, 800);
        QApplication::processEvents();
    }
}

// Every visible caption gets at least the room its text needs.
void ExpectNothingClipped(QWidget& window) {
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
        if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
        if (text.trimmed().isEmpty()) continue;
        const QSize need = w->minimumSizeHint();
        EXPECT_GE(w->width(), need.width())
            << w->objectName().toStdString() << " " << text.toStdString();
        EXPECT_GE(w->height(), need.height()) << w->objectName().toStdString();
    }
}

TEST(MainWindow, DesktopScreenshotsOfEachMode) {
    const char* names[] = {"", "desktop-demagnetizer", "desktop-anhysteretic", "desktop-pulse"};
    for (int mode = 1; mode <= 3; ++mode) {
        test::TestProgram tp;
        Ready(tp, mode, false, false);
        ExpectNothingClipped(*tp.ctx().window);
        tp.Screenshot(names[mode]);
    }
}

TEST(MainWindow, TabletAndServiceScreenshots) {
    {
        test::TestProgram tp;
        Ready(tp, 2, true, false);
        ExpectNothingClipped(*tp.ctx().window);
        tp.Screenshot("tablet-anhysteretic");
        // The black frame of the keypad lies around and behind its box.
        Controls& ui = *tp.ctx().ui;
        ui.lblACMinBlack->show();
        EXPECT_EQ(ui.lblACMinBlack->parentWidget(), ui.txtACMin->parentWidget());
        EXPECT_TRUE(ui.lblACMinBlack->geometry().contains(ui.txtACMin->geometry()));
        EXPECT_GT(ui.lblACMinBlack->width(), ui.txtACMin->width());
        tp.Screenshot("tablet-keypad-frame");
    }
    {
        test::TestProgram tp;
        Ready(tp, 1, false, true);
        ExpectNothingClipped(*tp.ctx().window);
        tp.Screenshot("desktop-service");
    }
}

TEST(MainWindow, GrowsWithTheWindow) {
    test::TestProgram tp;
    Ready(tp, 1, false, false);
    MainWindow& w = *tp.ctx().window;
    const int before = tp.ctx().ui->picStat[1]->width();
    w.resize(w.width() + 300, w.height() + 200);
    QApplication::processEvents();
    EXPECT_GE(tp.ctx().ui->picStat[1]->width(), before + 250);
    ExpectNothingClipped(w);
}

}  // namespace
