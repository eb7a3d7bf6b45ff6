// Which controls the panel enables, shows and colours per mode, tumbler and
// lock state.
#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>

#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "panel/PanelEnabling.h"
#include "support/TestProgram.h"

using namespace zavo;

namespace {

constexpr VbColor kACInput = 0xC0C0FF;
constexpr VbColor kDCInput = 0xC0FFC0;

struct PanelTest : ::testing::Test {
    PanelTest() : ctx(tp.ctx()), ui(*ctx.ui), pe(*ctx.enabling) {}
    void Unlock(int mode) {
        ctx.settings.ZAVMODE = Int16(mode);
        pe.Panels_Enable(true);
    }
    std::vector<bool> Rates() const {
        std::vector<bool> v;
        for (int i = 0; i <= 3; ++i) {
            EXPECT_EQ(ui.optERate[i]->isEnabled(), ui.optERateT[i]->isEnabled()) << i;
            v.push_back(ui.optERate[i]->isEnabled());
        }
        return v;
    }
    test::TestProgram tp;
    Ctx& ctx;
    Controls& ui;
    PanelEnabling& pe;
};

TEST_F(PanelTest, DemagnetizerWithAndWithoutTumbler) {
    pe.Panels_Enable(false);
    ctx.instr.TumblerConnected = 1;
    ui.txtACMax->setText("80");
    Unlock(1);
    EXPECT_TRUE(ui.fraADM->isEnabled());
    EXPECT_EQ(ui.fraFields->title(), "AC amplitude");
    EXPECT_TRUE(ui.txtACMax->isEnabled());
    EXPECT_EQ(BackColor(ui.txtACMax), kACInput);
    for (QWidget* w :
         {static_cast<QWidget*>(ui.txtDCField), static_cast<QWidget*>(ui.txtACMin),
          static_cast<QWidget*>(ui.lblFieldsCap[2]), static_cast<QWidget*>(ui.lblFieldsCap[3])}) {
        EXPECT_TRUE(w->isHidden());
        EXPECT_FALSE(w->isEnabled());
    }
    EXPECT_EQ(BackColor(ui.txtACMin), kButtonFace);
    EXPECT_EQ(BackColor(ui.txtRampTime), kWhite);
    EXPECT_EQ(BackColor(ui.picEShape[2]), kWhite);
    EXPECT_FALSE(ui.fraTOV->isEnabled());
    EXPECT_EQ(BackColor(ui.txtTOVField), kButtonFace);
    EXPECT_TRUE(ui.fraDMode->isEnabled());
    EXPECT_FALSE(ui.optDMode[7]->isEnabled());
    EXPECT_FALSE(ui.optMModeT[3]->isEnabled());
    EXPECT_TRUE(ui.chkTumbler->isEnabled());
    EXPECT_TRUE(ui.chkTumblerT->isEnabled());
    EXPECT_TRUE(ui.cmdStart->isEnabled());
    EXPECT_FALSE(ui.cmdInitTumbler->isEnabled());
    EXPECT_TRUE(ctx.window->updatesEnabled());

    ctx.pos.TumblerUsed = true;
    Unlock(1);
    for (int i = 0; i <= 8; ++i) {
        EXPECT_TRUE(ui.optDMode[i]->isEnabled());
        EXPECT_TRUE(ui.optDModeT[i]->isEnabled());
    }
    EXPECT_TRUE(ui.cmdInitTumbler->isEnabled());
}

TEST_F(PanelTest, AnhystereticShowsBiasAndPositions) {
    ui.txtACMax->setText("80.5");
    Unlock(2);
    EXPECT_EQ(ui.fraFields->title(), "AC/DC fields");
    EXPECT_FALSE(ui.txtACMin->isHidden());
    EXPECT_TRUE(ui.txtDCField->isEnabled());
    EXPECT_EQ(BackColor(ui.txtDCField), kDCInput);
    EXPECT_EQ(BackColor(ui.txtACMin), kACInput);
    EXPECT_EQ(ui.txtACMin->toolTip(), "<0 - 80.5 mT>");
    ui.txtACMax->setText("80");
    Unlock(2);
    EXPECT_EQ(ui.txtACMin->toolTip(), "<0 - 80 mT>");
    EXPECT_FALSE(ui.fraDMode->isEnabled());

    // Without the tumbler every position control stays off, auto next cleared.
    ctx.pos.MMode = 8;
    ui.chkAutoNext->setChecked(true);
    ui.chkAutoNextT->setChecked(true);
    Unlock(2);
    for (int i = 0; i <= 12; ++i) EXPECT_FALSE(ui.optMMode[i]->isEnabled()) << i;
    EXPECT_FALSE(ui.cmdNextPos->isEnabled());
    EXPECT_FALSE(ui.chkAutoNext->isChecked());
    EXPECT_FALSE(ui.chkAutoNextT->isChecked());
    EXPECT_EQ(BackColor(ui.chkAutoNextT), kButtonFace);

    ctx.pos.TumblerUsed = true;
    Unlock(2);
    EXPECT_TRUE(ui.optMModeT[12]->isEnabled());
    EXPECT_TRUE(ui.lblMMode->isEnabled());
    EXPECT_TRUE(ui.cmdPrevPos->isEnabled());
    EXPECT_TRUE(ui.chkAutoNextT->isEnabled());
    // A single axis leaves the stepping controls as they were.
    pe.MagPositions_Enable(false);
    ctx.pos.MMode = 3;
    Unlock(2);
    EXPECT_TRUE(ui.optMMode[3]->isEnabled());
    EXPECT_FALSE(ui.cmdPrevPos->isEnabled());
}

TEST_F(PanelTest, RatesFollowAcMax) {
    ctx.settings.ZAVMODE = 1;
    auto rates = [&](const char* acMax, bool slowBefore) {
        pe.ADMPanel_Enable(false);
        ui.optERate[3]->setEnabled(slowBefore);
        ui.optERateT[3]->setEnabled(slowBefore);
        ui.txtACMax->setText(acMax);
        pe.ADMPanel_Enable(true);
        return Rates();
    };
    using V = std::vector<bool>;
    EXPECT_EQ(rates("150", false), (V{true, true, true, false}));
    EXPECT_EQ(rates("150", true), (V{true, true, true, true}));
    EXPECT_EQ(rates("100", false), (V{true, true, true, true}));
    EXPECT_EQ(rates("150.5", false), (V{true, true, false, false}));
    EXPECT_EQ(rates("abc", false), (V{true, true, true, true}));
    pe.ADMPanel_Enable(false);
    EXPECT_EQ(Rates(), (V{false, false, false, false}));
    EXPECT_FALSE(ui.fraERateT->isEnabled());
}

TEST_F(PanelTest, PulseTimeLimitsThePulseCount) {
    ui.vslTOVPulses->setValue(5);
    ui.lblTOVPulses->setText("5");
    ui.txtTOVTime->setText("1");
    Unlock(3);
    EXPECT_FALSE(ui.fraADM->isEnabled());
    EXPECT_TRUE(ui.fraTOV->isEnabled());
    EXPECT_EQ(BackColor(ui.txtTOVField), kDCInput);
    EXPECT_EQ(BackColor(ui.txtTOVTime), kWhite);
    EXPECT_EQ(ui.lblTOVPulses->text(), "5");
    EXPECT_EQ(ui.vslTOVPulses->value(), 5);
    EXPECT_TRUE(ui.vslTOVPulses->isEnabled());

    ui.txtTOVTime->setText("1.01");
    Unlock(3);
    EXPECT_EQ(ui.lblTOVPulses->text(), "1");
    EXPECT_EQ(ui.vslTOVPulses->value(), 1);
    EXPECT_FALSE(ui.vslTOVPulses->isEnabled());
}

TEST_F(PanelTest, YulStateLeavesOnlyTheDemagnetizer) {
    ctx.instr.YULState = 2;
    ui.optZAVMode[3]->setChecked(true);
    Unlock(3);
    EXPECT_TRUE(ui.optZAVMode[1]->isChecked());
    EXPECT_TRUE(ui.optZAVMode[1]->isEnabled());
    EXPECT_FALSE(ui.optZAVMode[2]->isEnabled());
    EXPECT_FALSE(ui.optZAVMode[3]->isEnabled());
    EXPECT_TRUE(ctx.window->updatesEnabled());
    ctx.instr.YULState = 0;
    Unlock(1);
    EXPECT_TRUE(ui.optZAVMode[3]->isEnabled());
}

TEST_F(PanelTest, LockingKeepsTheModesInputsShownOrHidden) {
    // Pulse magnetizer: the bias and AC min inputs keep their visibility.
    Unlock(2);
    ctx.settings.ZAVMODE = 3;
    pe.Panels_Enable(false);
    EXPECT_FALSE(ui.txtACMin->isHidden());
    EXPECT_FALSE(ui.txtDCField->isEnabled());
    EXPECT_EQ(BackColor(ui.txtACMax), kButtonFace);
    ctx.settings.ZAVMODE = 1;
    pe.Panels_Enable(false);
    EXPECT_TRUE(ui.txtACMin->isHidden());
    EXPECT_TRUE(ui.lblFieldsCap[2]->isHidden());

    for (QWidget* w :
         {static_cast<QWidget*>(ui.fraZAVMode), static_cast<QWidget*>(ui.optZAVMode[2]),
          static_cast<QWidget*>(ui.cmdStart), static_cast<QWidget*>(ui.chkTumbler),
          static_cast<QWidget*>(ui.cmdInitTumbler), static_cast<QWidget*>(ui.txtRampTime),
          static_cast<QWidget*>(ui.fraTOV), static_cast<QWidget*>(ui.optMModeT[0]),
          static_cast<QWidget*>(ui.chkAutoNextT), static_cast<QWidget*>(ui.optDMode[8])})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_EQ(BackColor(ui.picEShape[1]), kButtonFace);

    // Unlocking never takes the tumbler boxes away.
    ui.chkTumbler->setEnabled(true);
    ctx.instr.TumblerConnected = 0;
    Unlock(1);
    EXPECT_TRUE(ui.chkTumbler->isEnabled());
}

TEST_F(PanelTest, CoursePicturesSwitchOnAndOff) {
    const auto pics = tp.Dir() / "pics";
    std::filesystem::create_directories(pics);
    for (int n = 1; n <= 3; ++n)
        for (const auto& [state, colour] : {std::pair{"on", Qt::red}, std::pair{"off", Qt::blue}}) {
            QImage img(8, 8, QImage::Format_RGB32);
            img.fill(colour);
            const auto file = pics / ("EShape" + std::to_string(n) + "-" + state + ".gif");
            ASSERT_TRUE(img.save(QString::fromStdString(file.string()), "PNG"));
        }
    auto colourOf = [&](int n) {
        return ui.optEShapeT[n]->icon().pixmap(8, 8).toImage().pixelColor(4, 4);
    };
    ctx.settings.ZAVMODE = 1;
    pe.ADMPanel_Enable(true);
    EXPECT_EQ(colourOf(3), QColor(Qt::red));
    pe.ADMPanel_Enable(false);
    EXPECT_EQ(colourOf(1), QColor(Qt::blue));
    // A missing picture leaves the button without one.
    std::filesystem::remove(pics / "EShape2-on.gif");
    pe.ADMPanel_Enable(true);
    EXPECT_TRUE(ui.optEShapeT[2]->icon().isNull());
    EXPECT_FALSE(ui.optEShapeT[1]->icon().isNull());
}

TEST_F(PanelTest, FieldMetersByMode) {
    auto meters = [&](int mode) {
        ctx.settings.ZAVMODE = Int16(mode);
        pe.FieldMeters_Enable(true);
        return std::vector<bool>{ui.lblACField[0]->isEnabled(), ui.lblACField[1]->isEnabled(),
                                 ui.lblDCField[0]->isEnabled(), ui.lblDCField[1]->isEnabled()};
    };
    using V = std::vector<bool>;
    EXPECT_EQ(meters(1), (V{true, true, false, false}));
    EXPECT_EQ(meters(2), (V{true, true, true, true}));
    EXPECT_EQ(meters(3), (V{false, false, true, true}));
    ui.lblACField[0]->setText("123.4 ");
    ui.lblDCField[0]->setText("55 ");
    pe.FieldMeters_Enable(false);
    EXPECT_FALSE(ui.fraFieldMeters->isEnabled());
    EXPECT_FALSE(ui.lblDCField[1]->isEnabled());
    EXPECT_EQ(ui.lblACField[0]->text(), "0 ");
    EXPECT_EQ(ui.lblDCField[0]->text(), "0 ");
}

}  // namespace
