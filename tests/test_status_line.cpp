#include <gtest/gtest.h>

#include <QPushButton>

#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "support/TestProgram.h"

using namespace zavo;

static bool HasRed(const QImage& m) {
    for (int y = 0; y < m.height(); ++y)
        for (int x = 0; x < m.width(); ++x)
            if (m.pixelColor(x, y) == Qt::red) return true;
    return false;
}

TEST(StatusPanelPrint, ColoursTextAndToolTip) {
    QWidget window;
    window.setPalette(QPalette(QColor(10, 20, 30)));
    auto* pic = new StatusPanel(&window);
    pic->setGeometry(0, 0, 300, 24);
    // Back colour 0 takes the window's colour, into the caller's variable too.
    VbColor back = 0;
    StatusPanel_Print(pic, back, kBlack, "EXECUTE", "Port search");
    EXPECT_EQ(back, 0x1E140A);
    window.setPalette(QPalette(Qt::white));
    StatusPanel_Print(pic, back, kRed, "INSTRUMENT IS READY", "");
    EXPECT_EQ(pic->Back(), 0x1E140A);
    EXPECT_EQ(pic->toolTip(), "Port search");  // an empty tool tip keeps the previous one
    QImage img = pic->grab().toImage();
    EXPECT_TRUE(HasRed(img.copy(0, 0, 40, img.height())));  // the text starts at the left
    back = kGreen;
    StatusPanel_Print(pic, back, kRed, "", "Other");
    EXPECT_EQ(pic->Tag() + "|" + pic->toolTip(), " |Other");
    img = pic->grab().toImage();
    EXPECT_FALSE(HasRed(img));
    EXPECT_EQ(img.pixelColor(img.width() / 2, img.height() / 2), QColor(0, 255, 0));
    window.setProperty("BackColor", qlonglong(kButtonFace));  // a colour set as a value
    back = 0;
    StatusPanel_Print(pic, back, kBlack, "X");
    EXPECT_EQ(back, kButtonFace);
    StatusPanel_Print(nullptr, back, kBlack, "no panel");  // ignored, no crash
}

TEST(StatusLine, ShowReadyAndNotInitialized) {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    StatusPanel *lamp = ctx.ui->picStat[0], *text = ctx.ui->picStat[1];
    const QString thirdTag = ctx.ui->picStat[2]->Tag();
    for (const bool ready : {false, true}) {
        ctx.status->Status_Show(ready);
        EXPECT_EQ(lamp->Back(), ready ? kGreen : kGrey);
        EXPECT_EQ(text->Tag(), ready ? " INSTRUMENT IS READY" : " INSTRUMENT IS NOT INITIALIZED");
        EXPECT_EQ(text->Fore(), ready ? kBlack : kGrey);
        EXPECT_EQ(text->Back(), WindowBackColor(ctx.window));
        EXPECT_EQ(ctx.ui->cmdStart->isDefault(), ready);
    }
    EXPECT_EQ(ctx.ui->picStat[2]->Tag(), thirdTag);
    ctx.status->Lamp(kRed, "Error");
    ctx.status->Text("NO REPLY", kRed);
    EXPECT_EQ(std::tuple(lamp->Back(), lamp->toolTip(), text->Tag(), text->Fore()),
              std::tuple(kRed, QString("Error"), QString(" NO REPLY"), kRed));
    tp.Screenshot("status_line");
}
