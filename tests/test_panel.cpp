// The main window on fakes: panel, limits, keypad, keys, start-up, the run's plot and journal;
// its dialogs and settings file.
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QScreen>
#include <QWindow>
#include <QtCharts>
#include <QtWidgets>
#include <clocale>
#include <csignal>
#include <fstream>
#include <span>

#include "Version.h"
#include "core/Activity.h"
#include "core/QtSound.h"
#include "core/Waits.h"
#include "core/Widgets.h"
#include "dialogs/FrmMsgBox.h"
#include "dialogs/Keypad.h"
#include "dialogs/QtDialogs.h"
#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/StatusLine.h"
#include "operations/Journal.h"
#include "operations/RunTrace.h"
#include "panel/Controls.h"
#include "panel/FieldPlot.h"
#include "panel/Limits.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "panel/SettingsFile.h"
#include "panel/Shortcuts.h"
#include "support/FakeClock.h"
#include "support/Rig.h"

using namespace zavo;
using namespace zavo::test;
using std::tuple;
namespace fs = std::filesystem;

namespace {

struct PanelProgram : Bench {
    Settings& s = ctx.settings;
    MainWindow& window = *ctx.window;

    void Unlock() { ctx.enabling->Panels_Enable(true), ctx.options->Controls_Enable(true); }
};

struct Panel : ::testing::Test, PanelProgram {};

struct DecimalComma {  // the test's locale writes "2,5"
    DecimalComma() : old(std::setlocale(LC_ALL, nullptr)) {
        std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "de_DE");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    ~DecimalComma() { QLocale::setDefault(QLocale::c()), std::setlocale(LC_ALL, old.c_str()); }
    std::string old;
};

// ===== What the panel enables, shows and colours; the option groups with their tablet twins.

using Ws = std::initializer_list<QWidget*>;

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

struct PanelTest : Panel {
    void Set(int mode, bool unlock) {
        s.ZAVMODE = Int16(mode);
        ctx.enabling->Panels_Enable(unlock), ctx.enabling->FieldMeters_Enable(unlock);
    }
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
    // DC field and AC min shown, ticks, boxes' colours (none: button face), pulse count, title.
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
    ui.txtACMax->setText("80.5"), ui.txtTOVTime->setText("1"), ui.vslTOVPulses->setValue(5);
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
        // From the pulses back to AC/DC, the AC max caption with its box.
        {{}, 3, true, "mode pulse[frame] position[sets tablet label] run[tumbler START init] "
                      "meters[frame DC DCunit]", "green:field white:time | 1/1 AC amplitude"},
        {{}, 2, true, "mode fields position[sets tablet label] run[tumbler START init] meters",
                      "shown red:max,min green:dc white:ramp,course | 1/1 AC/DC fields"},
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

TEST_F(PanelTest, YulStateLeavesOnlyTheDemagnetizer) {
    ctx.instr.YULState = 2, Set(3, true);
    EXPECT_TRUE(ui.optZAVMode[1]->isChecked() && window.updatesEnabled());
    EXPECT_EQ(On().substr(0, 14), "mode[frame 1] ");
    ctx.instr.YULState = 0, Set(1, true);
    EXPECT_EQ(On().substr(0, 5), "mode ");
}

// Extra fast, Fast, Medium, Slow enabled (desktop and tablet): slow rates reach no high fields.
TEST_F(PanelTest, SlowRatesOnlyUpToTheirField) {
    const Ws rates = {ui.optERate[0],  ui.optERate[1],  ui.optERate[2],  ui.optERate[3],
                      ui.optERateT[0], ui.optERateT[1], ui.optERateT[2], ui.optERateT[3]};
    const tuple<const char*, bool, const char*> cases[] = {{"150", false, "1110"},
                                                           {"150", true, "1111"},
                                                           {"100", false, "1111"},
                                                           {"150.5", false, "1100"},
                                                           {"abc", false, "1111"}};
    for (auto [acMax, slowBefore, want] : cases) {
        ctx.enabling->ADMPanel_Enable(false);
        ui.optERate[3]->setEnabled(slowBefore), ui.optERateT[3]->setEnabled(slowBefore);
        ui.txtACMax->setText(acMax), ctx.enabling->ADMPanel_Enable(true);
        EXPECT_EQ(Enabled(rates), std::string(want) + want) << acMax;
    }
    ctx.enabling->ADMPanel_Enable(false);
    EXPECT_EQ(Enabled(rates) + Enabled({ui.fraERateT}), "000000000") << "the tablet frame too";
}

struct OptionGroupsTest : Panel {
    void SetUp() override {
        s.ZAVMODE = 1, s.SOUNDMODE = true, ctx.options->Controls_Enable(true);
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
    EXPECT_EQ(tuple(s == before, tp.dialogs.boxes.size(), tp.sound.played.size()),
              tuple(true, 5u, 2u));
    EXPECT_TRUE(BackColor(ui.optERateT[3]) == kCyan && BackColor(ui.optERateT[0]) == kButtonFace);
    EXPECT_FALSE(ui.optEShape[1]->isChecked() && ui.optEShapeT[1]->isChecked());
    s.ZAVMODE = 3, ctx.options->Controls_Enable(true);  // no rate in the pulse mode
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

// ===== The tablet keypad: entries against each box's limit, and the keyboard path.

struct KeypadTest : Panel {
    void SetUp() override {
        window.Form_Load();
        s.TOUCHMODE = s.SOUNDMODE = true, s.ZAVMODE = 1, s.DMGER = 2, s.DMGFD = 37;
        window.Layout_Apply(true), ctx.limits->Limits_Set(), window.show(), Unlock();
    }
    std::unique_ptr<Keypad> Open(TextBox* box) {
        auto kb = std::make_unique<Keypad>(ctx, &window, box,
                                           [this, box] { return ctx.limits->Keypad_Limit(box); });
        kb->Form_Activate(), kb->show();
        return kb;
    }
    // Touches keys, each pressed and released: "1 8 0 OK", "Clear", ".".
    static void Touch(Keypad& kb, const QString& keys) {
        for (const QString& k : keys.split(' ')) {
            QPushButton* b = k == "Clear" ? kb.cmdDelete
                             : k == "OK"  ? kb.cmdEnter
                                          : kb.cmdKey[k == "." ? 10 : k.toInt()];
            emit b->pressed(), emit b->released();
        }
    }
    // The sounds played since the last call: s the click, e the rejection.
    std::string Sounds() {
        std::string s;
        for (const std::string& wav : std::exchange(tp.sound.played, {})) s += wav[0];
        return s;
    }
};

TEST_F(KeypadTest, EntriesAgainstTheRateLimit) {
    const struct {
        const char *keys, *text;  // the box's text afterwards
        bool open, rejected;
        const char* sounds;
    } cases[] = {{"1 2 3 4", "123", true, false, "ssss"},  // three characters at most
                 {"OK", "37", false, false, ""},           // nothing typed: unchanged
                 {"1 8 0 OK", "180", true, true, "ssse"},
                 {"1 8 0 OK 1 5 0 OK", "150", false, false, "sssessss"},  // a new entry after OK
                 {"5 Clear", "0", true, false, "ss"},
                 {".", ".", true, false, "s"},
                 {". OK", "0", false, false, "ss"},
                 {"0 5 OK", "5", false, false, "sss"},
                 {"5 . . OK", "5", false, false, "ssss"}};  // a second point ends the number
    for (const auto& c : cases) {
        ui.txtACMax->SetText("37"), Sounds();
        auto kb = Open(ui.txtACMax);
        Touch(*kb, c.keys);
        EXPECT_EQ(tuple(ui.txtACMax->text(), kb->isVisible(), kb->picFocus->text(),
                        ForeColor(kb->picFocus), Sounds()),
                  tuple(c.text, c.open,
                        QString(c.rejected ? "Out of limits: " : "Limits: ") + "<0 - 150 mT>",
                        c.rejected ? kRed : kWhite, std::string(c.sounds)))
            << c.keys;
    }
    s.DMGER = 3, s.SOUNDMODE = false;  // the slow rate's limit; no sounds when they are off
    auto kb = Open(ui.txtACMax);
    EXPECT_TRUE((Touch(*kb, "1 0 1 OK"), kb->isVisible()) && Sounds().empty());
    EXPECT_FALSE((Touch(*kb, "1 0 0 OK"), kb->isVisible()));
}

// A touched box is framed; the limit is the one at OK (a high AC max selects a faster rate).
TEST_F(KeypadTest, BoxTouchOpensTheKeypadWithTheLimitInForce) {
    ctx.run.InstrReady = true;
    bool framed = false;
    tp.clock.After(0.1, [&] {
        auto* kb = qobject_cast<Keypad*>(QApplication::activeModalWidget());
        ASSERT_TRUE(kb);
        framed = ui.lblACMaxBlack->isVisible(), Touch(*kb, "1 8 0 OK");
    });
    tp.clock.After(5, [&] {  // rejected: leave with 0 rather than hang
        if (auto* kb = qobject_cast<Keypad*>(QApplication::activeModalWidget()))
            ADD_FAILURE() << "still open", Touch(*kb, "Clear OK");
    });
    emit ui.txtACMax->Click();
    EXPECT_EQ(tuple(framed, ui.lblACMaxBlack->isVisible(), ui.txtACMax->text(), s.DMGER),
              tuple(true, false, "180", 1));
    EXPECT_TRUE(ui.picFocus->hasFocus() || !window.isActiveWindow());
}

// ===== The parameter boxes: what each accepts per mode and rate, what reaches the record, when.

constexpr const char* kNumeric = "Only numeric input is allowed.";
constexpr const char* kRamp = "Ramp time must be in range:";

struct LimitsTest : Panel {
    Limits& lim = *ctx.limits;
    OptionGroups& og = *ctx.options;

    void SetUp() override { og.Controls_Enable(true), s.ZAVMODE = 1; }
    const AskedBox& Last() const { return tp.dialogs.boxes.back(); }
    size_t Boxes() const { return tp.dialogs.boxes.size(); }
    using Texts = std::initializer_list<std::pair<TextBox*, const char*>>;
    void Type(Texts texts) {
        for (auto [box, text] : texts) box->SetText(text);
    }
    // Types, then validates the panel: passes silently, or shows exactly the one message.
    void Validate(Texts texts, const char* head = nullptr, const char* range = nullptr) {
        Type(texts);
        const size_t n = Boxes();
        EXPECT_EQ(lim.Input_Validate(), head == nullptr);
        ASSERT_EQ(Boxes(), n + (head ? 1 : 0));
        EXPECT_TRUE(!head || Last().prompt == (range ? QString(head) + "\r\n\r\n" + range : head))
            << Last().prompt.toStdString();
    }
    bool Check(const char* text) {
        return ui.txtRampTime->SetText(text), lim.Input_Check(ui.txtRampTime, kRamp, "s", 0, 30);
    }
    bool Leave(TextBox* box, bool cancel = false) { return emit box->Validate(cancel), cancel; }
    void Fill() { og.Controls_Enable(false), lim.Limits_Set(), og.Controls_Enable(true); }
};

TEST_F(LimitsTest, BoxAndPanelChecksWithADecimalComma) {
    const DecimalComma german;
    EXPECT_EQ(Limits::Text_Value("  12.75 mT"), 12.75);
    for (const char* text : {"abc", "", "2,5", "1e3", "12abc", ".", "- 5", "31"}) {
        EXPECT_FALSE(Check(text));
        const auto& b = Last();
        EXPECT_EQ(tuple(b.prompt, b.style, b.title, b.timeout, b.captions,
                        ui.txtRampTime->selectedText()),
                  tuple(*text == '3' ? QString(kRamp) + "\r\n\r\n<0 - 30 s>" : kNumeric, 48,
                        "Incorrect input", 0, QStringList{"&Retry"}, text));
    }
    for (const char* text : {"30", "0", " 7 ", "-0", "+12", "29.9", ".5", "5."})
        EXPECT_TRUE(Check(text) && Boxes() == 8) << text;
    s.DMGER = 3, s.DMGFD = 10, Validate({{ui.txtRampTime, "7"}, {ui.txtACMax, "100"}});
    EXPECT_EQ(tuple(s.DMGFD, s.DMGET), tuple(100, 7));
    Validate({{ui.txtACMax, "101"}, {ui.txtRampTime, "8"}},
             "AC field must be in range:", "<0 - 100 mT>");
    EXPECT_EQ(tuple(s.DMGFD, s.DMGET), tuple(100, 7));  // checking stops at the first failure
    s.DMGER = 1;
    for (const char* big : {"32768", "-40000", "1000000000000000000000000000000"}) {
        Validate({{ui.txtACMax, "199.6"}, {ui.txtRampTime, big}}, kRamp, "<0 - 30 s>");
        EXPECT_TRUE(Leave(ui.txtRampTime));
    }
    EXPECT_EQ(tuple(s.DMGFD, s.DMGET), tuple(200, 7));
    s.ZAVMODE = 2, s.REKER = 1, s.REKFD = 150, s.REKFA = 120;
    Type({{ui.txtACMax, "100"}, {ui.txtACMin, "120"}, {ui.txtDCField, "300"}});
    Validate({{ui.txtRampTime, "5"}});
    EXPECT_EQ(tuple(s.REKFA, s.REKFD, s.REKFM, ui.txtACMin->text(), ui.txtACMin->toolTip()),
              tuple(0, 100, 300, "0", "<0 - 100 mT>"));  // an AC max below the AC min resets it
    Validate({{ui.txtACMin, "100"}});
    Validate({{ui.txtACMin, "101"}}, "AC min must be in range:", "<0 - 100 mT>");
    Validate({{ui.txtACMax, "140"}, {ui.txtACMin, "abc"}}, kNumeric);  // a non-number is never 0
    EXPECT_EQ(tuple(s.REKFA, s.REKFD), tuple(100, 100));
    Validate({{ui.txtACMin, "140"}});
    EXPECT_EQ(tuple(s.REKFA, s.REKFD), tuple(140, 140));
    Validate({{ui.txtACMax, "x"}}, kNumeric);  // leaves the AC min alone
    EXPECT_EQ(ui.txtACMin->text(), "140");
    s.ZAVMODE = 3;  // pulse time: tenths of a second, ties to even, shown back as stored
    const tuple<const char*, int, const char*> tov[] = {
        {"10", 99, "10"},   {"9.9", 99, "10"}, {"0.05", 0, "0"},   {"0.25", 2, "0.2"},
        {"0.35", 4, "0.4"}, {"0", 0, "0"},     {"1.5", 15, "1.5"}, {"9.8", 98, "9.8"}};
    for (auto [text, code, shown] : tov) {
        Validate({{ui.txtTOVField, "20"}, {ui.txtTOVTime, text}}), Fill();
        EXPECT_EQ(tuple(s.TOVET, s.TOVFP, ui.txtTOVTime->text()), tuple(code, 20, shown)) << text;
    }
    Validate({{ui.txtTOVTime, "10.1"}}, "Pulse time must be in range:", "<0 - 10 s>");
    Validate({{ui.txtTOVField, "21"}}, "Field intensity must be in range:", "<0 - 20 mT>");
    s.TOVNUM = 5, ui.txtTOVTime->SetText("1.0");  // a long pulse is a single one
    EXPECT_TRUE(ui.vslTOVPulses->isEnabled());
    ui.txtTOVTime->SetText("1.1");
    EXPECT_FALSE(ui.vslTOVPulses->isEnabled() || ui.cmdTOVPlus->isEnabled());
    EXPECT_EQ(tuple(s.TOVNUM, ui.lblTOVPulses->text(), ui.vslTOVPulses->value()), tuple(1, "1", 1));
}

TEST_F(LimitsTest, TypingLockedAndUnlocked) {
    s.DMGER = 3, s.DMGFD = 50, s.DMGET = 5, ctx.run.InstrReady = true, Fill();
    Type({{ui.txtACMax, "50"}, {ui.txtRampTime, "7"}}), og.Controls_Enable(false);
    const Settings before = s;
    ui.txtACMax->SetText("180");
    emit ui.txtRampTime->Click(), ui.txtRampTime->GotFocus(), ui.txtACMax->LostFocus();
    EXPECT_FALSE(lim.Input_Validate() || Leave(ui.txtRampTime));
    EXPECT_TRUE(s == before && ui.optERate[3]->isEnabled() && Boxes() == 0);
    og.Controls_Enable(true);
    for (auto [text, rate, tip] : {tuple{"120", 2, "<0 - 150 mT>"}, {"160", 1, "<0 - 200 mT>"}}) {
        ui.txtACMax->SetText(text);
        EXPECT_TRUE(s.DMGER == rate && ui.optERate[rate]->isChecked());
        EXPECT_FALSE(ui.optERate[rate + 1]->isEnabled() || ui.optERateT[3]->isEnabled());
        EXPECT_EQ(ui.txtACMax->toolTip(), tip);
    }
    EXPECT_TRUE((ui.txtACMax->SetText("90"), ui.optERate[3]->isEnabled()));
    EXPECT_EQ(tuple(s.DMGER, Boxes(), Tag(ui.cmdStart)), tuple(1, 0u, "1"));
    s.ZAVMODE = 2, s.REKER = 3, ui.txtACMax->SetText("170");  // the anhysteretic rate is its own
    EXPECT_EQ(tuple(s.REKER, s.DMGER), tuple(1, 1));
    ctx.run.InstrReady = false, s.REKER = 3, ui.txtACMax->SetText("180");
    EXPECT_EQ(tuple(s.REKER, ui.txtACMin->toolTip()), tuple(3, "<0 - 180 mT>"));
}

// Leaving a box stores only a value that passed; entering one checks and stores the whole panel.
TEST_F(LimitsTest, EnteringAndLeavingBoxes) {
    s.ZAVMODE = 2, s.REKET = 5;
    Type({{ui.txtACMax, "40"}, {ui.txtRampTime, "31"}, {ui.txtACMin, "41"}});
    EXPECT_TRUE(Leave(ui.txtRampTime) && Leave(ui.txtACMin));
    EXPECT_EQ(tuple(s.REKET, Last().prompt),
              tuple(5, "AC min must be in range:\r\n\r\n<0 - 40 mT>"));
    EXPECT_TRUE((ui.txtACMin->SetText("40"), !Leave(ui.txtACMin)) && s.REKFA == 40);
    s.ZAVMODE = 1, s.DMGFD = 0, ui.txtRampTime->SetText("5"), emit ui.txtACMin->GotFocus();
    EXPECT_EQ(s.DMGFD, 40);
    ui.txtACMax->SetText("80.5"), emit ui.txtACMax->LostFocus();
    EXPECT_EQ(ui.txtACMin->toolTip(), "<0 - 80.5 mT>");
    // Focus coming back with the window is no entering (it would ask again and again); a click is.
    ui.owner->window()->show(), QApplication::processEvents();
    Type({{ui.txtACMax, "40"}, {ui.txtRampTime, "45"}});
    QFocusEvent back(QEvent::FocusIn, Qt::ActiveWindowFocusReason),
        away(QEvent::FocusOut, Qt::ActiveWindowFocusReason),
        enter(QEvent::FocusIn, Qt::MouseFocusReason);
    EXPECT_EQ((QApplication::sendEvent(ui.txtRampTime, &back), Boxes()), 2u);
    EXPECT_EQ((QApplication::sendEvent(ui.txtRampTime, &away), Boxes()), 2u);  // to a box: stays
    EXPECT_EQ((QApplication::sendEvent(ui.txtRampTime, &enter), Boxes()), 3u);
    og.Focus_Sink(), Validate({}, kRamp, "<0 - 30 s>");
    EXPECT_EQ(QApplication::focusWidget(), ui.txtRampTime);
}

TEST_F(LimitsTest, FillThePanelPerMode) {
    s.DMGFD = 120, s.DMGER = 2, s.DMGES = 3, s.DMODE = 4, s.TOVDIR = 2, s.TOVNUM = 6;
    ctx.pos.TumblerUsed = true, Fill();
    EXPECT_EQ(tuple(ui.txtACMax->text(), ui.txtACMax->toolTip()), tuple("120", "<0 - 150 mT>"));
    EXPECT_TRUE(ui.optZAVMode[1]->isChecked() && ui.fraTOV->isHidden() &&
                ui.optERateT[2]->isChecked() && ui.optEShape[3]->isChecked() &&
                ui.optDModeT[4]->isChecked());
    s.ZAVMODE = 3, Fill();
    EXPECT_TRUE(ui.fraADM->isHidden() && ui.optTOVDirT[2]->isChecked() &&
                ui.vslTOVPulses->value() == 6);
    s.DMGER = -1, s.DMGES = 9, s.DMODE = 40, s.TOVDIR = 0;  // a hand-edited file breaks nothing
    for (Int16 mode : {3, 1}) s.ZAVMODE = mode, Fill();
}

// ===== Start-up of the main window: settings, daily logs, service password.

const QString kDesktop = QString::asprintf("ZAVO - ver. %d.%d.%d  [Desktop Mode]", kVersionMajor,
                                           kVersionMinor, kVersionRevision);

struct StartupTest : Panel {
    bool Logged(const std::string& name) const { return fs::exists(tp.Dir() / "mon" / name); }
};

TEST_F(StartupTest, WithoutSettingsFileDefaultsAreWritten) {
    fs::remove_all(tp.Dir() / "mon"), window.Form_Load();  // a missing log folder is created
    EXPECT_TRUE(fs::exists(tp.Dir() / "ZAVO.sav") && Logged("06-12-2026.mon") && ctx.log->IsOpen());
    EXPECT_TRUE(tp.dialogs.inputs.empty() && ui.fraSERVMODE->isHidden() && s.ZAVMODE == 1 &&
                ui.optZAVMode[1]->isChecked() && ui.fraERateT->isHidden() &&
                window.windowTitle() == kDesktop);
    EXPECT_FALSE(ui.cmdStart->isEnabled() || ui.fraZAVMode->isEnabled());  // until initialized
    // At the top of the free area, centred; the mode buttons side by side.
    window.show(), QApplication::processEvents();
    const QRect free = window.screen()->availableGeometry(), at = window.frameGeometry();
    EXPECT_TRUE(std::abs(at.center().x() - free.center().x()) <= 5 && at.y() == free.y());
    EXPECT_TRUE(ui.optZAVMode[1]->geometry().right() < ui.optZAVMode[2]->x() &&
                ui.optZAVMode[2]->geometry().right() < ui.optZAVMode[3]->x());
    const auto first = (window.timLEDBlink_Timer(), ui.picStat[0]->Back());  // the lamp blinks
    EXPECT_EQ(tuple(first, (window.timLEDBlink_Timer(), ui.picStat[0]->Back()), Tag(ui.cmdStart)),
              tuple(kGrey, kLightOrange, "0"));
    // INITIALIZE unlocks the panel (a simulated instrument with a recent frequency).
    s.SIMULMODE = true, s.FREQDATE = tp.clock.Today(), ui.cmdInit->click();
    EXPECT_TRUE(ui.cmdStart->isEnabled() && ui.txtACMax->isEnabled() && Tag(ui.cmdStart) == "1");
}

// Only the exact password turns the service mode on; the pulses start as a single "+" one.
TEST(Startup, ServicePasswordSimulationAndTabletMarks) {
    for (const QString answer : {"Tolku48e", "tolku48e", "", "Tolku48e "}) {
        SCOPED_TRACE(answer.toStdString());
        PanelProgram p;
        ASSERT_TRUE(Settings_Save(
            p.tp.Dir() / "ZAVO.sav",
            {.TOVDIR = 2, .TOVNUM = 5, .SERVMODE = true, .SIMULMODE = true, .TOUCHMODE = true}));
        p.tp.dialogs.inputAnswers = {answer}, p.window.Form_Load();
        const bool on = answer == "Tolku48e";
        EXPECT_EQ(p.window.windowTitle(), QString(kDesktop).replace("Desktop", "Tablet") +
                                              (on ? " - Service Mode" : "") + " - SIMULMODE!");
        EXPECT_EQ(p.tp.dialogs.inputs, std::vector<QString>{"Enter Service Mode Password."});
        EXPECT_EQ(tuple(p.s.SERVMODE, p.ui.fraSERVMODE->isHidden(), p.tp.dialogs.boxes.size(),
                        p.s.TOVNUM, p.s.TOVDIR, p.ctx.instr.MagMode),
                  tuple(on, !on, 0u, 1, 1, 2));
        EXPECT_TRUE(!p.ui.cmdTOVMinus->isHidden() && p.ui.vslTOVPulses->isHidden());
    }
}

// Logs older than ten days go by the date in their name; an unopenable log is said, not fatal.
TEST_F(StartupTest, OldLogsAreDeletedByTheDateInTheirName) {
    const std::pair<const char*, bool> kept[] = {
        {"25-11-2026.mon", false}, {"26-11-2026.mon", true},  {"no digits.mon", false},
        {"25-11-2026.txt", true},  {"01-01-2025.MON", false}, {"20-11-2026.mon", false}};
    for (auto [f, keep] : kept) std::ofstream(tp.Dir() / "mon" / f) << "x\r\n";
    fs::permissions(tp.Dir() / "mon" / "20-11-2026.mon", fs::perms::owner_read);
    fs::create_directory(tp.Dir() / "mon" / "01-01-2020.mon");  // a folder, not a log
    window.Form_Load();
    for (auto [f, keep] : kept) EXPECT_EQ(Logged(f), keep) << f;
    EXPECT_TRUE(Logged("01-01-2020.mon") && Logged("06-12-2026.mon") && ctx.log->IsOpen());

    TestProgram bad;
    Ctx& b = bad.ctx();
    fs::remove_all(bad.Dir() / "mon"), std::ofstream(bad.Dir() / "mon") << "a file, no folder";
    b.window->Form_Load();
    EXPECT_TRUE(!b.log->IsOpen() && bad.ended == 0);
    // The path as is, with the system's reason, told again with the idle text until a log opens.
    const QString why = "LOG FILE CANNOT BE OPENED: " +
                        QString::fromStdString((bad.Dir() / "mon" / "06-12-2026.mon").string()) +
                        " (Not a directory)";
    EXPECT_EQ(b.ui->picStat[1]->Text().trimmed(), why);
    b.status->Status_Show(true);
    EXPECT_EQ(b.ui->picStat[1]->Text().trimmed(), "INSTRUMENT IS READY  -  " + why);
    fs::remove(bad.Dir() / "mon"), fs::create_directory(bad.Dir() / "mon"), b.window->Log_Open();
    b.status->Status_Show(false);
    EXPECT_EQ(b.ui->picStat[1]->Text().trimmed(), "INSTRUMENT IS NOT INITIALIZED");
}

// ===== The main window's shortcuts, keys sent to the window as the platform sends them.

using Calls = std::vector<std::string>;

struct ShortcutsTest : Panel {
    Calls calls;  // the actions taken, each of which has tests of its own

    void SetUp() override {
        tp.port.Open(1), window.Form_Load();
        s.SERVMODE = true, ui.fraSERVMODE->show(), window.show(), window.activateWindow();
        Unlock(), ctx.status->Status_Show(true);
        Shortcuts::Actions& a = ctx.keys->actions;
        for (auto [action, name] : {std::pair{&a.Run_Start, "Run_Start"},
                                    {&a.Run_Abort, "Run_Abort"},
                                    {&a.Instrument_Init, "Init"},
                                    {&a.Tumbler_Init, "Tumbler_Init"}})
            *action = [this, name = name] { calls.push_back(name); };
    }
    void Key(int key, const QString& text = {}, Qt::KeyboardModifiers mods = {},
             bool repeat = false) {
        QKeyEvent e(QEvent::KeyPress, key, mods, text, repeat);
        QApplication::sendEvent(window.windowHandle(), &e);
    }
    Calls Taken() { return std::exchange(calls, {}); }
};

TEST_F(ShortcutsTest, EachKeyActsOnlyWhileItsButtonIsEnabledWhateverTheModifiers) {
    const struct {
        int key;
        QWidget* gate;
        const char* call;
    } keys[] = {
        {Qt::Key_Return, ui.cmdStart, "Run_Start"}, {Qt::Key_Enter, ui.cmdStart, "Run_Start"},
        {Qt::Key_Escape, ui.cmdStop, "Run_Abort"},  {Qt::Key_Space, ui.cmdStop, "Run_Abort"},
        {Qt::Key_Insert, ui.cmdInit, "Init"},       {Qt::Key_I, ui.cmdInitTumbler, "Tumbler_Init"}};
    ui.picFocus->setFocus();
    for (const auto& k : keys)
        for (bool enabled : {true, false})
            for (auto mods : {Qt::NoModifier, Qt::ShiftModifier}) {
                k.gate->setEnabled(enabled), Key(k.key, {}, mods);
                EXPECT_EQ(Taken(), enabled ? Calls{k.call} : Calls{})
                    << k.call << " enabled " << enabled << " mods " << mods;
            }
    // Page keys step the position whatever PREV and NEXT say (B-mode: 7 9 11 13 15 17).
    ctx.pos = {.MMode = 9, .MIndex = 1, .MIndexMax = 6, .MPos = 7, .TumblerUsed = true};
    ui.cmdPrevPos->setEnabled(false), ui.cmdNextPos->setEnabled(false);
    Key(Qt::Key_PageDown), Key(Qt::Key_PageDown, {}, Qt::ShiftModifier, true);
    EXPECT_EQ(tuple(ctx.pos.MIndex, ctx.pos.MPos, ui.lblMMode->text()), tuple(3, 11, "B3"));
    Key(Qt::Key_PageUp), Key(Qt::Key_PageUp), Key(Qt::Key_PageUp);
    EXPECT_EQ(tuple(ctx.pos.MIndex, ctx.pos.MPos), tuple(6, 17));
}

// A key acts once, never also as a button press; inside another operation's wait only Esc acts.
TEST_F(ShortcutsTest, OneKeyOneAction) {
    int clicks = 0;
    for (QPushButton* b : {ui.cmdStart, ui.cmdStop})
        QObject::connect(b, &QPushButton::clicked, [&] { ++clicks; });
    ASSERT_TRUE(ui.cmdStart->isDefault());
    ui.cmdStart->setFocus();
    Key(Qt::Key_Return), Key(Qt::Key_Return, {}, {}, true), Key(Qt::Key_Return, {}, {}, true);
    ui.cmdStop->setEnabled(true), ui.cmdStop->setFocus(), Key(Qt::Key_Space, " ");
    EXPECT_EQ(tuple(Taken(), clicks), tuple(Calls{"Run_Start", "Run_Abort"}, 0));
    Activity::Scope busy(*ctx.activity);
    tp.clock.After(0.05, [&] { Key(Qt::Key_Return), Key(Qt::Key_Insert), Key(Qt::Key_Escape); });
    Wait_Seconds(tp.clock, 0.1);
    EXPECT_EQ(Taken(), Calls{"Run_Abort"});
}

// A mode key does nothing where its button is disabled or the panel locked.
TEST_F(ShortcutsTest, FunctionKeysSwitchModesWhereTheButtonsAllow) {
    ui.optZAVMode[2]->setEnabled(false), Key(Qt::Key_F2, {}, Qt::ShiftModifier);
    ctx.options->Controls_Enable(false), Key(Qt::Key_F3);
    EXPECT_TRUE(s.ZAVMODE == 1 && ui.optZAVMode[1]->isChecked());
    ctx.options->Controls_Enable(true), Key(Qt::Key_F3);
    EXPECT_TRUE(s.ZAVMODE == 3 && ui.optZAVMode[3]->isChecked());
}

// In the terminal only Esc acts; in a parameter box typing keys type, Enter still starts.
TEST_F(ShortcutsTest, TextEntriesKeepTheirKeys) {
    ui.cmdStop->setEnabled(true), ui.cmdInitTumbler->setEnabled(true);
    ctx.pos = {.MMode = 9, .MIndex = 1, .MIndexMax = 6, .MPos = 7, .TumblerUsed = true};
    ui.txtTerm->setFocus(), tp.port.writes.clear();
    Key(Qt::Key_1, "1"), Key(Qt::Key_Return, "\r"), Key(Qt::Key_Space, " "), Key(Qt::Key_I, "i");
    Key(Qt::Key_PageDown), Key(Qt::Key_F2);
    EXPECT_EQ(tp.port.Written(), "1\r i");
    ui.txtTumbler->setFocus(), Key(Qt::Key_Return, "\r");  // the tumbler's command box too
    EXPECT_TRUE(Taken().empty() && ctx.pos.MIndex == 1 && s.ZAVMODE == 1);
    Key(Qt::Key_Escape);
    EXPECT_EQ(Taken(), Calls{"Run_Abort"});

    ui.txtACMax->setFocus(), ui.txtACMax->setText("1");
    Key(Qt::Key_I, "i"), Key(Qt::Key_Space, " "), Key(Qt::Key_Return, "\r");
    EXPECT_EQ(tuple(ui.txtACMax->text(), Taken()), tuple(QString("1i "), Calls{"Run_Start"}));
}

// Tab from the pulse time reaches the count's bar while enabled; Up is more, a digit (0: ten) sets.
TEST_F(ShortcutsTest, PulseCountScrollBarTakesTabAndKeys) {
    // The count after each key, as the label shows it and the record holds it.
    const auto keys = [&](std::initializer_list<Qt::Key> ks) {
        std::string after;
        for (Qt::Key k : ks) {
            Key(k, k >= Qt::Key_0 && k <= Qt::Key_9 ? QString(QChar(k)) : QString());
            after += " " + ui.lblTOVPulses->text().toStdString() + "/" + std::to_string(s.TOVNUM);
        }
        return after;
    };
    Key(Qt::Key_F3), ui.txtTOVTime->setFocus();
    EXPECT_EQ((keys({Qt::Key_Tab}), QApplication::focusWidget()), ui.vslTOVPulses);
    EXPECT_EQ(keys({Qt::Key_Up, Qt::Key_Down, Qt::Key_7, Qt::Key_0, Qt::Key_Up, Qt::Key_Home,
                    Qt::Key_End}),
              " 2/2 1/1 7/7 10/10 10/10 1/1 10/10");
    ui.txtTOVTime->setFocus(), ui.txtTOVTime->setText("1.5");  // a long pulse is a single one
    EXPECT_NE((keys({Qt::Key_Tab}), QApplication::focusWidget()), ui.vslTOVPulses);
    EXPECT_EQ(keys({Qt::Key_Up}), " 1/1");
}

// ===== The live field plot and the treatment journal, fed as a run feeds them.

using Kind = FieldPlot::Kind;
using Outcome = RunTrace::Outcome;
using Points = QList<QPointF>;
using Bytes = std::vector<std::pair<double, std::string>>;  // seconds after "G", text

Points Ms(Points points) {  // rounded to the millisecond
    for (QPointF& p : points) p.setX(std::round(p.x() * 1000) / 1000);
    return points;
}

struct LocalZone {  // the test's local time zone
    explicit LocalZone(const char* zone) : old(getenv("TZ") ? getenv("TZ") : "") {
        setenv("TZ", zone, 1), tzset();
    }
    ~LocalZone() { old.empty() ? unsetenv("TZ") : setenv("TZ", old.c_str(), 1), tzset(); }
    std::string old;
};

QString Column(const QStringList& row, const char* name) {
    return row.value(Journal::Columns().indexOf(name));
}

struct Trace : Panel {
    RunTrace& trace = *ctx.trace;
    FieldPlot& plot = *trace.Plot();
    QChart& chart = *plot.Chart();

    // The replies come from each test, not from the fake unit.
    void SetUp() override { ASSERT_TRUE((tp.port.responder = {}, tp.port.Open(1))); }
    // One "G" whose reply brings each text at its time, then `last` at `end`.
    void Execute(const Bytes& bytes, double end, const std::string& last = "End of Ramp \r\n") {
        tp.clock.Advance(0.5);  // the run's settle time: the line is quiet before "G"
        for (const auto& [at, text] : bytes)
            tp.clock.After(at, [this, text = text] { tp.port.Deliver(text); });
        tp.clock.After(end, [this, last] { tp.port.Deliver(last); }), trace.Execute_Begin();
        ctx.cmd->Command_Execute("G", true, false), trace.Execute_End();
    }
    // A run of one "G" reporting a single AC value, fed to the trace directly.
    void Run(int reached, bool end = true) {
        trace.Run_Begin(), trace.Execute_Begin(), trace.Field_Value(175, reached);
        trace.Execute_End();
        if (end) trace.Run_End(Outcome::Done, "");
    }
    auto Rows() const { return Journal::Rows_Read(Journal::File(ctx.paths), -1); }
};

TEST_F(Trace, PlotFollowsTheInBandValuesOfEachG) {
    s.ZAVMODE = 1, s.DMGFD = 20;
    Execute({{0.2, "15\xaf"}}, 0.5);  // outside a run (the service terminal's "G"): not drawn
    trace.Run_Begin();
    EXPECT_TRUE(plot.Points(Kind::AC).isEmpty());
    // Rising in 0.25 s steps of 5 mT, a second at the peak (its time counted down), falling.
    Bytes course{{0.01, "\x18"}, {1, "1\xaa"}, {2, "\x19"}};
    for (int k = 1; k <= 4; ++k) course.push_back({k * 0.25, std::to_string(5 * k) + "\xaf"});
    for (int k = 1; k <= 4; ++k)
        course.push_back({2 + k * 0.25, std::to_string(20 - 5 * k) + "\xae"});
    qsizetype midway = -1;  // drawn while "G" still runs
    tp.clock.After(0.5 + 1.6, [&] { midway = plot.Shown(Kind::AC).size(); }), Execute(course, 20);
    // The peak held until the first report of the fall, not a slope across the hold.
    const Points drawn{{0.25, 5},  {0.5, 10}, {0.75, 15}, {1, 20}, {2.25, 20},
                       {2.25, 15}, {2.5, 10}, {2.75, 5},  {3, 0}};
    EXPECT_EQ(tuple(Ms(plot.Points(Kind::AC)), Ms(plot.Shown(Kind::AC)), midway),
              tuple(drawn, drawn, 4));
    EXPECT_TRUE(plot.Points(Kind::DC).isEmpty() && plot.Points(Kind::Pulse).isEmpty());
    // Three axes: the next pass goes on in the time of the first, off until it rises again.
    tp.clock.Advance(10), Execute({{0.5, "7\xaf"}}, 1);
    EXPECT_EQ(Ms(plot.Points(Kind::AC)).mid(9), (Points{{31, 0}, {31, 7}}));
    // Stopped: the course stays, says so, and takes nothing more until the next run.
    trace.Run_End(Outcome::Stopped, ""), tp.clock.Advance(60), Execute({{0.2, "25\xaf"}}, 0.5);
    EXPECT_EQ(tuple(plot.Shown(Kind::AC).size(), chart.title()),
              tuple(qsizetype(11), QString("Stopped")));
    trace.Run_Begin();
    EXPECT_TRUE(plot.Points(Kind::AC).isEmpty() && plot.Shown(Kind::AC).isEmpty() &&
                chart.title() == "");
}

TEST_F(Trace, AnhystereticBiasAndPulseMarks) {
    s.ZAVMODE = 2, s.REKFD = 10, s.REKFM = 50, trace.Run_Begin();
    // clang-format off
    Execute({{0.25, "5\xaf"}, {0.5, "10\xaf"}, {0.51, "50\xf6"}, {1.5, "5\xae"}, {1.6, "0\xf6"},
             {2.5, "0\xae"}}, 3);
    // clang-format on
    // The bias as steps: on at the peak, off at the AC minimum.
    EXPECT_EQ(Ms(plot.Points(Kind::DC)), (Points{{0.51, 50}, {1.6, 50}, {1.6, 0}}));
    EXPECT_EQ(plot.Points(Kind::AC).size(), 5);
    trace.Run_End(Outcome::Done, "");
    // Alternating pulses ending "+": the confirmed direction signs each mark; field-off adds none.
    s.ZAVMODE = 3, s.TOVFP = 12, s.TOVNUM = 3, trace.Run_Begin();
    for (int dir : {1, 2, 1}) {
        s.TOVDIR = Int16(dir);
        Execute({{0.1, "12\xf6" + std::string("500\xaa")}, {0.6, "0\xf6"}}, 0.6, " FIELD SET \r\n");
    }
    EXPECT_EQ(Ms(plot.Points(Kind::Pulse)), (Points{{0.1, 12}, {1.2, -12}, {2.3, 12}}));
    EXPECT_EQ(plot.Shown(Kind::Pulse).size(), 3);
    EXPECT_TRUE(plot.Points(Kind::AC).isEmpty() && plot.Points(Kind::DC).isEmpty());
}

// The dashed line is the peak asked for; pulses that may go "-" get a second one below zero.
TEST_F(Trace, RequestedPeakAndTheSideOfThePulses) {
    // clang-format off
    for (auto [mode, dir, pulses, peak, below] : {std::tuple{1, 2, 2, 20, false},
             {2, 2, 2, 60, false}, {3, 1, 1, 12, false}, {3, 2, 1, 12, true}, {3, 1, 2, 12, true}}) {
        // clang-format on
        s = {.ZAVMODE = Int16(mode), .DMGFD = 20, .REKFD = 60, .TOVFP = 12};
        s.TOVDIR = Int16(dir), s.TOVNUM = Int16(pulses), trace.Run_Begin();
        const auto* upper = static_cast<QLineSeries*>(chart.series()[0]);
        const auto* lower = static_cast<QLineSeries*>(chart.series()[1]);
        const auto* axis = static_cast<QValueAxis*>(chart.axes(Qt::Vertical, chart.series()[0])[0]);
        EXPECT_EQ(tuple(upper->at(1).y(), upper->isVisible(), lower->isVisible(), axis->min() < 0),
                  tuple(peak, true, below, below))
            << "mode " << mode << " dir " << dir << " pulses " << pulses;
        trace.Run_End(Outcome::Done, "");
    }
}

// One row per run for each mode and outcome, with "." decimals in a decimal-comma locale.
TEST(JournalRows, OneRowPerRunForEachModeAndOutcome) {
    const LocalZone prague("Europe/Prague");
    const DecimalComma german;
    const struct {
        Settings settings;
        const char* position;                    // with the tumbler; none without
        std::vector<std::vector<int>> executes;  // per "G": code, value, code, value, ...
        Outcome outcome;
        const char *status, *step;
        const char* row;  // after the start at 10:00:00 and the end's date
    } runs[] = {
        // clang-format off
        // three axes with the tumbler, done
        {{.ZAVMODE = 1, .DMODE = 8, .DMGFD = 80, .DMGER = 1, .DMGES = 2, .DMGET = 5}, "",
         {{175, 40, 175, 80, 174, 40, 174, 0}, {175, 79}, {175, 81, 174, 0}}, Outcome::Done, "", "",
         "10:01:00+01:00,DEMAGNETIZER,LT-AF-Z,80,81,,,,,,,Fast,Linear,5,Three axes (+x +y +z),3,"
         "41.5,,done,60.0"},
        // one axis without the tumbler, stopped, preset by the magnetometer program
        {{.ZAVMODE = 1, .DMODE = 2, .DMGFD = 150, .DMGER = 2, .DMGES = 3, .DMGET = 0}, nullptr,
         {{175, 20}}, Outcome::Stopped, "", "STEP 12 AF 150",
         "10:00:20+01:00,DEMAGNETIZER,LT-AF-Z,150,20,,,,,,,Medium,Slowing,0,Tumbler not used,1,"
         "41.5,STEP 12 AF 150,stopped,20.0"},
        // anhysteretic at a magnetizing position, error
        {{.ZAVMODE = 2, .REKFD = 100, .REKFM = 50, .REKFA = 10, .REKER = 0, .REKES = 1, .REKET = 3},
         "A2", {{175, 100, 246, 50, 174, 99}}, Outcome::Error, " ## Hypex Overheated , \"fan\" ", "",
         "10:00:20+01:00,ANHYSTERETIC,LT-AF-I,100,100,10,50,,,,,Extra fast,Speeding,3,A2,1,41.5,,"
         "\"error: ## Hypex Overheated , \"\"fan\"\"\",20.0"},
        // two pulses ending "-": the first one is "+"
        {{.ZAVMODE = 3, .TOVFP = 12, .TOVET = 15, .TOVDIR = 2, .TOVNUM = 2}, nullptr,
         {{246, 12, 246, 0}, {246, 12, 246, 0}}, Outcome::Done, "", "",
         "10:00:40+01:00,PULSE,LT-IRM,,,,,12,1.5,2,+,,,,,,41.5,,done,40.0"},
        // a short pulse at a position
        {{.ZAVMODE = 3, .TOVFP = 20, .TOVET = 0, .TOVDIR = 1, .TOVNUM = 1}, "+x", {{246, 20}},
         Outcome::Done, "", "", "10:00:20+01:00,PULSE,LT-IRM,,,,,20,0.01,1,+,,,,+x,,41.5,,done,20.0"},
        // clang-format on
    };
    for (const auto& r : runs) {
        PanelProgram p;
        p.s = r.settings;
        if ((p.ctx.pos.TumblerUsed = r.position)) p.ui.lblMMode->setText(r.position);
        if (*r.step) p.ctx.trace->Step_Applied(r.step);
        p.ctx.trace->Run_Begin();
        // The controller confirms each pulse's direction before its "G", the last the chosen one.
        int dir = r.settings.TOVNUM % 2 == 0 ? 3 - r.settings.TOVDIR : r.settings.TOVDIR;
        for (const std::vector<int>& values : r.executes) {
            p.ctx.instr.CoilTempC = 38.0f, p.tp.clock.Advance(5);
            p.ctx.instr.CoilTempC = 41.54f;  // read last before "G"
            if (r.settings.ZAVMODE == 3) p.s.TOVDIR = Int16(dir), dir = 3 - dir;
            p.ctx.trace->Execute_Begin();
            for (size_t i = 0; i < values.size(); i += 2)
                p.ctx.trace->Field_Value((unsigned char)values[i], values[i + 1]);
            p.tp.clock.Advance(15), p.ctx.trace->Execute_End();
        }
        p.ctx.trace->Run_End(r.outcome, r.status);
        EXPECT_EQ(ReadBytes(Journal::File(p.ctx.paths)),
                  "started,finished,mode,method_codes,ac_peak_set_mT,ac_peak_reached_mT,ac_min_mT,"
                  "dc_field_uT,pulse_field_mT,pulse_time,pulses,first_direction,rate,course,"
                  "ramp_time_s,axes,passes,coil_temp_C,step,outcome,duration_s\r\n"
                  "2026-12-06T10:00:00+01:00,2026-12-06T" +
                      std::string(r.row) + "\r\n");
    }
}

TEST_F(Trace, RunsWithoutGLeaveNoRowAndFieldsReadBackAsWritten) {
    trace.Run_Begin();
    trace.Run_End(Outcome::Error, "## NO MESSAGE RECEIVED!");  // ended before "G"
    EXPECT_FALSE(fs::exists(Journal::File(ctx.paths)));
    const QStringList row{"plain", "", "a,b", "say \"hi\"", "two\r\nlines", "Žďár 5 µT"};
    const QByteArray text = Journal::Record(row) + Journal::Record({"x", ""});  // last one empty
    EXPECT_EQ(text, "plain,,\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\",Žďár 5 µT\r\nx,\r\n");
    EXPECT_EQ(Journal::Records_Parse(text), (std::vector<QStringList>{row, {"x", ""}}));
}

// An unwritable journal is told once, after the run, path as is; its rows wait for the next write.
TEST_F(Trace, UnwritableJournalIsToldOnceAndKeepsItsRows) {
    const auto file = Journal::File(ctx.paths);
    const QString path = QString::fromStdString(file.string()),
                  told = "JOURNAL CANNOT BE WRITTEN: " + path;
    fs::create_directory(file);  // a folder where the file should be
    {
        Activity::Scope running(*ctx.activity);
        ctx.status->Text("RUNNING"), Run(10);
        EXPECT_EQ(ctx.ui->picStat[1]->Text(), "RUNNING");
    }
    QApplication::processEvents();
    EXPECT_EQ(tuple(ui.picStat[1]->Text(), ui.picStat[0]->Back()), tuple(told, kLightOrange));
    ctx.status->Status_Show(true), Run(20);
    EXPECT_EQ(tuple(ui.picStat[1]->Text(), trace.Log().Pending()),
              tuple(QString("INSTRUMENT IS READY"), 2));
    fs::remove(file);  // the spreadsheet let go of it
    Run(30);
    QStringList reached;
    for (const QStringList& r : Rows()) reached << Column(r, "ac_peak_reached_mT");
    EXPECT_EQ(reached, (QStringList{"10", "20", "30"}));
    fs::remove(file), fs::create_directory(file);
    Run(40);  // a later failure is told again
    QApplication::processEvents();
    EXPECT_EQ(ui.picStat[1]->Text(), told);
}

TEST(JournalFile, FullDiskAndFailedSyncLeaveEachRowWholeAndOnce) {
    QTemporaryDir dir;
    const fs::path file = dir.path().toStdString() + "/journal.csv";
    bool syncFails = false;
    Journal journal(file, [&](int) { return !syncFails; });
    const auto row = [](const char* tag) { return QStringList{tag, QString(300, 'x')}; };
    ASSERT_TRUE(journal.Append(row("a")));
    const std::string before = ReadBytes(file);
    rlimit old{};  // the disk fills up in the middle of the next row
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit full{before.size() + 100, old.rlim_max};
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &full);
    EXPECT_FALSE(journal.Append(row("b")));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(ReadBytes(file), before);
    syncFails = true;  // the sync of a whole write fails
    EXPECT_FALSE(journal.Append(row("c")));
    EXPECT_EQ(tuple(ReadBytes(file), journal.Pending()), tuple(before, 2));
    syncFails = false;
    EXPECT_TRUE(journal.Append(row("d")));
    EXPECT_EQ(ReadBytes(file), before + (Journal::Record(row("b")) + Journal::Record(row("c")) +
                                         Journal::Record(row("d")))
                                            .toStdString());
}

// A crash loses at most the run in progress; the next start appends after a torn line.
TEST_F(Trace, CrashBetweenRunsLosesNothingWritten) {
    LocalZone utc("UTC");
    const auto file = Journal::File(ctx.paths);
    Run(30);
    const std::string first = ReadBytes(file);
    Run(31, false);  // the program dies during this run
    EXPECT_EQ(ReadBytes(file), first);
    std::ofstream(file, std::ios::app | std::ios::binary) << "2026-12-06T10:00:00+01:00,20";
    {
        TestProgram again;
        again.ctx().paths = ctx.paths;
        RunTrace later(again.ctx());
        later.Run_Begin(), later.Execute_Begin(), later.Field_Value(175, 32);
        later.Execute_End(), later.Run_End(Outcome::Done, "");
    }
    const std::string now = ReadBytes(file);
    const auto rows = Rows();
    EXPECT_EQ(now.substr(0, first.size()), first);
    EXPECT_EQ(std::count(now.begin(), now.end(), '\n'), 4);  // one header only
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(Column(rows[0], "ac_peak_reached_mT") + " " + Column(rows[0], "started"),
              "30 2026-12-06T10:00:00+00:00");
    EXPECT_EQ(rows[1], (QStringList{"2026-12-06T10:00:00+01:00", "20"}));
    EXPECT_EQ(Column(rows[2], "ac_peak_reached_mT"), "32");
}

// ===== Dialogs as real widgets, answered from fake-clock events; the sounds' bounded waits.

static QList<QAbstractButton*> ShownButtons(QMessageBox* box) {  // left to right
    QList<QAbstractButton*> b = box->buttons();
    std::sort(b.begin(), b.end(), [](auto* l, auto* r) { return l->x() < r->x(); });
    return b;
}

struct DialogsTest : ::testing::Test {
    DialogsTest() {
        frame->setGeometry(480, 470, 300, 110), dialogs.SetWindow(&window, frame);
        Activate(&window, QRect(120, 90, 800, 600));
    }
    static void Press(QWidget* w, int k) {
        QKeyEvent e(QEvent::KeyPress, k, {});
        qApp->sendEvent(w, &e);
    }
    static QWidget* Activate(QWidget* w, const QRect& geometry) {
        w->setGeometry(geometry), w->show(), w->activateWindow(), QApplication::processEvents();
        return w;
    }
    template <class T = QMessageBox>
    void On(double after, std::type_identity_t<std::function<void(T*)>> fn) {
        clock.After(after, [fn] {
            if (T* w = qobject_cast<T*>(QApplication::activeModalWidget())) return fn(w);
            ADD_FAILURE() << "no dialog open";
        });
    }
    int Ask(int style, int timeout = 0, const QString& title = "T", QStringList c = {}) {
        c.resize(4), asked = clock.Absolute();
        return dialogs.MsgBox_Custom("Line one\r\nLine <two>", style, title, timeout, c[0], c[1],
                                     c[2], c[3]);
    }
    double asked = 0;  // when the last Ask began

