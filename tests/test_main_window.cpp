// The desktop's pulse count follows its scroll bar's keys whenever the bar is enabled: Tab from
// the pulse time reaches it, Up is more, a digit sets the count (0 for ten).
#include <QKeyEvent>
#include <QWindow>

#include "link/StatusLine.h"
#include "panel/SettingsFile.h"
#include "panel_test.h"

using namespace zavo;
using MainWindowTest = zavo::test::Panel;

TEST_F(MainWindowTest, PulseCountScrollBarTakesTabAndKeys) {
    Settings_Save(tp.Dir() / "ZAVO.sav", {.ZAVMODE = 3});
    window.Form_Load(), Unlock(), ctx.status->Status_Show(true);
    window.show(), window.activateWindow(), QApplication::processEvents();
    // The count (label/record) after each key.
    const auto key = [&](std::initializer_list<Qt::Key> keys) {
        std::string after;
        for (Qt::Key k : keys) {
            const QString text = k >= Qt::Key_0 && k <= Qt::Key_9 ? QString(QChar(k)) : QString();
            for (auto type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                QKeyEvent e(type, k, {}, text);
                QApplication::sendEvent(window.windowHandle(), &e);
            }
            after += " " + ui.lblTOVPulses->text().toStdString() + "/" + std::to_string(s.TOVNUM);
        }
        return after;
    };
    ui.txtTOVTime->setFocus();
    key({Qt::Key_Tab});
    EXPECT_EQ(QApplication::focusWidget(), ui.vslTOVPulses);
    EXPECT_EQ(key({Qt::Key_Up, Qt::Key_Down, Qt::Key_7, Qt::Key_0, Qt::Key_Up}),
              " 2/2 1/1 7/7 10/10 10/10");
    // Pulses of more than a second: one pulse, the bar out of reach.
    ui.txtTOVTime->setFocus(), ui.txtTOVTime->setText("1.5");
    key({Qt::Key_Tab});
    EXPECT_NE(QApplication::focusWidget(), ui.vslTOVPulses);
    EXPECT_EQ(key({Qt::Key_Up}), " 1/1");
}
