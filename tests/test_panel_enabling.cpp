// What the panel enables, shows and colours; the option groups with their tablet twins.
#include <span>

#include "panel_test.h"

using namespace zavo;
using std::tuple;
using Ws = std::initializer_list<QWidget*>;

namespace {

// The enabled (or shown) members of a group: the group's name alone when all are, none: nothing.
struct Member {
    const char* name;
    QWidget* w;
};
std::string Named(const char* group, std::initializer_list<Member> ms, bool shown = false) {
    std::string on;
    size_t n = 0;
    for (const Member& m : ms)
        if (shown ? !m.w->isHidden() : m.w->isEnabled())
            on += (n++ ? " " : "") + std::string(m.name);
    if (n == 0) return "";
    return std::string(" ") + group + (n == ms.size() ? "" : "[" + on + "]");
}

std::string Enabled(Ws ws) {
    std::string s;
    for (QWidget* w : ws) s += w->isEnabled() ? '1' : '0';
    return s;
}

struct PanelTest : test::Panel {
    void Set(int mode, bool unlock) {
        s.ZAVMODE = Int16(mode);
        ctx.enabling->Panels_Enable(unlock), ctx.enabling->FieldMeters_Enable(unlock);
    }
    // What is enabled, group by group.
    std::string On() {
        // clang-format off
        const std::string on =
            Named("mode", {{"frame", ui.fraZAVMode}, {"1", ui.optZAVMode[1]},
                           {"2", ui.optZAVMode[2]}, {"3", ui.optZAVMode[3]}}) +
            Named("fields", {{"frame", ui.fraADM}, {"maxcap", ui.lblFieldsCap[1]},
                             {"max", ui.txtACMax}, {"dccap", ui.lblFieldsCap[2]},
                             {"dc", ui.txtDCField}, {"mincap", ui.lblFieldsCap[3]},
                             {"min", ui.txtACMin}, {"ramp", ui.txtRampTime}}) +
            Named("pulse", {{"frame", ui.fraTOV}, {"count", ui.vslTOVPulses}}) +
            Named("axes", {{"frame", ui.fraDMode}, {"three", ui.optDMode[8]},
                           {"tablet", ui.optDModeT[0]}}) +
            Named("position", {{"sets", ui.optMMode[0]}, {"tablet", ui.optMModeT[12]},
                               {"label", ui.lblMMode}, {"prev", ui.cmdPrevPos},
                               {"next", ui.cmdNextPos}, {"auto", ui.chkAutoNextT}}) +
            Named("run", {{"tumbler", ui.chkTumbler}, {"tumblerT", ui.chkTumblerT},
                          {"START", ui.cmdStart}, {"init", ui.cmdInitTumbler}}) +
            Named("meters", {{"frame", ui.fraFieldMeters}, {"AC", ui.lblACField[0]},
                             {"ACunit", ui.lblACField[1]}, {"DC", ui.lblDCField[0]},
                             {"DCunit", ui.lblDCField[1]}});
        // clang-format on
        return on.empty() ? "-" : on.substr(1);
    }
    // DC field and AC min shown (caption and box), auto next ticked, the boxes' colours (none:
    // button face), the pulse count (label/slider) and the fields frame's title.
    std::string Look() {
        // clang-format off
        std::string look = Named("shown", {{"dccap", ui.lblFieldsCap[2]}, {"dc", ui.txtDCField},
                                           {"mincap", ui.lblFieldsCap[3]}, {"min", ui.txtACMin}},
                                 true);
        if (ui.chkAutoNext->isChecked()) look += " ticked";
        if (ui.chkAutoNextT->isChecked()) look += " tickedT";
        const std::pair<VbColor, const char*> colours[] = {
            {0xC0C0FF, "red"}, {0xC0FFC0, "green"}, {kWhite, "white"}};
        for (auto [c, name] : colours) {
            std::string boxes;
            for (Member m : {Member{"max", ui.txtACMax}, {"dc", ui.txtDCField},
                             {"min", ui.txtACMin}, {"ramp", ui.txtRampTime},
                             {"course", ui.picEShape[2]}, {"field", ui.txtTOVField},
                             {"time", ui.txtTOVTime}, {"autoT", ui.chkAutoNextT}})
                if (BackColor(m.w) == c) boxes += std::string(boxes.empty() ? "" : ",") + m.name;
            if (!boxes.empty()) look += std::string(" ") + name + ":" + boxes;
        }
        // clang-format on
        return (look.empty() ? "-" : look.substr(1)) + " | " +
               ui.lblTOVPulses->text().toStdString() + "/" +
               std::to_string(ui.vslTOVPulses->value()) + " " + ui.fraFields->title().toStdString();
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
        const char *on, *look;  // On() and Look()
    } steps[] = {
        // clang-format off
        {{}, 1, false, "position[label]", "ticked tickedT white:autoT | 5/5 AC amplitude"},
        {{}, 1, true, "mode fields[frame maxcap max ramp] axes[frame] position[label] "
                      "run[tumbler tumblerT START] meters[frame AC ACunit]",
                      "ticked tickedT red:max white:ramp,course,autoT | 5/5 AC amplitude"},
        // Without the tumbler every position control stays off, auto next cleared.
        {{}, 2, true, "mode fields run[tumbler tumblerT START] meters",
                      "shown red:max,min green:dc white:ramp,course | 5/5 AC/DC fields"},
        {[&] { ctx.pos.TumblerUsed = true; }, 1, true,
                      "mode fields[frame maxcap max ramp] axes run meters[frame AC ACunit]",
                      "red:max white:ramp,course | 5/5 AC amplitude"},
        {{}, 2, true, "mode fields position run meters",
                      "shown red:max,min green:dc white:ramp,course | 5/5 AC/DC fields"},
        // A single axis leaves the stepping controls as they were.
        {[&] { ctx.enabling->MagPositions_Enable(false), ctx.pos.MMode = 3; }, 2, true,
                      "mode fields position[sets tablet label] run meters",
                      "shown red:max,min green:dc white:ramp,course | 5/5 AC/DC fields"},
        {{}, 3, true, "mode pulse position[sets tablet label] run meters[frame DC DCunit]",
                      "shown green:field white:time | 5/5 AC/DC fields"},
        {[&] { ui.txtTOVTime->setText("1.01"); }, 3, true,  // a long pulse is a single one
                      "mode pulse[frame] position[sets tablet label] run meters[frame DC DCunit]",
                      "shown green:field white:time | 1/1 AC/DC fields"},
        // Locking keeps the mode's inputs shown or hidden; unlocking keeps the tumbler box.
        {{}, 3, false, "position[label]", "shown | 1/1 AC/DC fields"},
        {{}, 1, false, "position[label]", "- | 1/1 AC amplitude"},
        {[&] { ui.chkTumbler->setEnabled(true), ctx.instr.TumblerConnected = 0; }, 1, true,
                      "mode fields[frame maxcap max ramp] axes position[label] "
                      "run[tumbler START init] meters[frame AC ACunit]",
                      "red:max white:ramp,course | 1/1 AC amplitude"},
        // clang-format on
    };
    for (const auto& step : steps) {
        if (step.before) step.before();
        Set(step.mode, step.unlock);
        EXPECT_EQ(On() + " | " + Look(), std::string(step.on) + " | " + step.look)
            << "step " << &step - steps;
    }
    EXPECT_EQ(ui.txtACMin->toolTip() + ui.lblACField[0]->text() + ui.lblDCField[0]->text(),
              "<0 - 80.5 mT>0 0 ");
}

// The YUL unit missing leaves only the demagnetizer.
TEST_F(PanelTest, YulStateLeavesOnlyTheDemagnetizer) {
    ctx.instr.YULState = 2;
    Set(3, true);
    EXPECT_TRUE(ui.optZAVMode[1]->isChecked() && window.updatesEnabled());
    EXPECT_EQ(On().substr(0, 14), "mode[frame 1] ");
    ctx.instr.YULState = 0;
    Set(1, true);
    EXPECT_EQ(On().substr(0, 5), "mode ");
}

// Extra fast, Fast, Medium, Slow enabled (desktop and tablet): slow rates reach no high fields.
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
