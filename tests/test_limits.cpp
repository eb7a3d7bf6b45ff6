#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>
#include <tuple>

#include "core/Context.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/OptionGroups.h"
#include "support/TestProgram.h"

using namespace zavo;
using std::tuple;

namespace {

struct LimitsTest : ::testing::Test {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    Limits& lim = *ctx.limits;
    Settings& s = ctx.settings;

    void SetUp() override {
        ctx.options->Controls_Enable(true);
        s.ZAVMODE = 1;
    }
    const test::AskedBox& Last() const { return tp.dialogs.boxes.back(); }
    size_t Boxes() const { return tp.dialogs.boxes.size(); }
    void Type(std::initializer_list<std::pair<TextBox*, const char*>> texts) {
        for (auto [box, text] : texts) box->SetText(text);
    }
    // Validates the panel: passes silently, or shows exactly the one message.
    void Validate(const char* head = nullptr, const char* range = nullptr) {
        const size_t n = Boxes();
        EXPECT_EQ(lim.Input_Validate(), head == nullptr);
        ASSERT_EQ(Boxes(), n + (head ? 1 : 0));
        if (!head) return;
        EXPECT_EQ(Last().prompt, range ? QString(head) + "\r\n\r\n" + range : QString(head));
    }
    void Step(TextBox* box, const char* text, const char* head = nullptr,
              const char* range = nullptr) {
        box->SetText(text);
        Validate(head, range);
    }
    bool Leave(TextBox* box) {
        bool cancel = false;
        emit box->Validate(cancel);
        return cancel;
    }
    // Fills the panel with the panel locked, as the program does.
    void Fill() {
        ctx.options->Controls_Enable(false);
        lim.Limits_Set();
        ctx.options->Controls_Enable(true);
    }
};
constexpr const char* kNumeric = "Only numeric input is allowed.";

}  // namespace

TEST_F(LimitsTest, MessagesTitleAndCaption) {
    for (const char* text : {"abc", "", "2,5", "1e3", "12abc", ".", "- 5", "31"}) {
        SCOPED_TRACE(text);
        ui.txtRampTime->SetText(text);
        EXPECT_FALSE(lim.Input_Check(ui.txtRampTime, "Ramp time must be in range:", "s", 0, 30));
        const bool range = text == std::string("31");
        EXPECT_EQ(Last().prompt,
                  range ? "Ramp time must be in range:\r\n\r\n<0 - 30 s>" : kNumeric);
        EXPECT_EQ(tuple(Last().style, Last().title, Last().timeout, Last().captions),
                  tuple(48, "Incorrect input", 0, QStringList{"&Retry"}));
        EXPECT_EQ(ui.txtRampTime->selectedText(), QString(text));
    }
    const size_t n = Boxes();
    for (const char* text : {"30", "0", " 7 ", "-0", "+12", "29.9", ".5", "5."}) {
        ui.txtRampTime->SetText(text);
        EXPECT_TRUE(lim.Input_Check(ui.txtRampTime, "x", "s", 0, 30)) << text;
    }
    EXPECT_EQ(Boxes(), n);
}

// "." is the decimal point whatever the locale; "2,5" is no number at all.
TEST_F(LimitsTest, NumbersReadTheSameInEveryLocale) {
    const std::string old = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "de_DE");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(Limits::Text_Value("  12.75 mT"), 12.75);
    EXPECT_FALSE(Limits::Text_IsNumber("2,5"));
    s.ZAVMODE = 3;
    Type({{ui.txtTOVField, "5"}, {ui.txtTOVTime, "2,5"}});
    Validate(kNumeric);
    Step(ui.txtTOVTime, "2.5");
    EXPECT_EQ(s.TOVET, 25);
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, old.c_str());
}

TEST_F(LimitsTest, DemagnetizerFieldLimitFollowsTheRate) {
    s.DMGER = 3, s.DMGFD = 10;
    Type({{ui.txtRampTime, "7"}, {ui.txtACMax, "100"}});
    Validate();
    EXPECT_EQ(tuple(s.DMGFD, s.DMGET), tuple(100, 7));
    Type({{ui.txtACMax, "101"}, {ui.txtRampTime, "8"}});
    Validate("AC field must be in range:", "<0 - 100 mT>");
    EXPECT_EQ(tuple(s.DMGFD, s.DMGET), tuple(100, 7));  // checking stops at the first failure
    s.DMGER = 2;
    Validate();
    s.DMGER = 1;
    ui.txtACMax->SetText("199.6");
    for (const char* big : {"32768", "-40000", "1000000000000000000000000000000"}) {
        ui.txtRampTime->SetText(big);
        Validate("Ramp time must be in range:", "<0 - 30 s>");
        EXPECT_TRUE(Leave(ui.txtRampTime));
    }
    EXPECT_EQ(tuple(s.DMGFD, s.DMGET), tuple(200, 8));
}

