#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>

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

// Every visible caption gets at least the room its text needs.
void ExpectNothingClipped(QWidget& window) {
    for (QWidget* w : window.findChildren<QWidget*>()) {
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
        if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
        if (!w->isVisible() || text.trimmed().isEmpty()) continue;
        EXPECT_TRUE(w->width() >= w->minimumSizeHint().width() &&
                    w->height() >= w->minimumSizeHint().height())
            << w->objectName().toStdString() << " " << text.toStdString();
    }
}

// Screenshots for a look by eye of each mode as the operator sees it after
// initialization, on a common tablet screen too; the window grows with its size.
TEST(MainWindow, ScreenshotsOfEachLayout) {
    for (auto [mode, touch, service, name] : {std::tuple{1, false, false, "desktop-demagnetizer"},
                                              {2, false, false, "desktop-anhysteretic"},
                                              {3, false, false, "desktop-pulse"},
                                              {2, true, false, "tablet-anhysteretic"},
                                              {1, false, true, "desktop-service"}}) {
        SCOPED_TRACE(name);
        test::TestProgram tp;
        Settings s;
        s.ZAVMODE = Int16(mode), s.TOUCHMODE = touch, s.SERVMODE = service;
        s.DMGFD = 80, s.REKFD = 100, s.REKFM = 50, s.REKFA = 10, s.TOVFP = 12, s.TOVET = 5;
        Settings_Save(tp.Dir() / "ZAVO.sav", s);
        tp.dialogs.inputAnswers = {"Tolku48e"};
        Ctx& ctx = tp.ctx();
        Controls& ui = *ctx.ui;
        ctx.window->Form_Load();
        ctx.instr.TumblerConnected = 1;
        ctx.limits->Limits_Set();
        ctx.options->Controls_Enable(true);
        ctx.enabling->Panels_Enable(true);
        ctx.enabling->FieldMeters_Enable(true);
        ctx.status->Status_Show(true);
        if (mode != 1) ui.chkTumbler->SetValue(true);
        for (QLabel* meter : {ui.lblACField[0], ui.lblDCField[0]}) meter->setText("0.0 ");
        ctx.window->show();
        if (touch) ctx.window->setWindowState(Qt::WindowNoState), ctx.window->resize(1280, 800);
        QApplication::processEvents();
        ExpectNothingClipped(*ctx.window);
        tp.Screenshot(name);
        if (touch) {  // the keypad's black frame lies around and behind its box
            ui.lblACMinBlack->show();
            EXPECT_EQ(ui.lblACMinBlack->parentWidget(), ui.txtACMin->parentWidget());
            EXPECT_TRUE(ui.lblACMinBlack->geometry().contains(ui.txtACMin->geometry()) &&
                        ui.lblACMinBlack->width() > ui.txtACMin->width());
            tp.Screenshot("tablet-keypad-frame");
        } else if (mode == 1 && !service) {
            const int before = ui.picStat[1]->width();
            ctx.window->resize(ctx.window->width() + 300, ctx.window->height() + 200);
            QApplication::processEvents();
            EXPECT_GE(ui.picStat[1]->width(), before + 250);
            ExpectNothingClipped(*ctx.window);
        }
    }
}

}  // namespace
