#include <gtest/gtest.h>

#include <QApplication>

#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "panel/SettingsFile.h"
#include "support/TestProgram.h"

using namespace zavo;

// Every visible caption gets at least the room its text needs.
static void ExpectNothingClipped(QWidget& window) {
    for (QWidget* w : window.findChildren<QWidget*>()) {
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
        if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
        if (!w->isVisible() || text.trimmed().isEmpty()) continue;
        EXPECT_EQ(w->size().expandedTo(w->minimumSizeHint()), w->size())
            << w->objectName().toStdString() << " " << text.toStdString();
    }
}

// Each layout after initialization, for a look by eye; the desktop window grows with its size.
TEST(MainWindow, ScreenshotsOfEachLayout) {
    // clang-format off
    for (auto [mode, touch, service, name] : {std::tuple{1, false, false, "desktop-demagnetizer"},
             {2, false, false, "desktop-anhysteretic"}, {3, false, false, "desktop-pulse"},
             {2, true, false, "tablet-anhysteretic"}, {1, false, true, "desktop-service"}}) {
        SCOPED_TRACE(name);
        test::TestProgram tp;
        Settings_Save(tp.Dir() / "ZAVO.sav", {.ZAVMODE = Int16(mode), .DMGFD = 80, .REKFD = 100,
            .REKFM = 50, .REKFA = 10, .TOVFP = 12, .TOVET = 5, .SERVMODE = service,
            .TOUCHMODE = touch});
        // clang-format on
        tp.dialogs.inputAnswers = {"Tolku48e"};
        Ctx& ctx = tp.ctx();
        Controls& ui = *ctx.ui;
        ctx.window->Form_Load();
        ctx.instr.TumblerConnected = 1;
        ctx.options->Controls_Enable(true);
        ctx.enabling->Panels_Enable(true);
        ctx.enabling->FieldMeters_Enable(true);
        ctx.status->Status_Show(true);
        if (mode != 1) ui.chkTumbler->SetValue(true);
        ui.lblACField[0]->setText("85 "), ui.lblDCField[0]->setText("50 ");
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