TEST_F(LimitsTest, AnhystereticWindow) {
    s.ZAVMODE = 2, s.REKER = 1, s.REKFD = 150, s.REKFA = 120;
    Type({{ui.txtACMax, "100"}, {ui.txtACMin, "120"}, {ui.txtDCField, "300"}});
    Step(ui.txtRampTime, "5");  // an AC max lowered below the AC min closes the window silently
    EXPECT_EQ(tuple(s.REKFA, s.REKFD, s.REKFM), tuple(0, 100, 300));
    EXPECT_EQ(ui.txtACMin->text(), "0");
    EXPECT_EQ(ui.txtACMin->toolTip(), "<0 - 100 mT>");
    Step(ui.txtACMin, "100");
    Step(ui.txtACMin, "101", "AC min must be in range:", "<0 - 100 mT>");
    // A raised AC max checks the AC min against it; a non-number is never 0.
    Type({{ui.txtACMax, "140"}, {ui.txtACMin, "abc"}});
    Validate(kNumeric);
    EXPECT_EQ(tuple(s.REKFA, s.REKFD), tuple(100, 100));
    Step(ui.txtACMin, "140");
    EXPECT_EQ(tuple(s.REKFA, s.REKFD), tuple(140, 140));
    ui.txtACMax->SetText("x");  // leaves the AC min alone
    Validate(kNumeric);
    EXPECT_EQ(ui.txtACMin->text(), "140");
}

TEST_F(LimitsTest, PulseTimeCodes) {
    s.ZAVMODE = 3;
    ui.txtTOVField->SetText("20");
    const std::pair<const char*, int> codes[] = {{"10", 99},  {"9.9", 99}, {"0.05", 0}, {"0.25", 2},
                                                 {"0.35", 4}, {"0", 0},    {"1.5", 15}};
    for (auto [text, code] : codes) {
        Step(ui.txtTOVTime, text);
        EXPECT_EQ(s.TOVET, code) << text;
    }
    EXPECT_EQ(s.TOVFP, 20);
    Step(ui.txtTOVTime, "10.1", "Pulse time must be in range:", "<0 - 10 s>");
    Step(ui.txtTOVField, "21", "Field intensity must be in range:", "<0 - 20 mT>");
    s.TOVNUM = 5;  // a long pulse is a single one
    ui.txtTOVTime->SetText("1.0");
    EXPECT_TRUE(ui.vslTOVPulses->isEnabled());
    ui.txtTOVTime->SetText("1.1");
    EXPECT_FALSE(ui.vslTOVPulses->isEnabled() || ui.cmdTOVPlus->isEnabled());
    EXPECT_EQ(tuple(s.TOVNUM, ui.lblTOVPulses->text(), ui.vslTOVPulses->value()), tuple(1, "1", 1));
}

TEST_F(LimitsTest, LockedPanelChangesNothing) {
    s.DMGER = 3, s.DMGFD = 10, s.DMGET = 5;
    ctx.run.InstrReady = true;
    Type({{ui.txtACMax, "50"}, {ui.txtRampTime, "7"}});
    ctx.options->Controls_Enable(false);
    const Settings before = s;
    EXPECT_FALSE(lim.Input_Validate());
    ui.txtACMax->SetText("180");
    emit ui.txtRampTime->Click();
    emit ui.txtRampTime->GotFocus();
    emit ui.txtACMax->LostFocus();
    EXPECT_FALSE(Leave(ui.txtRampTime));
    EXPECT_TRUE(s == before);
    EXPECT_EQ(tuple(ui.optERate[3]->isEnabled(), Boxes()), tuple(true, 0u));
}

TEST_F(LimitsTest, RateLimitWhileTyping) {
    s.DMGER = 3, s.DMGFD = 50;
    Fill();
    ctx.run.InstrReady = true;
    for (auto [text, rate, tip] : {tuple{"120", 2, "<0 - 150 mT>"}, {"160", 1, "<0 - 200 mT>"}}) {
        ui.txtACMax->SetText(text);
        EXPECT_EQ(s.DMGER, rate);
        EXPECT_TRUE(ui.optERate[rate]->isChecked() && ui.optERateT[rate]->isChecked());
        EXPECT_EQ(BackColor(ui.optERateT[rate]), kCyan);
        EXPECT_FALSE(ui.optERate[rate + 1]->isEnabled() || ui.optERateT[3]->isEnabled());
        EXPECT_EQ(tuple(ui.txtACMax->toolTip(), ui.txtACMin->toolTip()),
                  tuple(tip, QString("<0 - %1 mT>").arg(text)));
    }
    ui.txtACMax->SetText("90");
    for (int i = 0; i <= 3; ++i)
        EXPECT_TRUE(ui.optERate[i]->isEnabled() && ui.optERateT[i]->isEnabled());
    EXPECT_EQ(s.DMGER, 1);
    EXPECT_EQ(tuple(Boxes(), Tag(ui.cmdStart)), tuple(0u, "1"));  // typing neither checks nor locks
    // The anhysteretic rate is its own; before initialization nothing moves.
    s.ZAVMODE = 2, s.REKER = 3;
    ui.txtACMax->SetText("170");
    EXPECT_EQ(tuple(s.REKER, s.DMGER), tuple(1, 1));
    ctx.run.InstrReady = false;
    s.REKER = 3;
    ui.txtACMax->SetText("180");
    EXPECT_EQ(tuple(s.REKER, ui.txtACMin->toolTip()), tuple(3, "<0 - 180 mT>"));
}

