// The parameter boxes: what each accepts per mode and rate, what reaches the record, and when.
#include <clocale>

#include "panel/Limits.h"
#include "panel_test.h"

using namespace zavo;
using std::tuple;

constexpr const char* kNumeric = "Only numeric input is allowed.";
constexpr const char* kRamp = "Ramp time must be in range:";

struct LimitsTest : test::Panel {
    Limits& lim = *ctx.limits;
    OptionGroups& og = *ctx.options;

    void SetUp() override { og.Controls_Enable(true), s.ZAVMODE = 1; }
    const test::AskedBox& Last() const { return tp.dialogs.boxes.back(); }
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
    const std::string old = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "de_DE");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
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
    s.DMGER = 3, s.DMGFD = 10;
    Validate({{ui.txtRampTime, "7"}, {ui.txtACMax, "100"}});
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
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, old.c_str());
}

TEST_F(LimitsTest, TypingLockedAndUnlocked) {
    s.DMGER = 3, s.DMGFD = 50, s.DMGET = 5, ctx.run.InstrReady = true, Fill();
    Type({{ui.txtACMax, "50"}, {ui.txtRampTime, "7"}});
    og.Controls_Enable(false);
    const Settings before = s;
    ui.txtACMax->SetText("180");
    emit ui.txtRampTime->Click(), ui.txtRampTime->GotFocus(), ui.txtACMax->LostFocus();
    EXPECT_FALSE(lim.Input_Validate() || Leave(ui.txtRampTime));
    EXPECT_TRUE(s == before && ui.optERate[3]->isEnabled() && Boxes() == 0);
    og.Controls_Enable(true);
    for (auto [text, rate, tip] : {tuple{"120", 2, "<0 - 150 mT>"}, {"160", 1, "<0 - 200 mT>"}}) {
        ui.txtACMax->SetText(text);
        EXPECT_TRUE(s.DMGER == rate && ui.optERate[rate]->isChecked() &&
                    ui.optERateT[rate]->isChecked() && BackColor(ui.optERateT[rate]) == kCyan);
        EXPECT_FALSE(ui.optERate[rate + 1]->isEnabled() || ui.optERateT[3]->isEnabled());
        EXPECT_EQ(ui.txtACMax->toolTip(), tip);
    }
    EXPECT_TRUE((ui.txtACMax->SetText("90"), ui.optERate[3]->isEnabled()) &&
                ui.optERateT[3]->isEnabled());
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
    // Focus coming back with the window after a message is no entering (it would ask again and
    // again); a failed check puts the focus into the box, which enters it.
    ui.owner->window()->show(), QApplication::processEvents();
    Type({{ui.txtACMax, "40"}, {ui.txtRampTime, "45"}});
    QFocusEvent back(QEvent::FocusIn, Qt::ActiveWindowFocusReason),
        enter(QEvent::FocusIn, Qt::MouseFocusReason);
    EXPECT_EQ((QApplication::sendEvent(ui.txtRampTime, &back), Boxes()), 2u);
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
