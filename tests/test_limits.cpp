#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>

#include "core/Context.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/OptionGroups.h"
#include "support/TestProgram.h"

using namespace zavo;

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
    void ExpectRange(const char* head, const char* range) {
        ASSERT_GT(Boxes(), 0u);
        EXPECT_EQ(Last().prompt, QString(head) + "\r\n\r\n" + range);
    }
    // Fills the panel with the panel locked, as the program does.
    void Fill() {
        ctx.options->Controls_Enable(false);
        lim.Limits_Set();
        ctx.options->Controls_Enable(true);
    }
};

}  // namespace

TEST_F(LimitsTest, MessagesTitleAndCaption) {
    for (const char* text : {"abc", "", "2,5", "1e3", "12abc", ".", "- 5"}) {
        ui.txtRampTime->SetText(text);
        EXPECT_FALSE(lim.Input_Check(ui.txtRampTime, "Ramp time must be in range:", "s", 0, 30));
        EXPECT_EQ(Last().prompt, "Only numeric input is allowed.") << text;
        EXPECT_EQ(Last().style, 48);
        EXPECT_EQ(Last().title, "Incorrect input");
        EXPECT_EQ(Last().timeout, 0);
        EXPECT_EQ(Last().captions, QStringList{"&Retry"});
        EXPECT_EQ(ui.txtRampTime->selectedText(), QString(text));
    }
    ui.txtRampTime->SetText("31");
    EXPECT_FALSE(lim.Input_Check(ui.txtRampTime, "Ramp time must be in range:", "s", 0, 30));
    ExpectRange("Ramp time must be in range:", "<0 - 30 s>");
    EXPECT_EQ(Last().captions, QStringList{"&Retry"});
    EXPECT_EQ(ui.txtRampTime->selectedText(), "31");
    const size_t n = Boxes();
    for (const char* text : {"30", "0", " 7 ", "-0", "+12", "29.9", ".5", "5."}) {
        ui.txtRampTime->SetText(text);
        EXPECT_TRUE(lim.Input_Check(ui.txtRampTime, "x", "s", 0, 30)) << text;
    }
    EXPECT_EQ(Boxes(), n);
}

// A value is read with "." whatever the locale, and a text that would be read
// as something else than it shows is no number at all.
TEST_F(LimitsTest, NumbersReadTheSameInEveryLocale) {
    const std::string old = std::setlocale(LC_ALL, nullptr);
    const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "de_DE");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(Limits::Text_Value("2.5"), 2.5);
    EXPECT_EQ(Limits::Text_Value("  12.75 mT"), 12.75);
    EXPECT_EQ(Limits::Text_Value("2,5"), 2);
    EXPECT_EQ(Limits::Text_Value("x"), 0);
    EXPECT_EQ(Limits::Text_Value("-4"), -4);
    EXPECT_TRUE(Limits::Text_IsNumber("2.5"));
    EXPECT_FALSE(Limits::Text_IsNumber("2,5"));
    s.ZAVMODE = 3;
    ui.txtTOVField->SetText("5");
    ui.txtTOVTime->SetText("2,5");
    EXPECT_FALSE(lim.Input_Validate());
    EXPECT_EQ(Last().prompt, "Only numeric input is allowed.");
    ui.txtTOVTime->SetText("2.5");
    EXPECT_TRUE(lim.Input_Validate());
    EXPECT_EQ(s.TOVET, 25);
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, old.c_str());
    if (!comma) std::printf("[ note ] no German locale installed: read under the C locale\n");
}

TEST_F(LimitsTest, BeyondSixteenBitsIsRefusedWithTheRange) {
    s.DMGER = 1;
    s.DMGFD = 10;
    s.DMGET = 5;
    for (const char* big : {"99999", "32768", "-40000", "1000000000000000000000000000000"}) {
        ui.txtACMax->SetText("20");
        ui.txtRampTime->SetText(big);
        EXPECT_FALSE(lim.Input_Validate());
        ExpectRange("Ramp time must be in range:", "<0 - 30 s>");
        EXPECT_EQ(s.DMGET, 5);
        bool cancel = false;
        emit ui.txtRampTime->Validate(cancel);
        EXPECT_TRUE(cancel);
        EXPECT_EQ(s.DMGET, 5);
    }
}