// Leaving a box stores only a value that passed; the AC min reaches up to the
// AC max box; entering a box checks and stores the whole panel.
TEST_F(LimitsTest, BoxHandlers) {
    s.ZAVMODE = 2, s.REKET = 5;
    Type({{ui.txtACMax, "40"}, {ui.txtRampTime, "31"}, {ui.txtACMin, "41"}});
    EXPECT_TRUE(Leave(ui.txtRampTime));
    EXPECT_EQ(s.REKET, 5);
    EXPECT_TRUE(Leave(ui.txtACMin));
    EXPECT_EQ(Last().prompt, "AC min must be in range:\r\n\r\n<0 - 40 mT>");
    ui.txtACMin->SetText("40");
    EXPECT_FALSE(Leave(ui.txtACMin));
    EXPECT_EQ(s.REKFA, 40);
    s.ZAVMODE = 1, s.DMGFD = 0;
    ui.txtRampTime->SetText("5");
    emit ui.txtACMin->GotFocus();
    EXPECT_EQ(s.DMGFD, 40);
    ui.txtACMax->SetText("80.5");
    emit ui.txtACMax->LostFocus();
    EXPECT_EQ(ui.txtACMin->toolTip(), "<0 - 80.5 mT>");
}

TEST_F(LimitsTest, FillThePanelPerMode) {
    s.DMGFD = 120, s.DMGER = 2, s.DMGES = 3, s.DMODE = 4;
    s.TOVFP = 12, s.TOVET = 15, s.TOVDIR = 2, s.TOVNUM = 6;
    ctx.pos.TumblerUsed = true;
    Fill();
    EXPECT_TRUE(ui.optZAVMode[1]->isChecked() && ui.fraTOV->isHidden());
    EXPECT_EQ(tuple(ui.txtACMax->text(), ui.txtACMax->toolTip()), tuple("120", "<0 - 150 mT>"));
    EXPECT_TRUE(ui.optERateT[2]->isChecked() && ui.optEShape[3]->isChecked() &&
                ui.optDModeT[4]->isChecked());
    s.ZAVMODE = 3;
    Fill();
    EXPECT_TRUE(ui.fraADM->isHidden() && ui.optTOVDirT[2]->isChecked());
    EXPECT_EQ(tuple(ui.txtTOVTime->text(), ui.vslTOVPulses->value()), tuple("1.5", 6));
    for (auto [code, text] : {tuple{99, "10"}, {0, "0"}, {98, "9.8"}}) {
        s.TOVET = Int16(code);
        Fill();
        EXPECT_EQ(ui.txtTOVTime->text(), text) << code;
    }
    // Values a hand-edited file may hold select nothing and break nothing.
    s.ZAVMODE = 1, s.DMGER = -1, s.DMGES = 9, s.DMODE = 40;
    Fill();
    s.TOVDIR = 0, s.ZAVMODE = 3;
    Fill();
}

// Focus coming back with the window after a message is no entering of the
// box: otherwise a failed check would ask again and again.
TEST_F(LimitsTest, FocusBackFromAMessageDoesNotValidateAgain) {
    s.DMGER = 1;
    Type({{ui.txtACMax, "40"}, {ui.txtRampTime, "45"}});
    QFocusEvent back(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(ui.txtRampTime, &back);
    EXPECT_EQ(Boxes(), 0u);
    QFocusEvent enter(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(ui.txtRampTime, &enter);
    EXPECT_EQ(Boxes(), 1u);
}

// A failed check puts the focus into the box, which enters it: one message.
TEST_F(LimitsTest, FailedCheckAsksOnce) {
    ui.owner->window()->show();
    ui.owner->window()->activateWindow();
    QApplication::processEvents();
    s.DMGER = 1;
    Type({{ui.txtACMax, "40"}, {ui.txtRampTime, "45"}});
    ctx.options->Focus_Sink();
    Validate("Ramp time must be in range:", "<0 - 30 s>");
    EXPECT_EQ(QApplication::focusWidget(), ui.txtRampTime);
}
