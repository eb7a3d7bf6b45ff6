// The window's layouts: the tablet fitting its screen, and the desktop's pulse-count scroll bar.
#include <QKeyEvent>
#include <QScrollBar>
#include <QWindow>

#include "link/StatusLine.h"
#include "panel/SettingsFile.h"
#include "panel_test.h"

using namespace zavo;

namespace {

// A program started in the given mode and layout, its panel unlocked as after initialization and
// the tumbler used outside the demagnetizer.
struct Shown : test::PanelProgram {
    Shown(int mode, bool touch) {
        const Settings saved{.ZAVMODE = Int16(mode), .DMGFD = 80, .REKFD = 100, .TOUCHMODE = touch};
        Settings_Save(tp.Dir() / "ZAVO.sav", saved);
        window.Form_Load();
        ctx.instr.TumblerConnected = 1;
        Unlock(), ctx.enabling->FieldMeters_Enable(true), ctx.status->Status_Show(true);
        if (mode != 1) ui.chkTumbler->SetValue(true);
        window.show(), window.activateWindow();
        QApplication::processEvents();
    }
    // Every visible caption gets at least the room its text needs.
    void ExpectNothingClipped() {
        for (QWidget* w : window.findChildren<QWidget*>()) {
            QString text;
            if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
            if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
            if (!w->isVisible() || text.trimmed().isEmpty()) continue;
            EXPECT_EQ(w->size().expandedTo(w->minimumSizeHint()), w->size())
                << w->objectName().toStdString() << " " << text.toStdString();
        }
    }
};

}  // namespace

// The tablet window fits the free area of its screen from 1280 x 800 up (a task bar and a title
// bar taken off) in every mode, with START, the hold's count and the status line inside and
// readable; a larger screen gets larger keys.
TEST(MainWindow, TabletFitsItsScreen) {
    std::map<int, int> startHeight;
    for (QSize screen : {QSize(1280, 800), QSize(1920, 1080)}) {
        for (int mode : {1, 2, 3}) {
            SCOPED_TRACE(testing::Message() << screen.width() << " mode " << mode);
            Shown s(mode, true);
            s.ui.cmdInit->hide();  // as after the first initialization
            s.ui.lblSD->setText("245");
            s.window.Layout_Apply(true, QRect(QPoint(0, 0), screen));
            s.window.setWindowState(Qt::WindowNoState);
            const QSize client = screen - QSize(0, 80);
            s.window.resize(client);
            QApplication::processEvents();
            EXPECT_EQ(s.window.size(), client);
            for (QWidget* seen : std::initializer_list<QWidget*>{
                     s.ui.cmdStart, s.ui.cmdStop, s.ui.lblSD, s.ui.picStat[1], s.ui.optZAVMode[3]})
                EXPECT_TRUE(
                    s.window.rect().contains(QRect(seen->mapTo(&s.window, QPoint()), seen->size())))
                    << seen->objectName().toStdString();
            EXPECT_EQ(static_cast<CaptionedLabel*>(s.ui.lblSD)->Shown(),
                      "DEMAGNETIZER OFF IN 245 s");
            s.ExpectNothingClipped();
            startHeight[screen.width()] = s.ui.cmdStart->height();
        }
    }
    EXPECT_GE(startHeight[1920], startHeight[1280] * 1.3);
}

// The desktop's pulse count follows its scroll bar's keys whenever the bar is enabled: Tab from
// the pulse time reaches it, Up is more, a digit sets the count (0 for ten). Real key events
// through the window; the end-to-end test clicks the arrows.
TEST(MainWindow, PulseCountScrollBarTakesTabAndKeys) {
    Shown s(3, false);
    const auto key = [&](Qt::Key k) {
        const QString text = k >= Qt::Key_0 && k <= Qt::Key_9 ? QString(QChar(k)) : QString();
        for (auto type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent e(type, k, {}, text);
            QApplication::sendEvent(s.window.windowHandle(), &e);
        }
        return s.ui.lblTOVPulses->text().toStdString() + "/" + std::to_string(s.s.TOVNUM);
    };
    s.ui.txtTOVTime->setFocus();
    key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), s.ui.vslTOVPulses);
    EXPECT_EQ(key(Qt::Key_Up), "2/2");
    EXPECT_EQ(key(Qt::Key_Down), "1/1");
    EXPECT_EQ(key(Qt::Key_7), "7/7");
    EXPECT_EQ(key(Qt::Key_0), "10/10");
    EXPECT_EQ(key(Qt::Key_Up), "10/10");

    // Pulses of more than a second: one pulse, the bar out of reach.
    s.ui.txtTOVTime->setFocus();
    s.ui.txtTOVTime->setText("1.5");
    key(Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), s.ui.vslTOVPulses);
    EXPECT_EQ(key(Qt::Key_Up), "1/1");
}
