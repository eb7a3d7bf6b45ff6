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
using Ws = std::initializer_list<QWidget*>;
using Cs = std::vector<VbColor>;

namespace {

constexpr VbColor kACInput = 0xC0C0FF;
constexpr VbColor kDCInput = 0xC0FFC0;

// One character per widget: enabled ('1'/'0'), or shown ('1'/'0').
std::string Enabled(Ws ws) {
    std::string s;
    for (QWidget* w : ws) s += w->isEnabled() ? '1' : '0';
    return s;
}
std::string Shown(Ws ws) {
    std::string s;
    for (QWidget* w : ws) s += w->isHidden() ? '0' : '1';
    return s;
}
Cs Colours(Ws ws) {
    Cs c;
    for (QWidget* w : ws) c.push_back(BackColor(w));
    return c;
}

struct PanelTest : ::testing::Test {
    PanelTest() : ctx(tp.ctx()), ui(*ctx.ui), pe(*ctx.enabling) {}
    void Unlock(int mode) {
        ctx.settings.ZAVMODE = Int16(mode);
        pe.Panels_Enable(true);
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
    EXPECT_EQ(ui.fraFields->title(), "AC amplitude");
    const Ws other = {ui.txtDCField, ui.txtACMin, ui.lblFieldsCap[2], ui.lblFieldsCap[3]};
    EXPECT_EQ(Shown(other) + Enabled(other), "00000000");
    EXPECT_EQ(
        Enabled({ui.fraADM, ui.txtACMax, ui.fraTOV, ui.fraDMode, ui.optDMode[7], ui.optMModeT[3],
                 ui.chkTumbler, ui.chkTumblerT, ui.cmdStart, ui.cmdInitTumbler}),
        "1101001110");
    EXPECT_EQ(Colours({ui.txtACMax, ui.txtACMin, ui.txtRampTime, ui.picEShape[2], ui.txtTOVField}),
              (Cs{kACInput, kButtonFace, kWhite, kWhite, kButtonFace}));
    EXPECT_TRUE(ctx.window->updatesEnabled());
    ctx.pos.TumblerUsed = true;
    Unlock(1);
    for (int i = 0; i <= 8; ++i) EXPECT_EQ(Enabled({ui.optDMode[i], ui.optDModeT[i]}), "11") << i;
    EXPECT_TRUE(ui.cmdInitTumbler->isEnabled());
}

TEST_F(PanelTest, AnhystereticShowsBiasAndPositions) {
    ui.txtACMax->setText("80.5");
    Unlock(2);
    EXPECT_EQ(ui.fraFields->title(), "AC/DC fields");
    EXPECT_EQ(Shown({ui.txtACMin}) + Enabled({ui.txtDCField, ui.fraDMode}), "110");
    EXPECT_EQ(Colours({ui.txtDCField, ui.txtACMin}), (Cs{kDCInput, kACInput}));
    EXPECT_EQ(ui.txtACMin->toolTip(), "<0 - 80.5 mT>");
    // Without the tumbler every position control stays off, auto next cleared.
    ctx.pos.MMode = 8;
    ui.chkAutoNext->setChecked(true);
    ui.chkAutoNextT->setChecked(true);
    Unlock(2);
    EXPECT_EQ(Enabled({ui.optMMode[0], ui.optMMode[3], ui.optMMode[8], ui.optMModeT[12]}), "0000");
    EXPECT_FALSE(ui.cmdNextPos->isEnabled() || ui.chkAutoNext->isChecked() ||
                 ui.chkAutoNextT->isChecked());
    EXPECT_EQ(BackColor(ui.chkAutoNextT), kButtonFace);
    ctx.pos.TumblerUsed = true;
    Unlock(2);
    EXPECT_EQ(Enabled({ui.optMModeT[12], ui.lblMMode, ui.cmdPrevPos, ui.chkAutoNextT}), "1111");
    // A single axis leaves the stepping controls as they were.
    pe.MagPositions_Enable(false);
    ctx.pos.MMode = 3;
    Unlock(2);
    EXPECT_EQ(Enabled({ui.optMMode[3], ui.cmdPrevPos}), "10");
}

TEST_F(PanelTest, RatesFollowAcMax) {
    ctx.settings.ZAVMODE = 1;
    const Ws d = {ui.optERate[0], ui.optERate[1], ui.optERate[2], ui.optERate[3]};
    const Ws t = {ui.optERateT[0], ui.optERateT[1], ui.optERateT[2], ui.optERateT[3]};
    // AC max, slowest rate enabled before, rates enabled after.
    const char* cases[][3] = {{"150", "0", "1110"},
                              {"150", "1", "1111"},
                              {"100", "0", "1111"},
                              {"150.5", "0", "1100"},
                              {"abc", "0", "1111"}};
    for (auto [acMax, slow, want] : cases) {
        pe.ADMPanel_Enable(false);
        ui.optERate[3]->setEnabled(*slow == '1');
        ui.optERateT[3]->setEnabled(*slow == '1');
        ui.txtACMax->setText(acMax);
        pe.ADMPanel_Enable(true);
        EXPECT_EQ(Enabled(d) + Enabled(t), std::string(want) + want) << acMax;
    }
    pe.ADMPanel_Enable(false);
    EXPECT_EQ(Enabled(d) + Enabled(t) + Enabled({ui.fraERateT}), "000000000");
}

// A long pulse is a single one; the YUL state leaves only the demagnetizer.
TEST_F(PanelTest, PulseModeLimits) {
    ui.vslTOVPulses->setValue(5);
    ui.txtTOVTime->setText("1");
    Unlock(3);
    EXPECT_EQ(Enabled({ui.fraADM, ui.fraTOV, ui.vslTOVPulses}), "011");
    EXPECT_EQ(Colours({ui.txtTOVField, ui.txtTOVTime}), (Cs{kDCInput, kWhite}));
    EXPECT_EQ(ui.vslTOVPulses->value(), 5);
    ui.txtTOVTime->setText("1.01");
    Unlock(3);
    EXPECT_EQ(ui.lblTOVPulses->text() + QString::number(ui.vslTOVPulses->value()), "11");
    EXPECT_FALSE(ui.vslTOVPulses->isEnabled());
    ctx.instr.YULState = 2;
    Unlock(3);
    EXPECT_TRUE(ui.optZAVMode[1]->isChecked() && ctx.window->updatesEnabled());
    EXPECT_EQ(Enabled({ui.optZAVMode[1], ui.optZAVMode[2], ui.optZAVMode[3]}), "100");
    ctx.instr.YULState = 0;
    Unlock(1);
    EXPECT_TRUE(ui.optZAVMode[3]->isEnabled());
}

// Locking keeps the mode's inputs shown or hidden; unlocking never takes the
// tumbler boxes away.
TEST_F(PanelTest, LockingKeepsTheModesInputsShownOrHidden) {
    Unlock(2);
    ctx.settings.ZAVMODE = 3;
    pe.Panels_Enable(false);
    EXPECT_EQ(Shown({ui.txtACMin}) + Enabled({ui.txtDCField}), "10");
    EXPECT_EQ(BackColor(ui.txtACMax), kButtonFace);
    ctx.settings.ZAVMODE = 1;
    pe.Panels_Enable(false);
    EXPECT_EQ(Shown({ui.txtACMin, ui.lblFieldsCap[2]}), "00");
    EXPECT_EQ(
        Enabled({ui.fraZAVMode, ui.optZAVMode[2], ui.cmdStart, ui.chkTumbler, ui.cmdInitTumbler,
                 ui.txtRampTime, ui.fraTOV, ui.optMModeT[0], ui.chkAutoNextT, ui.optDMode[8]}),
        "0000000000");
    EXPECT_EQ(BackColor(ui.picEShape[1]), kButtonFace);
    ui.chkTumbler->setEnabled(true);
    ctx.instr.TumblerConnected = 0;
    Unlock(1);
    EXPECT_TRUE(ui.chkTumbler->isEnabled());
}

// The tablet's course buttons show the "on" or "off" picture; a missing
// picture leaves the button without one.
TEST_F(PanelTest, CoursePicturesSwitchOnAndOff) {
    const auto pics = tp.Dir() / "pics";
    std::filesystem::create_directories(pics);
    QImage on(8, 8, QImage::Format_RGB32), off = on;
    on.fill(Qt::red), off.fill(Qt::blue);
    for (int n = 1; n <= 3; ++n)
        for (const auto& [state, img] : {std::pair{"on", on}, std::pair{"off", off}})
            ASSERT_TRUE(
                img.save(QString("%1/EShape%2-%3.gif").arg(pics.c_str()).arg(n).arg(state), "PNG"));
    auto colourOf = [&](int n) {
        return ui.optEShapeT[n]->icon().pixmap(8, 8).toImage().pixelColor(4, 4);
    };
    ctx.settings.ZAVMODE = 1;
    pe.ADMPanel_Enable(true);
    EXPECT_EQ(colourOf(3), QColor(Qt::red));
    pe.ADMPanel_Enable(false);
    EXPECT_EQ(colourOf(1), QColor(Qt::blue));
    std::filesystem::remove(pics / "EShape2-on.gif");
    pe.ADMPanel_Enable(true);
    EXPECT_TRUE(ui.optEShapeT[2]->icon().isNull() && !ui.optEShapeT[1]->icon().isNull());
}

TEST_F(PanelTest, FieldMetersByMode) {
    const Ws meters = {ui.lblACField[0], ui.lblACField[1], ui.lblDCField[0], ui.lblDCField[1]};
    for (auto [mode, want] : {std::pair{1, "1100"}, {2, "1111"}, {3, "0011"}}) {
        ctx.settings.ZAVMODE = Int16(mode);
        pe.FieldMeters_Enable(true);
        EXPECT_EQ(Enabled(meters), want) << mode;
    }
    ui.lblACField[0]->setText("123.4 ");
    ui.lblDCField[0]->setText("55 ");
    pe.FieldMeters_Enable(false);
    EXPECT_EQ(Enabled({ui.fraFieldMeters, ui.lblDCField[1]}), "00");
    EXPECT_EQ(ui.lblACField[0]->text() + ui.lblDCField[0]->text(), "0 0 ");
}

}  // namespace