    test::FakeClock clock{86400.0 - 2.0};  // the first time-out runs across midnight
    QWidget window;
    QWidget* frame = new QWidget(&window);
    QtDialogs dialogs{clock};
};

TEST_F(DialogsTest, EachKindAnswersAsTheOperatorChoseOrAsCancelWouldOnTimeoutEscapeOrLostOwner) {
    using M = QMessageBox;
    // clang-format off
    struct Kind { int style; QStringList given, shown; QList<int> codes; M::Icon icon; int def;
                  QString title; int timeout, closes, cautious; };  // shown: the given captions
    const Kind kinds[] = {  // unless listed; closes 0: stays open until answered
        {kOKOnly + kInformation + kDefaultButton3, {"&Close"}, {}, {kOK}, M::Information, 0, "",
            100 /* cut to 32 s */, kOK, kOK},
        {kOKCancel, {"&Go", "&Stop"}, {}, {kOK, kCancel}, M::NoIcon, 0, "T", 4, kCancel, kCancel},
        {kAbortRetryIgnore + kExclamation + kDefaultButton3, {"A", "R", "I"}, {},
            {kAbort, kRetry, kIgnore}, M::Warning, 2, "T", 2, 0, kAbort},
        // Missing captions keep the button's own; extra ones are ignored.
        {kYesNoCancel + kQuestion + kDefaultButton2, {"&Go", "", "", "x"}, {"&Go", "&No", "Cancel"},
            {kYes, kNo, kCancel}, M::Question, 1, "", 2, kCancel, kCancel},
        {kYesNo + kQuestion + kDefaultButton2, {"&Continue", "&Abort"}, {}, {kYes, kNo},
            M::Question, 1, "T", 2, 0, kNo},
        {kRetryCancel + kCritical, {"&Retry", "&Cancel"}, {}, {kRetry, kCancel}, M::Critical, 0,
            "Port search", 5, kCancel, kCancel}};
    // clang-format on
    const QPoint centre = window.frameGeometry().center();
    for (const Kind& k : kinds) {
        SCOPED_TRACE(testing::Message() << "style " << k.style);
        auto ask = [&](int timeout = 0) { return Ask(k.style, timeout, k.title, k.given); };
        const double due = std::min(k.timeout, 32) + (k.closes ? 0 : 20);  // else answered late
        if (!k.closes) On(due, [](QMessageBox* b) { ShownButtons(b).at(1)->click(); });
        EXPECT_EQ(ask(k.timeout), k.closes ? k.closes : k.codes[1]);
        EXPECT_NEAR(clock.Absolute() - asked, due, 0.05);
        for (int i = 0; i < k.codes.size(); ++i) {
            On(0.2, [&](QMessageBox* box) {
                QStringList shown;
                for (QAbstractButton* b : ShownButtons(box)) shown << b->text();
                EXPECT_EQ(shown, k.shown.isEmpty() ? k.given : k.shown);
                EXPECT_EQ(
                    tuple(box->icon(), box->windowTitle(), box->text()),
                    tuple(k.icon, k.title.isEmpty() ? "ZAVO" : k.title, "Line one\nLine <two>"));
                EXPECT_EQ(box->defaultButton(), ShownButtons(box).at(k.def));
                EXPECT_LE((box->frameGeometry().center() - centre).manhattanLength(), 2);
                ShownButtons(box).at(i)->click();
            });
            EXPECT_EQ(ask(k.timeout), k.codes[i]) << "button " << i;  // before any time-out
        }
        On(0.1, [](QMessageBox* box) { Press(box, Qt::Key_Escape); });
        if (!k.closes) On(0.4, [](QMessageBox* b) { ShownButtons(b).at(0)->click(); });
        EXPECT_EQ(ask(), k.closes ? k.closes : k.codes[0]);
        EXPECT_NEAR(clock.Absolute() - asked, k.closes ? 0.1 : 0.4, 0.02);
        QWidget* owner = Activate(new QWidget, QRect(200, 200, 300, 200));
        On(0.5, [&](QMessageBox* box) {
            EXPECT_EQ(box->parentWidget(), owner);
            delete owner;                              // takes the box with it
            delete QApplication::activeModalWidget();  // one that outlived it, or none
        });
        EXPECT_EQ(ask(), k.cautious);
    }
    // Well past an answered box's time-out, a later box of the same title still waits.
    On(10, [](QMessageBox* b) { ShownButtons(b).at(0)->click(); });
    EXPECT_EQ(Ask(kOKCancel, 0, "Port search"), kOK);
    // A box opened inside another: both time-outs run, each from its own start.
    QString shown;
    clock.After(1, [&] {
        clock.After(4.5, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                shown += w->isVisible() ? w->windowTitle() : "";
        });
        EXPECT_EQ(Ask(kOKOnly, 10, "Inner"), kOK);
        EXPECT_NEAR(clock.Absolute() - asked, 10, 0.05);
    });
    EXPECT_EQ(Ask(kRetryCancel, 5, "Outer"), kCancel);
    EXPECT_EQ(shown, "Inner");  // the outer one timed out under the inner
    // The large form covers the command frame and counts only the first press.
    On<FrmMsgBox>(0.2, [&](FrmMsgBox* f) {
        EXPECT_EQ(f->frameGeometry(), QRect(frame->mapToGlobal(QPoint(0, 0)), frame->size()));
        EXPECT_EQ(f->cmdOK->text() + f->cmdCANCEL->text(), "YESNO");
        EXPECT_EQ(f->focusWidget(), f->picFocus);
        Press(f->picFocus, Qt::Key_Return);  // no answer while the focus rests there
        EXPECT_TRUE(f->isVisible());
        f->cmdOK->click();
        EXPECT_FALSE(f->cmdOK->isEnabled() || f->cmdCANCEL->isEnabled());
        f->cmdCANCEL_Click();  // even a handler run on a disabled button
    });
    EXPECT_TRUE(dialogs.MsgBox_Large("YES", "NO") && dialogs.MsgBoxOK);
    frame->hide();
    On<FrmMsgBox>(0.2, [&](FrmMsgBox* f) {
        EXPECT_TRUE(f->cmdOK->isEnabled() && f->cmdCANCEL->isEnabled());
        EXPECT_NEAR(f->frameGeometry().center().x(), window.frameGeometry().center().x(), 1);
        Press(f, Qt::Key_Escape), f->cmdOK_Click();
    });
    EXPECT_FALSE(dialogs.MsgBox_Large("", "") || dialogs.MsgBoxOK);
    // The input box masks the password and returns the text, or nothing when cancelled.
    for (const bool masked : {true, false}) {
        On<QInputDialog>(0.2, [=](QInputDialog* d) {
            EXPECT_EQ(d->textEchoMode(), masked ? QLineEdit::Password : QLineEdit::Normal);
            d->setTextValue("secret"), masked ? d->accept() : d->reject();
        });
        EXPECT_EQ(dialogs.InputBox("Password:", "", masked), masked ? "secret" : "");
    }
}

// Sounds never stop the program: each wait is bounded by the length the file's header holds.
TEST(Sound, WaveLengthFromTheHeaderAndWaitsBoundedByIt) {
    const QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    const auto wav = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return dir / name;
    };
    // A silent 0.2 s (22050 Hz, 16-bit mono, 8820 data bytes), a chunk before the data.
    // clang-format off
    const fs::path silent = wav("a.wav", std::string("RIFF\xa6\x22\0\0WAVEfmt \x10\0\0\0\1\0\1\0"
        "\x22\x56\0\0\x44\xac\0\0\2\0\x10\0LIST\6\0\0\0INFOx\0data\x74\x22\0\0", 58) +
        std::string(8820, '\0'));
    // A format chunk too short for its byte rate, the data's header right after it.
    const std::string cut("RIFF\x16\0\0\0WAVEfmt \2\0\0\0\1\0data\0\0\1\0", 30);
    // clang-format on
    EXPECT_DOUBLE_EQ(Wav_Seconds(silent), 0.2);
    EXPECT_EQ(Wav_Seconds(wav("junk.wav", "RIFF\xff\xff\xff\xffWAVEdata")), 0);
    EXPECT_EQ(Wav_Seconds(wav("cut.wav", cut)), 0);

