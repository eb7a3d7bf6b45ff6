#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QWindow>
#include <map>

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

namespace {

// A program started in the given mode and layout (with the service password given), its panel
// unlocked as after initialization and the tumbler used outside the demagnetizer.
struct Shown {
    Shown(int mode, bool touch, bool service = false) {
        Settings_Save(tp.Dir() / "ZAVO.sav", {.ZAVMODE = Int16(mode),
                                              .DMGFD = 80,
                                              .REKFD = 100,
                                              .REKFM = 50,
                                              .REKFA = 10,
                                              .TOVFP = 12,
                                              .TOVET = 5,
                                              .SERVMODE = service,
                                              .TOUCHMODE = touch});
        tp.dialogs.inputAnswers = {"Tolku48e"};
        ctx.window->Form_Load();
        ctx.instr.TumblerConnected = 1;
        ctx.options->Controls_Enable(true);
        ctx.enabling->Panels_Enable(true);
        ctx.enabling->FieldMeters_Enable(true);
        ctx.status->Status_Show(true);
        if (mode != 1) ui.chkTumbler->SetValue(true);
        ctx.window->show();
        ctx.window->activateWindow();
        QApplication::processEvents();
    }
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    MainWindow& w = *ctx.window;
};

}  // namespace

// Each layout after initialization, for a look by eye; the desktop window grows with its size.
TEST(MainWindow, ScreenshotsOfEachLayout) {
    // clang-format off
    for (auto [mode, touch, service, name] : {std::tuple{1, false, false, "desktop-demagnetizer"},
             {2, false, false, "desktop-anhysteretic"}, {3, false, false, "desktop-pulse"},
             {2, true, false, "tablet-anhysteretic"}, {1, false, true, "desktop-service"}}) {
        // clang-format on
        SCOPED_TRACE(name);
        Shown s(mode, touch, service);
        test::TestProgram& tp = s.tp;
        Ctx& ctx = s.ctx;
        Controls& ui = s.ui;
        ui.lblACField[0]->setText("85 "), ui.lblDCField[0]->setText("50 ");
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

// The tablet window fits the free area of its screen from 1280 x 800 up (a task bar and a title
// bar taken off) in every mode, with START, the hold's count and the status line inside and
// readable; a larger screen gets larger keys.
TEST(MainWindow, TabletFitsItsScreen) {
    std::map<int, int> startHeight;
    for (QSize screen : {QSize(1280, 800), QSize(1920, 1080)}) {
        for (int mode : {1, 2, 3}) {
            SCOPED_TRACE(std::to_string(screen.width()) + " mode " + std::to_string(mode));
            Shown s(mode, true);
            s.ui.cmdInit->hide();  // as after the first initialization
            s.ui.lblSD->setText("245");
            s.w.Layout_Apply(true, QRect(QPoint(0, 0), screen));
            s.w.setWindowState(Qt::WindowNoState);
            const QSize client = screen - QSize(0, 80);
            s.w.resize(client);
            QApplication::processEvents();
            EXPECT_EQ(s.w.size(), client);
            for (QWidget* seen : std::initializer_list<QWidget*>{
                     s.ui.cmdStart, s.ui.cmdStop, s.ui.lblSD, s.ui.picStat[1], s.ui.optZAVMode[3]})
                EXPECT_TRUE(s.w.rect().contains(QRect(seen->mapTo(&s.w, QPoint()), seen->size())))
                    << seen->objectName().toStdString();
            EXPECT_EQ(static_cast<CaptionedLabel*>(s.ui.lblSD)->Shown(),
                      "DEMAGNETIZER OFF IN 245 s");
            ExpectNothingClipped(s.w);
            startHeight[screen.width()] = s.ui.cmdStart->height();
            if (mode == 2) s.tp.Screenshot(QString("tablet-%1").arg(screen.width()));
        }
    }
    EXPECT_GE(startHeight[1920], startHeight[1280] * 1.3);
}

// The desktop's pulse count follows its scroll bar's keys whenever the bar is enabled: Tab from
// the pulse time reaches it, Up is more, a digit sets the count (0 for ten). Real key events
// through the window; the end-to-end test clicks the arrows.
TEST(MainWindow, PulseCountScrollBarTakesTabAndKeys) {
    Shown s(3, false);
    QScrollBar* bar = s.ui.vslTOVPulses;
    const auto key = [&](Qt::Key k) {
        const QString text = k >= Qt::Key_0 && k <= Qt::Key_9 ? QString(QChar(k)) : QString();
        for (auto type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent e(type, k, {}, text);
            QApplication::sendEvent(s.w.windowHandle(), &e);
        }
        return s.ui.lblTOVPulses->text().toStdString() + "/" +
               std::to_string(s.ctx.settings.TOVNUM);
    };
    s.ui.txtTOVTime->setFocus();
    key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), bar);
    EXPECT_EQ(key(Qt::Key_Up), "2/2");
    EXPECT_EQ(key(Qt::Key_Down), "1/1");
    EXPECT_EQ(key(Qt::Key_7), "7/7");
    EXPECT_EQ(key(Qt::Key_0), "10/10");
    EXPECT_EQ(key(Qt::Key_Up), "10/10");

    // Pulses of more than a second: one pulse, the bar out of reach.
    s.ui.txtTOVTime->setFocus();
    s.ui.txtTOVTime->setText("1.5");
    key(Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), bar);
    EXPECT_EQ(key(Qt::Key_Up), "1/1");
}
