// What the panel enables, shows and colours per mode, tumbler and lock state.
#include <gtest/gtest.h>

#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "panel/PanelEnabling.h"
#include "support/TestProgram.h"

using namespace zavo;
using Ws = std::initializer_list<QWidget*>;

static std::string Enabled(Ws ws) {
    std::string s;
    for (QWidget* w : ws) s += !w ? ' ' : w->isEnabled() ? '1' : '0';
    return s;
}

struct PanelTest : ::testing::Test {
    void Set(int mode, bool unlock) {
        ctx.settings.ZAVMODE = Int16(mode);
        pe.Panels_Enable(unlock), pe.FieldMeters_Enable(unlock);
    }
    // Enabled: mode choice, fields, pulse, demagnetizing modes, positions, tumbler and start,
    // meters | shown DC and AC min rows | ticked auto next | colours (r AC, g DC, w white,
    // - face) | pulse count label and slider | title of the fields.
    std::string Look() {
        // clang-format off
        std::string s = Enabled({ui.fraZAVMode, ui.optZAVMode[1], ui.optZAVMode[2],
            ui.optZAVMode[3], nullptr, ui.fraADM, ui.txtACMax, ui.txtDCField, ui.txtACMin,
            ui.txtRampTime, nullptr, ui.fraTOV, ui.vslTOVPulses, nullptr, ui.fraDMode,
            ui.optDMode[8], ui.optDModeT[0], nullptr, ui.optMMode[0], ui.optMModeT[12],
            ui.lblMMode, ui.cmdPrevPos, ui.cmdNextPos, ui.chkAutoNextT, nullptr, ui.chkTumbler,
            ui.chkTumblerT, ui.cmdStart, ui.cmdInitTumbler, nullptr, ui.fraFieldMeters,
            ui.lblACField[0], ui.lblACField[1], ui.lblDCField[0], ui.lblDCField[1]}) + '|';
        // clang-format on
        for (QWidget* w : Ws{ui.lblFieldsCap[2], ui.txtDCField, ui.lblFieldsCap[3], ui.txtACMin})
            s += w->isHidden() ? '0' : '1';
        s += {'|', "01"[ui.chkAutoNext->isChecked()], "01"[ui.chkAutoNextT->isChecked()], '|'};
        const VbColor colours[] = {0xC0C0FF, 0xC0FFC0, kWhite, kButtonFace};
        for (QWidget* w : Ws{ui.txtACMax, ui.txtDCField, ui.txtACMin, ui.txtRampTime,
                             ui.picEShape[2], ui.txtTOVField, ui.txtTOVTime, ui.chkAutoNextT})
            s += "rgw-?"[std::ranges::find(colours, BackColor(w)) - colours];
        s += '|' + ui.lblTOVPulses->text().toStdString() + char('0' + ui.vslTOVPulses->value());
        return s + '|' + ui.fraFields->title().toStdString();
    }
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    PanelEnabling& pe = *ctx.enabling;
};