TEST_F(LimitsTest, DemagnetizerFieldLimitFollowsTheRate) {
    s.DMGER = 3;
    s.DMGFD = 10;
    ui.txtRampTime->SetText("7");
    ui.txtACMax->SetText("100");
    EXPECT_TRUE(lim.Input_Validate());
    EXPECT_EQ(s.DMGFD, 100);
    EXPECT_EQ(s.DMGET, 7);
    EXPECT_EQ(Boxes(), 0u);
    ui.txtACMax->SetText("101");
    ui.txtRampTime->SetText("8");
    EXPECT_FALSE(lim.Input_Validate());
    ExpectRange("AC field must be in range:", "<0 - 100 mT>");
    // Checking stops at the first failure: the ramp time is not stored either.
    EXPECT_EQ(s.DMGFD, 100);
    EXPECT_EQ(s.DMGET, 7);
    s.DMGER = 2;
    EXPECT_TRUE(lim.Input_Validate());
    s.DMGER = 1;
    ui.txtACMax->SetText("199.6");
    EXPECT_TRUE(lim.Input_Validate());
    EXPECT_EQ(s.DMGFD, 200);
}

TEST_F(LimitsTest, AnhystereticWindow) {
    s.ZAVMODE = 2;
    s.REKER = 1;
    s.REKFD = 150;
    s.REKFA = 120;
    ui.txtACMax->SetText("100");
    ui.txtACMin->SetText("120");
    ui.txtDCField->SetText("300");
    ui.txtRampTime->SetText("5");
    // The AC max was lowered below the AC min: the window closes silently.
    EXPECT_TRUE(lim.Input_Validate());
    EXPECT_EQ(Boxes(), 0u);
    EXPECT_EQ(s.REKFA, 0);
    EXPECT_EQ(ui.txtACMin->text(), "0");
    EXPECT_EQ(ui.txtACMin->toolTip(), "<0 - 100 mT>");
    EXPECT_EQ(s.REKFD, 100);
    EXPECT_EQ(s.REKFM, 300);

    ui.txtACMin->SetText("100");
    EXPECT_TRUE(lim.Input_Validate());
    EXPECT_EQ(s.REKFA, 100);
    ui.txtACMin->SetText("101");
    EXPECT_FALSE(lim.Input_Validate());
    ExpectRange("AC min must be in range:", "<0 - 100 mT>");
    EXPECT_EQ(s.REKFA, 100);

    // A raised AC max checks the AC min against the new value; an AC min that
    // is no number is never stored as 0.
    ui.txtACMax->SetText("140");
    ui.txtACMin->SetText("abc");
    EXPECT_FALSE(lim.Input_Validate());
    EXPECT_EQ(Last().prompt, "Only numeric input is allowed.");
    EXPECT_EQ(s.REKFA, 100);
    EXPECT_EQ(s.REKFD, 100);
    ui.txtACMin->SetText("130");
    EXPECT_TRUE(lim.Input_Validate());
    EXPECT_EQ(s.REKFA, 130);
    EXPECT_EQ(s.REKFD, 140);

    // An AC max that is no number leaves the AC min alone.
    ui.txtACMax->SetText("x");
    EXPECT_FALSE(lim.Input_Validate());
    EXPECT_EQ(ui.txtACMin->text(), "130");
    EXPECT_EQ(s.REKFA, 130);
}

TEST_F(LimitsTest, PulseTimeCodes) {
    s.ZAVMODE = 3;
    ui.txtTOVField->SetText("20");
    const std::pair<const char*, Int16> codes[] = {
        {"10", 99}, {"9.9", 99}, {"0.05", 0}, {"0.25", 2}, {"0.35", 4}, {"0", 0}, {"1.5", 15}};
    for (auto [text, code] : codes) {
        ui.txtTOVTime->SetText(text);
        EXPECT_TRUE(lim.Input_Validate()) << text;
        EXPECT_EQ(s.TOVET, code) << text;
    }
    EXPECT_EQ(s.TOVFP, 20);
    ui.txtTOVTime->SetText("10.1");
    EXPECT_FALSE(lim.Input_Validate());
    ExpectRange("Pulse time must be in range:", "<0 - 10 s>");
    ui.txtTOVField->SetText("21");
    EXPECT_FALSE(lim.Input_Validate());
    ExpectRange("Field intensity must be in range:", "<0 - 20 mT>");

    for (auto [code, text] :
         {std::pair<Int16, const char*>{99, "10"}, {0, "0"}, {5, "0.5"}, {20, "2"}, {98, "9.8"}}) {
        s.TOVET = code;
        Fill();
        EXPECT_EQ(ui.txtTOVTime->text(), text) << code;
    }
}

