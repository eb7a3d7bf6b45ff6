#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include "core/Context.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/OptionGroups.h"
#include "support/TestProgram.h"

using namespace zavo;

namespace {

struct OptionGroupsTest : ::testing::Test {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    OptionGroups& og = *ctx.options;

    void SetUp() override {
        ctx.settings.ZAVMODE = 1;
        ctx.settings.SOUNDMODE = true;
        og.Controls_Enable(true);
        // Valid boxes: each Input_Validate stores the AC max without a message.
        ui.txtACMax->SetText("50");
        ui.txtRampTime->SetText("5");
        ctx.settings.DMGFD = 0;
    }
    // An invalid ramp time makes every Input_Validate show exactly one box.
    void CountValidations() { ui.txtRampTime->SetText("45"); }
    size_t Boxes() const { return tp.dialogs.boxes.size(); }
    static bool Highlighted(QWidget* w) { return BackColor(w) == kCyan && ForeColor(w) == kBlue; }
    static bool Plain(QWidget* w) { return BackColor(w) == kButtonFace && ForeColor(w) == kBlack; }
};

}  // namespace

TEST_F(OptionGroupsTest, RateInEitherSetStoresMirrorsAndValidates) {
    ui.optERateT[2]->click();
    EXPECT_EQ(ctx.settings.DMGER, 2);
    EXPECT_TRUE(ui.optERate[2]->isChecked());
    EXPECT_TRUE(Highlighted(ui.optERateT[2]));
    for (int i : {0, 1, 3}) EXPECT_TRUE(Plain(ui.optERateT[i])) << i;
    EXPECT_EQ(ui.txtACMax->toolTip(), "<0 - 150 mT>");
    EXPECT_EQ(tp.sound.played, std::vector<std::string>{"start.wav"});
    EXPECT_EQ(ctx.settings.DMGFD, 50);

    ui.optERate[3]->click();
    EXPECT_EQ(ctx.settings.DMGER, 3);
    EXPECT_TRUE(ui.optERateT[3]->isChecked());
    EXPECT_TRUE(Highlighted(ui.optERateT[3]));
    EXPECT_TRUE(Plain(ui.optERateT[2]));
    EXPECT_EQ(ui.txtACMax->toolTip(), "<0 - 100 mT>");
    EXPECT_EQ(tp.sound.played.size(), 1u);  // the desktop set clicks silently

    ctx.settings.ZAVMODE = 3;  // no rate in the pulse mode
    ui.optERateT[1]->click();
    EXPECT_EQ(ctx.settings.DMGER, 3);
    EXPECT_EQ(ctx.settings.REKER, 1);
}

// Selecting the twin from code fires its handler; only the lock keeps it from
// acting a second time.
TEST_F(OptionGroupsTest, MirroringDoesNotRecurse) {
    CountValidations();
    ui.optERate[1]->click();
    EXPECT_EQ(Boxes(), 1u);
    ui.optEShapeT[3]->click();
    EXPECT_EQ(Boxes(), 2u);
    ui.optDMode[5]->click();
    EXPECT_EQ(Boxes(), 3u);
    EXPECT_TRUE(ui.optEShape[3]->isChecked());
    EXPECT_TRUE(ui.optDModeT[5]->isChecked());
    // The panel is open again afterwards.
    for (QWidget* w : ui.InputFlagged()) ASSERT_EQ(Tag(w), "1") << w->objectName().toStdString();
}

TEST_F(OptionGroupsTest, LockedPanelChangesNothing) {
    CountValidations();
    ui.optERateT[0]->click();
    const Settings before = ctx.settings;
    const size_t boxes = Boxes();
    og.Controls_Enable(false);
    for (QWidget* w : ui.InputFlagged()) ASSERT_EQ(Tag(w), "0");
    ui.optERate[3]->click();
    ui.optERateT[2]->click();
    ui.optEShape[1]->click();
    emit ui.picEShape[1]->Click();
    ui.optDModeT[2]->click();
    ui.optTOVDirT[2]->click();
    EXPECT_TRUE(ctx.settings == before);
    EXPECT_EQ(Boxes(), boxes);
    EXPECT_TRUE(Highlighted(ui.optERateT[0]));
    EXPECT_TRUE(Plain(ui.optERateT[2]));
    EXPECT_FALSE(ui.optEShape[1]->isChecked() && ui.optEShapeT[1]->isChecked());
    EXPECT_EQ(tp.sound.played.size(), 1u);
}