    test::FakeClock c;
    QtSound sound(c);
    sound.Play(dir / "missing.wav", true), sound.Play(dir, true);  // none, and a folder
    sound.Play(silent, false), sound.Beep(880, 0);
    sound.Beep(-5, -5);                // nonsense is silence, not a fault
    EXPECT_EQ(c.Absolute(), 36000.0);  // none of these waits
    sound.Play(silent, true);
    sound.Play(silent, true);  // the second time from the loaded sound
    sound.Beep(880, 200);
    EXPECT_LE(c.Absolute() - 36000.0, 2 * (1.2 + 0.06) + 0.7 + 0.06);
}

// ===== The settings file: each field's rule, the fixed-width file, saves that never damage it.

using Lines = std::vector<std::pair<int, std::string>>;  // line number from 1, value column

// The default file with some values replaced: an 11-character value column, the key in 9, "|".
static std::string FileWith(const Lines& values = {}) {
    std::istringstream in(
        "1 COMM 01-01-1900 FREQDATE 1 ZAVMODE 7 DMODE 0 DMGFD 1 DMGER 2 DMGES 5 DMGET 0 REKMODE "
        "0 REKFD 0 REKFM 0 REKFA 1 REKER 2 REKES 5 REKET 0 TOVMODE 0 TOVFP 5 TOVET 1 TOVDIR "
        "1 TOVNUM 0 SERVMODE 0 ZAVORIENT 0 SIMULMODE 0 TOUCHMODE 0 SOUNDMODE");
    std::string s, v, key;
    for (int n = 1; in >> v >> key; ++n) {
        for (const auto& [ln, given] : values) v = ln == n ? given : v;
        s += (v + std::string(11, ' ')).substr(0, 11) + (key + "         ").substr(0, 9) + "|\r\n";
    }
    return s;
}

struct SettingsTest : ::testing::Test {
    QTemporaryDir tmp;
    fs::path dir = tmp.path().toStdString(), file = dir / "ZAVO.sav";
    test::ScriptedDialogs dialogs;
    Ctx ctx;