TEST_F(LimitsTest, LockedPanelChangesNothing) {
    s.DMGER = 3;
    s.DMGFD = 10;
    s.DMGET = 5;
    ctx.run.InstrReady = true;
    ui.txtACMax->SetText("50");
    ui.txtRampTime->SetText("7");
    ctx.options->Controls_Enable(false);
    const Settings before = s;
    EXPECT_FALSE(lim.Input_Validate());
    ui.txtACMax->SetText("180");
    emit ui.txtRampTime->Click();
    emit ui.txtRampTime->GotFocus();
    bool cancel = false;
    emit ui.txtRampTime->Validate(cancel);
    emit ui.txtACMax->LostFocus();
    EXPECT_FALSE(cancel);
    EXPECT_TRUE(s == before);
    EXPECT_TRUE(ui.optERate[3]->isEnabled());
    EXPECT_EQ(Boxes(), 0u);
}

TEST_F(LimitsTest, RateLimitWhileTyping) {
    s.DMGER = 3;
    s.DMGFD = 50;
    Fill();
    ctx.run.InstrReady = true;
    ui.txtACMax->SetText("120");
    EXPECT_EQ(s.DMGER, 2);
    EXPECT_TRUE(ui.optERate[2]->isChecked());
    EXPECT_TRUE(ui.optERateT[2]->isChecked());
    EXPECT_EQ(BackColor(ui.optERateT[2]), kCyan);
    EXPECT_FALSE(ui.optERate[3]->isEnabled());
    EXPECT_FALSE(ui.optERateT[3]->isEnabled());
    EXPECT_EQ(ui.txtACMax->toolTip(), "<0 - 150 mT>");
    EXPECT_EQ(ui.txtACMin->toolTip(), "<0 - 120 mT>");
    ui.txtACMax->SetText("160");
    EXPECT_EQ(s.DMGER, 1);
    EXPECT_TRUE(ui.optERateT[1]->isChecked());
    for (int i : {2, 3}) EXPECT_FALSE(ui.optERate[i]->isEnabled() || ui.optERateT[i]->isEnabled());
    EXPECT_EQ(ui.txtACMax->toolTip(), "<0 - 200 mT>");
    ui.txtACMax->SetText("90");
    for (int i = 0; i <= 3; ++i)
        EXPECT_TRUE(ui.optERate[i]->isEnabled() && ui.optERateT[i]->isEnabled());
    EXPECT_EQ(s.DMGER, 1);
    EXPECT_EQ(ui.txtACMin->toolTip(), "<0 - 90 mT>");
    // Typing neither validates nor leaves the panel locked.
    EXPECT_EQ(Boxes(), 0u);
    EXPECT_EQ(Tag(ui.cmdStart), "1");

    // The anhysteretic rate is its own; before initialization nothing moves.
    s.ZAVMODE = 2;
    s.REKER = 3;
    ui.txtACMax->SetText("170");
    EXPECT_EQ(s.REKER, 1);
    EXPECT_EQ(s.DMGER, 1);
    ctx.run.InstrReady = false;
    s.REKER = 3;
    ui.txtACMax->SetText("180");
    EXPECT_EQ(s.REKER, 3);
    EXPECT_EQ(ui.txtACMin->toolTip(), "<0 - 180 mT>");
}