TEST_F(OptionGroupsTest, CoursePictureSelectsBothSetsAndStoresOnce) {
    CountValidations();
    ctx.settings.DMGES = 2;
    emit ui.picEShape[3]->Click();
    EXPECT_EQ(ctx.settings.DMGES, 3);
    EXPECT_TRUE(ui.optEShape[3]->isChecked());
    EXPECT_TRUE(ui.optEShapeT[3]->isChecked());
    EXPECT_TRUE(Highlighted(ui.optEShapeT[3]));
    EXPECT_EQ(Boxes(), 1u);
}

TEST_F(OptionGroupsTest, DemagnetizationModes) {
    ctx.settings.DMODE = 7;
    ui.optDModeT[0]->click();
    EXPECT_EQ(ctx.settings.DMODE, 7);
    EXPECT_TRUE(Highlighted(ui.optDModeT[0]));
    EXPECT_TRUE(ui.optDMode[0]->isChecked());
    ui.optDMode[8]->click();
    EXPECT_EQ(ctx.settings.DMODE, 8);
    EXPECT_TRUE(ui.optDModeT[8]->isChecked());
    EXPECT_TRUE(Highlighted(ui.optDModeT[8]));
    EXPECT_TRUE(Plain(ui.optDModeT[0]));
}

TEST_F(OptionGroupsTest, PolarityTwinsStayInStep) {
    ui.optTOVDirT[2]->click();
    EXPECT_EQ(ctx.settings.TOVDIR, 2);
    EXPECT_TRUE(ui.optTOVDir[2]->isChecked());
    EXPECT_TRUE(Highlighted(ui.optTOVDirT[2]));
    ui.optTOVDir[1]->click();
    EXPECT_EQ(ctx.settings.TOVDIR, 1);
    EXPECT_TRUE(ui.optTOVDirT[1]->isChecked());
    EXPECT_TRUE(Highlighted(ui.optTOVDirT[1]));
    EXPECT_TRUE(Plain(ui.optTOVDirT[2]));
}

TEST_F(OptionGroupsTest, PulseCountStaysWithinOneToTen) {
    ctx.settings.TOVNUM = 10;
    ui.cmdTOVPlus->click();
    EXPECT_EQ(ctx.settings.TOVNUM, 10);
    ui.cmdTOVMinus->click();
    EXPECT_EQ(ctx.settings.TOVNUM, 9);
    EXPECT_EQ(ui.lblTOVPulses->text(), "9");
    EXPECT_EQ(ui.vslTOVPulses->value(), 9);
    ctx.settings.TOVNUM = 1;
    ui.cmdTOVMinus->click();
    EXPECT_EQ(ctx.settings.TOVNUM, 1);
    ui.vslTOVPulses->setValue(4);
    EXPECT_EQ(ctx.settings.TOVNUM, 4);
    EXPECT_EQ(ui.lblTOVPulses->text(), "4");
}

TEST(Media, CoursePicturesAndSoundsAreThere) {
    const QString dir = ZAVO_SOURCE_DIR;
    for (int n = 1; n <= 3; ++n) {
        for (const char* state : {"on", "off"}) {
            const QImage im(QString("%1/pics/EShape%2-%3.gif").arg(dir).arg(n).arg(state));
            ASSERT_FALSE(im.isNull()) << n << state;
            EXPECT_EQ(im.size(), QSize(120, 80));
        }
        // "off" is the greyed picture of the same course.
        const QImage on(QString("%1/pics/EShape%2-on.gif").arg(dir).arg(n));
        const QImage off(QString("%1/pics/EShape%2-off.gif").arg(dir).arg(n));
        bool colour = false, grey = true;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 120; ++x) {
                const QColor a = on.pixelColor(x, y), b = off.pixelColor(x, y);
                colour = colour || a.saturation() > 100;
                grey = grey && b.saturation() < 20;
            }
        EXPECT_TRUE(colour && grey) << n;
    }
    for (const char* wav : {"start", "error"}) {
        QFile f(QString("%1/sounds/%2.wav").arg(dir, wav));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << wav;
        const QByteArray head = f.read(12);
        EXPECT_TRUE(head.startsWith("RIFF") && head.endsWith("WAVE")) << wav;
    }
}