    SettingsTest() {
        ctx.paths.dir = dir, ctx.dialogs = &dialogs, fs::permissions(dir, fs::perms(0755));
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // "." whatever the locale says
    }
    void Write(const fs::path& p, const std::string& b) { std::ofstream(p, std::ios::binary) << b; }
    // File permissions bind even root: 65534 is nobody, 0 back.
    static void FsUser(int id) {
        if (geteuid() == 0 && setfsgid(id) >= 0) setfsuid(id);
    }
    std::string Reload(const std::string& bytes) {
        Settings s;
        Write(file, bytes);
        if (!Settings_Load(file, s)) return "not loaded";
        return Settings_Save(file, s) ? test::ReadBytes(file) : "not saved";
    }
    fs::perms Mode(const fs::path& p) const { return fs::status(p).permissions() & fs::perms::all; }
};

TEST_F(SettingsTest, LoadChecksValuesKeepsFixedWidthAndRejectsDamagedFiles) {
    // clang-format off
    struct Check { int n; const char *in, *out; int n2 = 0; const char *in2 = "", *out2 = ""; };
    const Check checks[] = {  // out null: does not load
        {1, "17", "1"}, {1, "0", "0"}, {1, "-1", "1"}, {3, "4", "1"}, {3, "0", "1"}, {4, "0", "7"},
        {4, "9", "7"}, {4, "word", "7"}, {4, "5abc", "5"}, {4, " 2.5", "2"}, {4, "3.5", "4"},
        {5, "201", "0"}, {5, "  -12.5xyz", "-12"}, {6, "-1", "1"}, {7, "0", "2"}, {8, "31", "5"},
        {11, "501", "0"}, {13, "4", "1"}, {14, "0", "2"}, {18, "100", "5"}, {19, "0", "1"},
        {19, "3", "1"}, {22, "1e3", "1000"}, {22, "1e", "1"}, {22, "1e-x", "1"}, {22, "2D2", "200"},
        {22, ".5e1", "5"}, {22, "+7 8", "7"}, {1, "1e-999", "0"}, {1, "-", "0"},
        {22, "32767.4", "32767"}, {22, "-32768.5", "-32768"},
        // Booleans are true only for a value of 1.
        {21, "1.0", "1"}, {21, "-1", "0"}, {21, "2", "0"}, {21, "yes", "0"}, {21, "0.5", "0"},
        // Dates carry over, two-digit years fall in 1930..2029, all zeros is 1 Jan 2000.
        {2, "31-02-2024", "02-03-2024"}, {2, "31-02-2023", "03-03-2023"}, {2, "", "01-01-2000"},
        {2, "15-13-2023", "15-01-2024"}, {2, "00-03-2024", "29-02-2024"},
        {2, "07-00-2024", "07-12-2023"}, {2, "00-00-2024", "30-11-2023"},
        {2, "00-00-0000", "01-01-2000"}, {2, "07/03/2024", "07-03-2024"},
        {2, "15-06-00", "15-06-2000"}, {2, "15-06-29", "15-06-2029"}, {2, "15-06-30", "15-06-1930"},
        {2, "15-06-0099", "15-06-1999"}, {2, "15-06-0100", "15-06-0100"}, {2, "01-01--5", nullptr},
        // Outside 16 bits anywhere, the first 10 characters counting.
        {5, "32768", nullptr}, {22, "-32769", nullptr}, {21, "99999", nullptr}, {1, "1e9", nullptr},
        {3, "12345678901", nullptr}, {2, "01-13-9999", nullptr}, {22, "1e999", nullptr},
        // AC min is checked against AC max of the same file, itself checked first.
        {10, "100", "100", 12, "150", "0"}, {10, "100", "100", 12, "100", "100"},
        {10, "200", "200", 12, "201", "0"}, {10, "201", "0", 12, "50", "0"}};
    // Every field away from its default, at the edges of what it accepts.
    const Lines full = {{1, "16"}, {2, "07-03-2024"}, {3, "3"}, {4, "8"}, {5, "200"}, {6, "0"},
        {7, "3"}, {8, "30"}, {9, "7"}, {10, "150"}, {11, "500"}, {12, "150"}, {13, "3"}, {14, "1"},
        {15, "0"}, {16, "6"}, {17, "20"}, {18, "99"}, {19, "2"}, {20, "10"}, {21, "1"},
        {22, "-32768"}, {23, "1"}, {24, "1"}, {25, "1"}};
    // clang-format on
    for (const Check& c : checks)
        EXPECT_EQ(Reload(FileWith({{c.n, c.in}, {c.n2, c.in2}})),
                  c.out ? FileWith({{c.n, c.out}, {c.n2, c.out2}}) : "not loaded")
            << "line " << c.n << " '" << c.in << "'";
    EXPECT_EQ(Reload(FileWith(full)), FileWith(full));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);  // no temporary file left
    // Other line ends and extra lines are fine; an empty or short file does not load.
    const std::string last = FileWith({{25, "1"}});
    EXPECT_EQ(Reload(QString::fromStdString(last).remove('\r').toStdString()), last);
    EXPECT_EQ(Reload(last + "garbage\r\nmore\r\n"), last);
    EXPECT_EQ(Reload(last.substr(0, last.size() - 2)), last);
    EXPECT_EQ(Reload(""), "not loaded");
    // What a short file held stays read, the rest keeps its old value.
    Settings s{.SOUNDMODE = true};
    Write(file, FileWith({{1, "5"}}).substr(0, 23 * 24));
    EXPECT_TRUE(!Settings_Load(file, s) && s.COMM == 5 && s.SOUNDMODE);
}

