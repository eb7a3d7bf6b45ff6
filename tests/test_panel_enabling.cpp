// What the panel enables, shows and colours per mode, tumbler and lock state, and the option
// groups with their tablet twins.
#include <span>

#include "panel_test.h"

using namespace zavo;
using std::tuple;
using Ws = std::initializer_list<QWidget*>;

namespace {

// One digit per control: 1 enabled (or shown).
std::string Enabled(Ws ws, bool shown = false) {
    std::string s;
    for (QWidget* w : ws) s += (shown ? !w->isHidden() : w->isEnabled()) ? '1' : '0';
    return s;
}

struct PanelTest : test::Panel {
    void Set(int mode, bool unlock) {
        s.ZAVMODE = Int16(mode);
        ctx.enabling->Panels_Enable(unlock), ctx.enabling->FieldMeters_Enable(unlock);
    }
    // The panel group by group (1 enabled; colours r AC red, g DC green, w white, - button face):
    // mode frame and buttons | fields frame, AC max, DC field and AC min (caption, box), ramp time
    // | pulse frame and slider | axes frame, three axes, tablet "not used" | desktop and tablet
    // position, label, previous, next, tablet auto next | tumbler, tablet tumbler, START,
    // INITIALIZE TUMBLER | meters frame, AC value and unit, DC value and unit | DC field and AC
    // min shown (caption, box) | auto next ticked, desktop and tablet | colours of AC max, DC
    // field, AC min, ramp time, course picture, pulse field and time, auto next | pulse count
    // label and slider | the fields frame's title.
    std::string Now() {
        std::string colours;
        const VbColor known[] = {0xC0C0FF, 0xC0FFC0, kWhite, kButtonFace};
        for (QWidget* w : Ws{ui.txtACMax, ui.txtDCField, ui.txtACMin, ui.txtRampTime,
                             ui.picEShape[2], ui.txtTOVField, ui.txtTOVTime, ui.chkAutoNextT})
            colours += "rgw-?"[std::ranges::find(known, BackColor(w)) - known];
        const std::string groups[] = {
            Enabled({ui.fraZAVMode, ui.optZAVMode[1], ui.optZAVMode[2], ui.optZAVMode[3]}),
            Enabled({ui.fraADM, ui.lblFieldsCap[1], ui.txtACMax, ui.lblFieldsCap[2], ui.txtDCField,
                     ui.lblFieldsCap[3], ui.txtACMin, ui.txtRampTime}),
            Enabled({ui.fraTOV, ui.vslTOVPulses}),
            Enabled({ui.fraDMode, ui.optDMode[8], ui.optDModeT[0]}),
            Enabled({ui.optMMode[0], ui.optMModeT[12], ui.lblMMode, ui.cmdPrevPos, ui.cmdNextPos,
                     ui.chkAutoNextT}),
            Enabled({ui.chkTumbler, ui.chkTumblerT, ui.cmdStart, ui.cmdInitTumbler}),
            Enabled({ui.fraFieldMeters, ui.lblACField[0], ui.lblACField[1], ui.lblDCField[0],
                     ui.lblDCField[1]}),
            Enabled({ui.lblFieldsCap[2], ui.txtDCField, ui.lblFieldsCap[3], ui.txtACMin}, true),
            {"01"[ui.chkAutoNext->isChecked()], "01"[ui.chkAutoNextT->isChecked()]},
            colours,
            ui.lblTOVPulses->text().toStdString() + char('0' + ui.vslTOVPulses->value()),
            ui.fraFields->title().toStdString()};
        std::string look;
        for (const std::string& g : groups) look += (look.empty() ? "" : " ") + g;
        return look;
    }
};

TEST_F(PanelTest, EachModeUnlocksOnlyItsOwnControlsAndLockingKeepsWhatIsShown) {
    ctx.instr.TumblerConnected = 1, ctx.pos.MMode = 8;
    ui.txtACMax->setText("80.5"), ui.txtTOVTime->setText("1");
    ui.vslTOVPulses->setValue(5);
    ui.chkAutoNext->setChecked(true), ui.chkAutoNextT->setChecked(true);
    SetBackColor(ui.chkAutoNextT, kWhite);
    ui.lblACField[0]->setText("123 "), ui.lblDCField[0]->setText("55 ");
    const struct {
        std::function<void()> before;
        int mode;
        bool unlock;
        const char* look;
    } steps[] = {
        // clang-format off
        //              mode fields   pulse axes posit. tumbler meters shown next colours n. title
        {{}, 1, false, "0000 00000000 00 000 001000 0000 00000 0000 11 -------w 55 AC amplitude"},
        {{}, 1, true,  "1111 11100001 00 100 001000 1110 11100 0000 11 r--ww--w 55 AC amplitude"},
        // Without the tumbler every position control stays off, auto next cleared.
        {{}, 2, true,  "1111 11111111 00 000 000000 1110 11111 1111 00 rgrww--- 55 AC/DC fields"},
        {[&] { ctx.pos.TumblerUsed = true; }, 1, true,
                       "1111 11100001 00 111 000000 1111 11100 0000 00 r--ww--- 55 AC amplitude"},
        {{}, 2, true,  "1111 11111111 00 000 111111 1111 11111 1111 00 rgrww--- 55 AC/DC fields"},
        // A single axis leaves the stepping controls as they were.
        {[&] { ctx.enabling->MagPositions_Enable(false), ctx.pos.MMode = 3; }, 2, true,
                       "1111 11111111 00 000 111000 1111 11111 1111 00 rgrww--- 55 AC/DC fields"},
        {{}, 3, true,  "1111 00000000 11 000 111000 1111 10011 1111 00 -----gw- 55 AC/DC fields"},
        {[&] { ui.txtTOVTime->setText("1.01"); }, 3, true,  // a long pulse is a single one
                       "1111 00000000 10 000 111000 1111 10011 1111 00 -----gw- 11 AC/DC fields"},
        // Locking keeps the mode's inputs shown or hidden; unlocking keeps the tumbler box.
        {{}, 3, false, "0000 00000000 00 000 001000 0000 00000 1111 00 -------- 11 AC/DC fields"},
        {{}, 1, false, "0000 00000000 00 000 001000 0000 00000 0000 00 -------- 11 AC amplitude"},
        {[&] { ui.chkTumbler->setEnabled(true), ctx.instr.TumblerConnected = 0; }, 1, true,
                       "1111 11100001 00 111 001000 1011 11100 0000 00 r--ww--- 11 AC amplitude"},
        // clang-format on
    };
    for (const auto& step : steps) {
        if (step.before) step.before();
        Set(step.mode, step.unlock);
        EXPECT_EQ(Now(), step.look) << "step " << &step - steps;
    }
    EXPECT_EQ(ui.txtACMin->toolTip() + ui.lblACField[0]->text() + ui.lblDCField[0]->text(),
              "<0 - 80.5 mT>0 0 ");
}

// The YUL unit missing leaves only the demagnetizer.
TEST_F(PanelTest, YulStateLeavesOnlyTheDemagnetizer) {
    ctx.instr.YULState = 2;
    Set(3, true);
    EXPECT_TRUE(ui.optZAVMode[1]->isChecked() && window.updatesEnabled());
    EXPECT_EQ(Now().substr(0, 4), "1100");
    ctx.instr.YULState = 0;
    Set(1, true);
    EXPECT_EQ(Now().substr(0, 4), "1111");
}

// Extra fast, Fast, Medium, Slow enabled, the same on desktop and tablet: the slower rates
// cannot reach the higher fields.
TEST_F(PanelTest, SlowRatesOnlyUpToTheirField) {
    const Ws rates = {ui.optERate[0],  ui.optERate[1],  ui.optERate[2],  ui.optERate[3],
                      ui.optERateT[0], ui.optERateT[1], ui.optERateT[2], ui.optERateT[3]};
    for (auto [acMax, slowBefore, want] : {tuple{"150", false, "1110"},
                                           {"150", true, "1111"},
                                           {"100", false, "1111"},
                                           {"150.5", false, "1100"},
                                           {"abc", false, "1111"}}) {
        ctx.enabling->ADMPanel_Enable(false);
        ui.optERate[3]->setEnabled(slowBefore), ui.optERateT[3]->setEnabled(slowBefore);
        ui.txtACMax->setText(acMax);
        ctx.enabling->ADMPanel_Enable(true);
        EXPECT_EQ(Enabled(rates), std::string(want) + want) << acMax;
    }
    ctx.enabling->ADMPanel_Enable(false);
    EXPECT_EQ(Enabled(rates) + Enabled({ui.fraERateT}), "000000000") << "the tablet frame too";
}

// The tablet's course buttons show the "on" or "off" picture; a missing one leaves none.
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
        ctx.enabling->ADMPanel_Enable(enable);
        std::string shown;
        for (int n = 1; n <= 3; ++n) {
            const QImage img = ui.optEShapeT[n]->icon().pixmap(8, 8).toImage();
            shown += img.isNull() ? '-' : img.pixelColor(4, 4) == Qt::red ? 'r' : 'b';
        }
        EXPECT_EQ(shown, want);
    }
}

// ------------------------------------------------------------------ option groups

struct OptionGroupsTest : test::Panel {
    void SetUp() override {
        s.ZAVMODE = 1, s.SOUNDMODE = true;
        ctx.options->Controls_Enable(true);
        ui.txtACMax->SetText("x");  // every validation stops here with exactly one box
    }
    // After the click the record holds the choice; only it is selected in both sets and marked.
    void Choose(OptionButton* click, std::span<OptionButton* const> desk,
                std::span<OptionButton* const> tablet, const Int16& field, int chosen) {
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

}  // namespace