TEST_F(PanelTest, EachModeUnlocksOnlyItsOwnControlsAndLockingKeepsWhatIsShown) {
    ctx.instr.TumblerConnected = 1, ctx.pos.MMode = 8;
    ui.txtACMax->setText("80.5"), ui.txtTOVTime->setText("1");
    ui.vslTOVPulses->setValue(5);
    ui.chkAutoNext->setChecked(true), ui.chkAutoNextT->setChecked(true);
    SetBackColor(ui.chkAutoNextT, kWhite);
    ui.lblACField[0]->setText("123 "), ui.lblDCField[0]->setText("55 ");
    // clang-format off
    struct Step { std::function<void()> before; int mode; bool unlock; const char* look; };
    const Step steps[] = {
        {{}, 1, false, "0000 00000 00 000 001000 0000 00000|0000|11|-------w|55|AC amplitude"},
        {{}, 1, true, "1111 11001 00 100 001000 1110 11100|0000|11|r--ww--w|55|AC amplitude"},
        // Without the tumbler every position control stays off, auto next cleared.
        {{}, 2, true, "1111 11111 00 000 000000 1110 11111|1111|00|rgrww---|55|AC/DC fields"},
        {[&] { ctx.pos.TumblerUsed = true; }, 1, true,
            "1111 11001 00 111 000000 1111 11100|0000|00|r--ww---|55|AC amplitude"},
        {{}, 2, true, "1111 11111 00 000 111111 1111 11111|1111|00|rgrww---|55|AC/DC fields"},
        // A single axis leaves the stepping controls as they were.
        {[&] { pe.MagPositions_Enable(false), ctx.pos.MMode = 3; }, 2, true,
            "1111 11111 00 000 111000 1111 11111|1111|00|rgrww---|55|AC/DC fields"},
        {{}, 3, true, "1111 00000 11 000 111000 1111 10011|1111|00|-----gw-|55|AC/DC fields"},
        {[&] { ui.txtTOVTime->setText("1.01"); }, 3, true,  // a long pulse is a single one
            "1111 00000 10 000 111000 1111 10011|1111|00|-----gw-|11|AC/DC fields"},
        // Locking keeps the mode's inputs shown or hidden; unlocking keeps the tumbler box.
        {{}, 3, false, "0000 00000 00 000 001000 0000 00000|1111|00|--------|11|AC/DC fields"},
        {{}, 1, false, "0000 00000 00 000 001000 0000 00000|0000|00|--------|11|AC amplitude"},
        {[&] { ui.chkTumbler->setEnabled(true), ctx.instr.TumblerConnected = 0; }, 1, true,
            "1111 11001 00 111 001000 1011 11100|0000|00|r--ww---|11|AC amplitude"}};
    // clang-format on
    for (const Step& s : steps) {
        if (s.before) s.before();
        Set(s.mode, s.unlock);
        EXPECT_EQ(Look(), s.look) << "step " << &s - steps;
    }
    EXPECT_EQ(ui.txtACMin->toolTip() + ui.lblACField[0]->text() + ui.lblDCField[0]->text(),
              "<0 - 80.5 mT>0 0 ");
}

// The YUL state leaves only the demagnetizer.
TEST_F(PanelTest, YulStateLeavesOnlyTheDemagnetizer) {
    ctx.instr.YULState = 2;
    Set(3, true);
    EXPECT_TRUE(ui.optZAVMode[1]->isChecked() && ctx.window->updatesEnabled());
    EXPECT_EQ(Look().substr(0, 4), "1100");
    ctx.instr.YULState = 0;
    Set(1, true);
    EXPECT_EQ(Look().substr(0, 4), "1111");
}

TEST_F(PanelTest, SlowRatesOnlyUpToTheirField) {
    const Ws rates = {ui.optERate[0],  ui.optERate[1],  ui.optERate[2],  ui.optERate[3],
                      ui.optERateT[0], ui.optERateT[1], ui.optERateT[2], ui.optERateT[3]};
    // clang-format off
    for (auto [acMax, slowBefore, want] : {std::tuple{"150", false, "1110"}, {"150", true, "1111"},
             {"100", false, "1111"}, {"150.5", false, "1100"}, {"abc", false, "1111"}}) {
        // clang-format on
        pe.ADMPanel_Enable(false);
        ui.optERate[3]->setEnabled(slowBefore), ui.optERateT[3]->setEnabled(slowBefore);
        ui.txtACMax->setText(acMax);
        pe.ADMPanel_Enable(true);
        EXPECT_EQ(Enabled(rates), std::string(want) + want) << acMax;
    }
    pe.ADMPanel_Enable(false);
    EXPECT_EQ(Enabled(rates) + Enabled({ui.fraERateT}), "000000000");
}

// The tablet's course buttons show the "on" or "off" picture; a missing
// picture leaves the button without one.
TEST_F(PanelTest, CoursePicturesSwitchOnAndOff) {
    for (int n = 1; n <= 3; ++n)
        for (auto [state, colour] : {std::pair{"on", Qt::red}, {"off", Qt::blue}}) {
            QImage img(8, 8, QImage::Format_RGB32);
            img.fill(colour);
            const std::string name = "EShape" + std::to_string(n) + "-" + state + ".gif";
            ASSERT_TRUE(img.save(ctx.paths.Picture(name.c_str()).c_str(), "PNG"));
        }
    std::filesystem::remove(ctx.paths.Picture("EShape2-on.gif"));
    for (auto [enable, want] : {std::pair{false, "bbb"}, {true, "r-r"}}) {
        pe.ADMPanel_Enable(enable);
        std::string shown;
        for (int n = 1; n <= 3; ++n) {
            const QImage img = ui.optEShapeT[n]->icon().pixmap(8, 8).toImage();
            shown += img.isNull() ? '-' : img.pixelColor(4, 4) == Qt::red ? 'r' : 'b';
        }
        EXPECT_EQ(shown, want);
    }
}