TEST_F(SettingsTest, StartupAndSaveKeepTheFileOrReportWhyNot) {
    Settings_Startup(ctx);  // none: the defaults, written
    EXPECT_EQ(test::ReadBytes(file), FileWith());
    Write(file, FileWith({{1, "4"}, {23, "1"}})), Settings_Startup(ctx);
    EXPECT_TRUE(ctx.settings.COMM == 4 && ctx.settings.SIMULMODE && dialogs.boxes.empty());
    EXPECT_EQ(test::ReadBytes(file), FileWith({{1, "4"}, {23, "1"}}));

    // A link keeps pointing at the real file, which keeps its permissions.
    const fs::path real = dir / "real.sav";
    fs::rename(file, real), fs::permissions(real, fs::perms(0640)), fs::create_symlink(real, file);
    ASSERT_TRUE(Settings_Save(file, Settings{}));
    EXPECT_EQ(tuple(test::ReadBytes(real), Mode(real)), tuple(FileWith(), fs::perms(0640)));

    // A full disk: writes past 100 bytes fail, the old file stays whole, nothing is left over.
    Write(file, FileWith({{1, "3"}}));
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small{100, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    std::string why;
    const bool ok = Settings_Save(file, Settings{}, &why);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(ok || why.empty());
    EXPECT_EQ(test::ReadBytes(file), FileWith({{1, "3"}}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2);  // with the link
}

TEST_F(SettingsTest, UnreadableFileIsToldAndNeverOverwritten) {
    const std::string mine = FileWith({{1, "4"}, {5, "120"}});
    Write(file, mine), fs::permissions(file, fs::perms::none);
    ctx.settings.COMM = 9, ctx.instr.MagMode = 3, FsUser(65534), Settings_Startup(ctx);
    const bool saved = Settings_SaveChecked(ctx);
    FsUser(0);
    // The session runs on the defaults; the file keeps its bytes and its mode.
    EXPECT_TRUE(ctx.settings == Settings{} && ctx.instr.MagMode == 2 && !saved);
    EXPECT_EQ(tuple(test::ReadBytes(file), Mode(file)), tuple(mine, fs::perms::none));
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    const test::AskedBox &told = dialogs.boxes[0], &notSaved = dialogs.boxes[1];
    EXPECT_EQ(tuple(told.title, notSaved.title),
              tuple(QString("Settings not read"), QString("Settings not saved")));
    EXPECT_TRUE(told.prompt.contains(file.c_str()) && told.prompt.contains("Permission denied") &&
                notSaved.prompt.contains("cannot be read"))
        << told.prompt.toStdString();

    // Mended, the file is read again and saved keeping the owner's read and write; a new one 0644.
    fs::permissions(file, fs::perms(0444)), Settings_Startup(ctx);
    EXPECT_TRUE(ctx.settings.COMM == 4 && Settings_SaveChecked(ctx));
    EXPECT_EQ(Mode(file), fs::perms(0644));
    fs::remove(file), Settings_Startup(ctx);
    EXPECT_EQ(tuple(test::ReadBytes(file), Mode(file)), tuple(FileWith(), fs::perms(0644)));
}

}  // namespace