TEST_F(LimitsTest, LongPulsesAreSingle) {
    s.ZAVMODE = 3;
    s.TOVNUM = 5;
    ui.txtTOVTime->SetText("1.0");
    EXPECT_TRUE(ui.vslTOVPulses->isEnabled());
    EXPECT_EQ(s.TOVNUM, 5);
    ui.txtTOVTime->SetText("1.1");
    EXPECT_FALSE(ui.vslTOVPulses->isEnabled());
    EXPECT_FALSE(ui.cmdTOVPlus->isEnabled());
    EXPECT_EQ(s.TOVNUM, 1);
    EXPECT_EQ(ui.lblTOVPulses->text(), "1");
    EXPECT_EQ(ui.vslTOVPulses->value(), 1);
    ui.txtTOVTime->SetText("0.5");
    EXPECT_TRUE(ui.vslTOVPulses->isEnabled());
}

TEST_F(LimitsTest, BoxHandlers) {
    // Leaving a box stores only a value that passed; the AC min reaches up
    // to the AC max box.
    s.ZAVMODE = 2;
    s.REKET = 5;
    ui.txtACMax->SetText("40");
    bool cancel = false;
    ui.txtRampTime->SetText("31");
    emit ui.txtRampTime->Validate(cancel);
    EXPECT_TRUE(cancel);
    EXPECT_EQ(s.REKET, 5);
    ui.txtACMin->SetText("41");
    emit ui.txtACMin->Validate(cancel);
    ExpectRange("AC min must be in range:", "<0 - 40 mT>");
    cancel = false;
    ui.txtACMin->SetText("40");
    emit ui.txtACMin->Validate(cancel);
    EXPECT_FALSE(cancel);
    EXPECT_EQ(s.REKFA, 40);

    // Entering a box checks and stores the whole panel.
    s.ZAVMODE = 1;
    s.DMGFD = 0;
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
    EXPECT_TRUE(ui.optZAVMode[1]->isChecked());
    EXPECT_TRUE(ui.fraTOV->isHidden());
    EXPECT_EQ(ui.txtACMax->text(), "120");
    EXPECT_EQ(ui.txtACMax->toolTip(), "<0 - 150 mT>");
    EXPECT_TRUE(ui.optERate[2]->isChecked() && ui.optERateT[2]->isChecked());
    EXPECT_EQ(BackColor(ui.optERateT[2]), kCyan);
    EXPECT_TRUE(ui.optEShape[3]->isChecked() && ui.optDModeT[4]->isChecked());

    s.ZAVMODE = 3;
    Fill();
    EXPECT_TRUE(ui.fraADM->isHidden());
    EXPECT_EQ(ui.txtTOVTime->text(), "1.5");
    EXPECT_EQ(ui.vslTOVPulses->value(), 6);
    EXPECT_TRUE(ui.optTOVDir[2]->isChecked() && ui.optTOVDirT[2]->isChecked());
    EXPECT_EQ(ui.lblDCField[1]->text(), "DC field [mT]");

    // Values a hand-edited file may hold select nothing and break nothing.
    s.ZAVMODE = 1, s.DMGER = -1, s.DMGES = 9, s.DMODE = 40;
    Fill();
    s.TOVDIR = 0, s.ZAVMODE = 3;
    Fill();
}

// Focus that returns with the window after a message box is no entering of
// the box: otherwise a failed check would ask again and again.
TEST_F(LimitsTest, FocusBackFromAMessageDoesNotValidateAgain) {
    s.DMGER = 1;
    ui.txtACMax->SetText("40");
    ui.txtRampTime->SetText("45");
    QFocusEvent back(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(ui.txtRampTime, &back);
    EXPECT_EQ(Boxes(), 0u);
    QFocusEvent enter(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(ui.txtRampTime, &enter);
    EXPECT_EQ(Boxes(), 1u);
}

// A failed check puts the focus into the box, which enters it: one message.
TEST_F(LimitsTest, FailedCheckAsksOnce) {
    QWidget& w = *ui.owner->window();
    w.show();
    w.activateWindow();
    QApplication::processEvents();
    s.DMGER = 1;
    ui.txtACMax->SetText("40");
    ui.txtRampTime->SetText("45");
    ctx.options->Focus_Sink();
    EXPECT_FALSE(lim.Input_Validate());
    EXPECT_EQ(Boxes(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), ui.txtRampTime);
}
