#include <gtest/gtest.h>

#include <QImage>
#include <span>

#include "panel/Controls.h"
#include "panel/OptionGroups.h"
#include "support/TestProgram.h"

using namespace zavo;
using std::tuple;

namespace {

struct OptionGroupsTest : ::testing::Test {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    Settings& s = ctx.settings;

    void SetUp() override {
        s.ZAVMODE = 1, s.SOUNDMODE = true;
        ctx.options->Controls_Enable(true);
        ui.txtACMax->SetText("x");  // every validation stops here with exactly one box
    }
    using Set = std::span<OptionButton* const>;
    // After the click, the record holds the choice; only it is selected in both sets and marked.
    void Choose(OptionButton* click, Set desk, Set tablet, const Int16& field, int chosen) {
        if (click) click->click();
        EXPECT_EQ(field, chosen);
        for (size_t i = 0; i < desk.size(); ++i) {
            if (!tablet[i]) continue;
            EXPECT_EQ(
                tuple(desk[i]->isChecked() && tablet[i]->isChecked(), BackColor(tablet[i]),
                      ForeColor(tablet[i])),
                int(i) == chosen ? tuple(true, kCyan, kBlue) : tuple(false, kButtonFace, kBlack))
                << tablet[i]->objectName().toStdString();
        }
    }
};

}  // namespace

// Selecting the twin from code fires its handler; only the lock keeps it from acting again.
TEST_F(OptionGroupsTest, EitherSetStoresMirrorsAndHighlightsOnce) {
    Choose(ui.optERateT[2], ui.optERate, ui.optERateT, s.DMGER, 2);
    EXPECT_EQ(tp.sound.played, std::vector<std::string>{"start.wav"});
    Choose(ui.optERate[3], ui.optERate, ui.optERateT, s.DMGER, 3);
    EXPECT_EQ(tuple(ui.txtACMax->toolTip(), tp.sound.played.size()), tuple("<0 - 100 mT>", 1u));
    Choose(ui.optDMode[8], ui.optDMode, ui.optDModeT, s.DMODE, 8);
    Choose(ui.optTOVDirT[2], ui.optTOVDir, ui.optTOVDirT, s.TOVDIR, 2);
    Choose(ui.optEShapeT[1], ui.optEShape, ui.optEShapeT, s.DMGES, 1);
    emit ui.picEShape[3]->Click();  // the course picture selects both sets
    Choose(nullptr, ui.optEShape, ui.optEShapeT, s.DMGES, 3);
    for (QWidget* w : ui.InputFlagged()) ASSERT_EQ(Tag(w), "1") << w->objectName().toStdString();
    ctx.options->Controls_Enable(false);
    const Settings before = s;
    for (OptionButton* b : {ui.optERate[0], ui.optEShape[1], ui.optDModeT[2], ui.optTOVDirT[1]})
        b->click();
    emit ui.picEShape[1]->Click();
    EXPECT_TRUE(s == before);
    EXPECT_EQ(tuple(tp.dialogs.boxes.size(), tp.sound.played.size()), tuple(5u, 2u));
    EXPECT_TRUE(BackColor(ui.optERateT[3]) == kCyan && BackColor(ui.optERateT[0]) == kButtonFace);
    EXPECT_FALSE(ui.optEShape[1]->isChecked() && ui.optEShapeT[1]->isChecked());
    s.ZAVMODE = 3;  // no rate in the pulse mode
    ctx.options->Controls_Enable(true);
    ui.optERateT[1]->click();
    EXPECT_EQ(tuple(s.DMGER, s.REKER), tuple(3, 1));
}

TEST_F(OptionGroupsTest, PulseCountStaysWithinOneToTen) {
    for (auto [from, step, to] : {tuple{10, 1, 10}, {10, -1, 9}, {1, -1, 1}, {1, 1, 2}}) {
        s.TOVNUM = Int16(from);
        (step > 0 ? ui.cmdTOVPlus : ui.cmdTOVMinus)->click();
        EXPECT_EQ(tuple(s.TOVNUM, ui.lblTOVPulses->text(), ui.vslTOVPulses->value()),
                  tuple(to, QString::number(to), to));
    }
    ui.vslTOVPulses->setValue(4);
    EXPECT_EQ(tuple(s.TOVNUM, ui.lblTOVPulses->text()), tuple(4, "4"));
}

// The "off" course picture is the greyed "on" one; the sounds are WAVE files.
TEST(Media, CoursePicturesAndSoundsAreThere) {
    for (int n = 1; n <= 3; ++n) {
        const QString name = QString(ZAVO_SOURCE_DIR "/pics/EShape%1-%2.gif").arg(n);
        const QImage on(name.arg("on")), off(name.arg("off"));
        ASSERT_TRUE(on.size() == QSize(120, 80) && off.size() == QSize(120, 80)) << n;
        bool colour = false, grey = true;
        for (int p = 0; p < 120 * 80; ++p) {
            colour = colour || on.pixelColor(p % 120, p / 120).saturation() > 100;
            grey = grey && off.pixelColor(p % 120, p / 120).saturation() < 20;
        }
        EXPECT_TRUE(colour && grey) << n;
    }
    for (std::string wav : {"start", "error"}) {
        const std::string b = test::ReadBytes(ZAVO_SOURCE_DIR "/sounds/" + wav + ".wav");
        EXPECT_TRUE(b.starts_with("RIFF") && b.find("WAVE") == 8) << wav;
    }
}
