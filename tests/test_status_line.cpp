#include <gtest/gtest.h>

#include <QImage>
#include <QPushButton>
#include <QWidget>

#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "support/TestProgram.h"

using namespace zavo;

namespace {

// A panel in a window of a known background colour.
struct PanelInWindow {
    QWidget window;
    StatusPanel* pic = new StatusPanel(&window);
    PanelInWindow() {
        QPalette p = window.palette();
        p.setColor(QPalette::Window, QColor(10, 20, 30));
        window.setPalette(p);
        pic->setGeometry(0, 0, 300, 24);
    }
};

bool HasColour(const QImage& img, const QColor& c) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixelColor(x, y) == c) return true;
    return false;
}

TEST(StatusPanelPrint, BackZeroTakesTheWindowColourIntoTheCallersVariable) {
    PanelInWindow w;
    VbColor back = 0;
    StatusPanel_Print(w.pic, back, kBlack, "EXECUTE");
    EXPECT_EQ(back, 0x1E140A);
    EXPECT_EQ(w.pic->Back(), 0x1E140A);
    EXPECT_EQ(w.pic->Tag(), " EXECUTE");
    // The same variable again now paints that colour directly.
    QPalette p = w.window.palette();
    p.setColor(QPalette::Window, Qt::white);
    w.window.setPalette(p);
    StatusPanel_Print(w.pic, back, kRed, "");
    EXPECT_EQ(w.pic->Back(), 0x1E140A);
    EXPECT_EQ(w.pic->Fore(), kRed);
    EXPECT_EQ(w.pic->Tag(), " ");

    // A window whose colour was set as a value passes that value on.
    w.window.setProperty("BackColor", qlonglong(kButtonFace));
    VbColor back2 = 0;
    StatusPanel_Print(w.pic, back2, kBlack, "X");
    EXPECT_EQ(back2, kButtonFace);
}

TEST(StatusPanelPrint, EmptyToolTipKeepsThePreviousOne) {
    PanelInWindow w;
    VbColor back = kLightOrange;
    StatusPanel_Print(w.pic, back, kBlack, "SEARCHING PORT", "Port search");
    StatusPanel_Print(w.pic, back, kBlack, "PORT FOUND", "");
    EXPECT_EQ(w.pic->toolTip(), "Port search");
    StatusPanel_Print(w.pic, back, kBlack, "DONE", "Other");
    EXPECT_EQ(w.pic->toolTip(), "Other");
    StatusPanel_Print(nullptr, back, kBlack, "no panel");  // ignored, no crash
}

TEST(StatusPanelPrint, PaintsBackgroundAndText) {
    PanelInWindow w;
    VbColor back = kWhite;
    StatusPanel_Print(w.pic, back, kRed, "INSTRUMENT IS READY");
    QImage img = w.pic->grab().toImage();
    EXPECT_EQ(img.pixelColor(img.width() / 2, img.height() - 4), QColor(Qt::white));
    EXPECT_TRUE(HasColour(img, QColor(255, 0, 0)));
    // The text starts at the left.
    EXPECT_TRUE(HasColour(img.copy(0, 0, 40, img.height()), QColor(255, 0, 0)));

    StatusPanel_Print(w.pic, back, kRed, "");
    img = w.pic->grab().toImage();
    EXPECT_FALSE(HasColour(img, QColor(255, 0, 0)));
    back = kGreen;
    StatusPanel_Print(w.pic, back, kBlack, "");
    img = w.pic->grab().toImage();
    EXPECT_EQ(img.pixelColor(img.width() / 2, img.height() / 2), QColor(0, 255, 0));
}

TEST(StatusLine, ShowReadyAndNotInitialized) {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    const VbColor windowBack = WindowBackColor(ctx.window);
    StatusPanel* lamp = ctx.ui->picStat[0];
    StatusPanel* text = ctx.ui->picStat[1];
    StatusPanel* third = ctx.ui->picStat[2];
    const QString thirdTag = third->Tag();
    ctx.ui->cmdStart->setDefault(false);

    ctx.status->Status_Show(false);
    EXPECT_EQ(lamp->Back(), kGrey);
    EXPECT_EQ(text->Tag(), " INSTRUMENT IS NOT INITIALIZED");
    EXPECT_EQ(text->Fore(), kGrey);
    EXPECT_EQ(text->Back(), windowBack);
    EXPECT_FALSE(ctx.ui->cmdStart->isDefault());

    ctx.status->Status_Show(true);
    EXPECT_EQ(lamp->Back(), kGreen);
    EXPECT_EQ(lamp->Tag(), " ");
    EXPECT_EQ(text->Tag(), " INSTRUMENT IS READY");
    EXPECT_EQ(text->Fore(), kBlack);
    EXPECT_EQ(text->Back(), windowBack);
    EXPECT_TRUE(ctx.ui->cmdStart->isDefault());
    EXPECT_EQ(third->Tag(), thirdTag);

    ctx.status->Lamp(kRed, "Error");
    ctx.status->Text("NO REPLY", kRed);
    EXPECT_EQ(lamp->Back(), kRed);
    EXPECT_EQ(lamp->toolTip(), "Error");
    EXPECT_EQ(text->Tag(), " NO REPLY");
    EXPECT_EQ(text->Fore(), kRed);
    tp.Screenshot("status_line");
}

}  // namespace
