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

// What the panel looks like, group by group. Enabled states are one digit per
// control (1 enabled), in the order the comments give.
struct Look {
    std::string modeChoice;    // frame, DEMAGNETIZER, ANHYSTERETIC, PULSE
    std::string fields;        // frame, AC max, DC field, AC min, ramp time
    std::string pulse;         // frame, pulse count slider
    std::string dModes;        // frame, three axes, tablet "not used"
    std::string positions;     // desktop and tablet position, label, previous, next, tablet auto next
    std::string tumbler;       // tumbler box, tablet tumbler box, START, INITIALIZE TUMBLER
    std::string meters;        // frame, AC value and unit, DC value and unit
    std::string shown;         // DC field caption and box, AC min caption and box (1 shown)
    std::string autoNext;      // desktop and tablet box ticked
    // Back colours (r AC red, g DC green, w white, - button face) of AC max,
    // DC field, AC min, ramp time, course picture, pulse field, pulse time,
    // tablet auto next.
    std::string colours;
    std::string pulseCount;    // count label and slider value
    std::string title;         // of the fields frame

    bool operator==(const Look&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Look& l) {
    return o << "modeChoice " << l.modeChoice << ", fields " << l.fields << ", pulse " << l.pulse
             << ", dModes " << l.dModes << ", positions " << l.positions << ", tumbler "
             << l.tumbler << ", meters " << l.meters << ", shown " << l.shown << ", autoNext "
             << l.autoNext << ", colours " << l.colours << ", pulseCount " << l.pulseCount
             << ", title " << l.title;
}

struct PanelTest : ::testing::Test {
    void Set(int mode, bool unlock) {
        ctx.settings.ZAVMODE = Int16(mode);
        pe.Panels_Enable(unlock), pe.FieldMeters_Enable(unlock);
    }
    Look Now() {
        Look l;
        l.modeChoice = Enabled({ui.fraZAVMode, ui.optZAVMode[1], ui.optZAVMode[2], ui.optZAVMode[3]});
        l.fields = Enabled({ui.fraADM, ui.txtACMax, ui.txtDCField, ui.txtACMin, ui.txtRampTime});
        l.pulse = Enabled({ui.fraTOV, ui.vslTOVPulses});
        l.dModes = Enabled({ui.fraDMode, ui.optDMode[8], ui.optDModeT[0]});
        l.positions = Enabled({ui.optMMode[0], ui.optMModeT[12], ui.lblMMode, ui.cmdPrevPos,
                               ui.cmdNextPos, ui.chkAutoNextT});
        l.tumbler = Enabled({ui.chkTumbler, ui.chkTumblerT, ui.cmdStart, ui.cmdInitTumbler});
        l.meters = Enabled({ui.fraFieldMeters, ui.lblACField[0], ui.lblACField[1],
                            ui.lblDCField[0], ui.lblDCField[1]});
        for (QWidget* w : Ws{ui.lblFieldsCap[2], ui.txtDCField, ui.lblFieldsCap[3], ui.txtACMin})
            l.shown += w->isHidden() ? '0' : '1';
        l.autoNext = {"01"[ui.chkAutoNext->isChecked()], "01"[ui.chkAutoNextT->isChecked()]};
        const VbColor colours[] = {0xC0C0FF, 0xC0FFC0, kWhite, kButtonFace};
        for (QWidget* w : Ws{ui.txtACMax, ui.txtDCField, ui.txtACMin, ui.txtRampTime,
                             ui.picEShape[2], ui.txtTOVField, ui.txtTOVTime, ui.chkAutoNextT})
            l.colours += "rgw-?"[std::ranges::find(colours, BackColor(w)) - colours];
        l.pulseCount = ui.lblTOVPulses->text().toStdString() + char('0' + ui.vslTOVPulses->value());
        l.title = ui.fraFields->title().toStdString();
        return l;
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
    const Look locked{.modeChoice = "0000", .fields = "00000", .pulse = "00", .dModes = "000",
                      .positions = "001000", .tumbler = "0000", .meters = "00000",
                      .shown = "0000", .autoNext = "11", .colours = "-------w",
                      .pulseCount = "55", .title = "AC amplitude"};
    // Each step changes the look of the step before it.
    struct Step {
        std::function<void()> before;
        int mode;
        bool unlock;
        std::function<void(Look&)> change;
    };
    // clang-format off
    const Step steps[] = {
        {{}, 1, false, [](Look&) {}},
        {{}, 1, true, [](Look& l) {
            l.modeChoice = "1111", l.fields = "11001", l.dModes = "100", l.tumbler = "1110",
            l.meters = "11100", l.colours = "r--ww--w"; }},
        // Without the tumbler every position control stays off, auto next cleared.
        {{}, 2, true, [](Look& l) {
            l.fields = "11111", l.dModes = "000", l.positions = "000000", l.meters = "11111",
            l.shown = "1111", l.autoNext = "00", l.colours = "rgrww---", l.title = "AC/DC fields"; }},
        {[&] { ctx.pos.TumblerUsed = true; }, 1, true, [](Look& l) {
            l.fields = "11001", l.dModes = "111", l.tumbler = "1111", l.meters = "11100",
            l.shown = "0000", l.colours = "r--ww---", l.title = "AC amplitude"; }},
        {{}, 2, true, [](Look& l) {
            l.fields = "11111", l.dModes = "000", l.positions = "111111", l.meters = "11111",
            l.shown = "1111", l.colours = "rgrww---", l.title = "AC/DC fields"; }},
        // A single axis leaves the stepping controls as they were.
        {[&] { pe.MagPositions_Enable(false), ctx.pos.MMode = 3; }, 2, true, [](Look& l) {
            l.positions = "111000"; }},
        {{}, 3, true, [](Look& l) {
            l.fields = "00000", l.pulse = "11", l.meters = "10011", l.colours = "-----gw-"; }},
        {[&] { ui.txtTOVTime->setText("1.01"); }, 3, true, [](Look& l) {  // a long pulse is a single one
            l.pulse = "10", l.pulseCount = "11"; }},
        // Locking keeps the mode's inputs shown or hidden; unlocking keeps the tumbler box.
        {{}, 3, false, [](Look& l) {
            l.modeChoice = "0000", l.pulse = "00", l.positions = "001000", l.tumbler = "0000",
            l.meters = "00000", l.colours = "--------"; }},
        {{}, 1, false, [](Look& l) { l.shown = "0000", l.title = "AC amplitude"; }},
        {[&] { ui.chkTumbler->setEnabled(true), ctx.instr.TumblerConnected = 0; }, 1, true,
         [](Look& l) {
            l.modeChoice = "1111", l.fields = "11001", l.dModes = "111", l.tumbler = "1011",
            l.meters = "11100", l.colours = "r--ww---"; }}};
    // clang-format on
    Look want = locked;
    for (const Step& s : steps) {
        if (s.before) s.before();
        Set(s.mode, s.unlock);
        s.change(want);
        EXPECT_EQ(Now(), want) << "step " << &s - steps;
    }
    EXPECT_EQ(ui.txtACMin->toolTip() + ui.lblACField[0]->text() + ui.lblDCField[0]->text(),
              "<0 - 80.5 mT>0 0 ");
}

// The YUL state leaves only the demagnetizer.
TEST_F(PanelTest, YulStateLeavesOnlyTheDemagnetizer) {
    ctx.instr.YULState = 2;
    Set(3, true);
    EXPECT_TRUE(ui.optZAVMode[1]->isChecked() && ctx.window->updatesEnabled());
    EXPECT_EQ(Now().modeChoice, "1100");  // frame and DEMAGNETIZER only
    ctx.instr.YULState = 0;
    Set(1, true);
    EXPECT_EQ(Now().modeChoice, "1111");
}

TEST_F(PanelTest, SlowRatesOnlyUpToTheirField) {
    const Ws rates = {ui.optERate[0],  ui.optERate[1],  ui.optERate[2],  ui.optERate[3],
                      ui.optERateT[0], ui.optERateT[1], ui.optERateT[2], ui.optERateT[3]};
    // want: Extra fast, Fast, Medium, Slow enabled (1), the same on desktop and tablet.
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
    EXPECT_EQ(Enabled(rates) + Enabled({ui.fraERateT}), "000000000") << "all off, tablet frame too";
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
