#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include "core/Context.h"
#include "panel/Controls.h"
#include "panel/OptionGroups.h"
#include "support/TestProgram.h"

using namespace zavo;

namespace {

struct OptionGroupsTest : ::testing::Test {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    Settings& s = ctx.settings;

    void SetUp() override {
        s.ZAVMODE = 1, s.SOUNDMODE = true, s.DMGFD = 0;
        ctx.options->Controls_Enable(true);
        ui.txtACMax->SetText("50");
        ui.txtRampTime->SetText("5");
    }
    // An invalid ramp time makes every validation show exactly one box.
    void CountValidations() { ui.txtRampTime->SetText("45"); }
    size_t Boxes() const { return tp.dialogs.boxes.size(); }
    // Only the chosen button is selected in both sets and marked in the tablet's.
    template <size_t N>
    void ExpectChosen(const std::array<OptionButton*, N>& desk,
                      const std::array<OptionButton*, N>& tablet, size_t chosen) {
        for (size_t i = 0; i < N; ++i) {
            if (!tablet[i]) continue;
            SCOPED_TRACE(tablet[i]->objectName().toStdString());
            EXPECT_EQ(desk[i]->isChecked() && tablet[i]->isChecked(), i == chosen);
            EXPECT_EQ(std::pair(BackColor(tablet[i]), ForeColor(tablet[i])),
                      i == chosen ? std::pair(kCyan, kBlue) : std::pair(kButtonFace, kBlack));
        }
    }
};

}  // namespace

TEST_F(OptionGroupsTest, EitherSetStoresMirrorsAndHighlights) {
    ui.optERateT[2]->click();
    EXPECT_EQ(std::tuple(s.DMGER, s.DMGFD), std::tuple(2, 50));  // stored, and the panel validated
    ExpectChosen(ui.optERate, ui.optERateT, 2);
    EXPECT_EQ(tp.sound.played, std::vector<std::string>{"start.wav"});
    ui.optERate[3]->click();
    EXPECT_EQ(std::tuple(s.DMGER, ui.txtACMax->toolTip()), std::tuple(3, "<0 - 100 mT>"));
    ExpectChosen(ui.optERate, ui.optERateT, 3);
    EXPECT_EQ(tp.sound.played.size(), 1u);  // the desktop set clicks silently
    ui.optDMode[8]->click();
    EXPECT_EQ(s.DMODE, 8);
    ExpectChosen(ui.optDMode, ui.optDModeT, 8);
    ui.optTOVDirT[2]->click();
    EXPECT_EQ(s.TOVDIR, 2);
    ExpectChosen(ui.optTOVDir, ui.optTOVDirT, 2);
    emit ui.picEShape[3]->Click();  // the course picture selects both sets
    EXPECT_EQ(s.DMGES, 3);
    ExpectChosen(ui.optEShape, ui.optEShapeT, 3);
    s.ZAVMODE = 3;  // no rate in the pulse mode
    ui.optERateT[1]->click();
    EXPECT_EQ(std::tuple(s.DMGER, s.REKER), std::tuple(3, 1));
}

// Selecting the twin from code fires its handler; only the lock keeps it from
// acting a second time.
TEST_F(OptionGroupsTest, MirroringDoesNotRecurse) {
    CountValidations();
    ui.optERate[1]->click();
    ui.optEShapeT[3]->click();
    ui.optDMode[5]->click();
    emit ui.picEShape[2]->Click();
    EXPECT_EQ(Boxes(), 4u);
    for (QWidget* w : ui.InputFlagged()) ASSERT_EQ(Tag(w), "1") << w->objectName().toStdString();
}

TEST_F(OptionGroupsTest, LockedPanelChangesNothing) {
    CountValidations();
    ui.optERateT[0]->click();
    const Settings before = s;
    ctx.options->Controls_Enable(false);
    for (QWidget* w : ui.InputFlagged()) ASSERT_EQ(Tag(w), "0");
    ui.optERate[3]->click();
    ui.optEShape[1]->click();
    emit ui.picEShape[1]->Click();
    ui.optDModeT[2]->click();
    ui.optTOVDirT[2]->click();
    EXPECT_TRUE(s == before);
    EXPECT_EQ(std::tuple(Boxes(), tp.sound.played.size()), std::tuple(1u, 1u));
    EXPECT_TRUE(BackColor(ui.optERateT[0]) == kCyan && BackColor(ui.optERateT[2]) == kButtonFace);
    EXPECT_FALSE(ui.optEShape[1]->isChecked() && ui.optEShapeT[1]->isChecked());
}

TEST_F(OptionGroupsTest, PulseCountStaysWithinOneToTen) {
    for (auto [from, button, to] : {std::tuple{10, ui.cmdTOVPlus, 10},
                                    {10, ui.cmdTOVMinus, 9},
                                    {1, ui.cmdTOVMinus, 1},
                                    {1, ui.cmdTOVPlus, 2}}) {
        s.TOVNUM = Int16(from);
        button->click();
        EXPECT_EQ(std::tuple(s.TOVNUM, ui.lblTOVPulses->text(), ui.vslTOVPulses->value()),
                  std::tuple(to, QString::number(to), to));
    }
    ui.vslTOVPulses->setValue(4);
    EXPECT_EQ(std::tuple(s.TOVNUM, ui.lblTOVPulses->text()), std::tuple(4, "4"));
}

// The "off" course picture is the greyed "on" one; the sounds are WAVE files.
TEST(Media, CoursePicturesAndSoundsAreThere) {
    const QString dir = ZAVO_SOURCE_DIR;
    for (int n = 1; n <= 3; ++n) {
        const QString name = QString("%1/pics/EShape%2-%3.gif").arg(dir).arg(n);
        const QImage on(name.arg("on")), off(name.arg("off"));
        ASSERT_TRUE(on.size() == QSize(120, 80) && off.size() == QSize(120, 80)) << n;
        bool colour = false, grey = true;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 120; ++x) {
                colour = colour || on.pixelColor(x, y).saturation() > 100;
                grey = grey && off.pixelColor(x, y).saturation() < 20;
            }
        EXPECT_TRUE(colour && grey) << n;
    }
    for (const char* wav : {"start", "error"}) {
        QFile f(QString("%1/sounds/%2.wav").arg(dir, wav));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << wav;
        EXPECT_TRUE(f.read(4) == "RIFF" && f.read(8).endsWith("WAVE")) << wav;
    }
}
