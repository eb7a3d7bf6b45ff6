// The command transaction on a scripted port and a fake clock.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTimer>
#include <fstream>

#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/StatusLine.h"
#include "link/Waits.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;

namespace {

class Link : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tp.port.Open(1)); }
    // Replies to every command with the given bytes after a short delay.
    void Answer(const std::string& reply) {
        tp.port.responder = [reply](const std::string&) { return reply; };
    }
    void Exec(const std::string& cmd, bool show = true, bool quiet = false) {
        ctx.cmd->Command_Execute(cmd, show, quiet);
    }
    QString StatusText() const { return ctx.ui->picStat[1]->Text(); }
    VbColor LampColor() const { return ctx.ui->picStat[0]->Back(); }
    double Now() const { return tp.clock.Absolute(); }

    TestProgram tp;
    Ctx& ctx = tp.ctx();
};

}  // namespace

TEST(Classification, DescriptionsAndTimeouts) {
    struct Case {
        std::string cmd;
        int modeWord;
        QString text;
        double t1, t2;
    } cases[] = {
        {"\x10", 1, "FIRMWARE VERSION", 0.5, 0.1},
        {"FD010", 1, "SETTING AC FIELD", 2, 30},
        {"FX", 1, "", 2, 30},
        {"SD1", 1, "SWITCHING DEMAGNETIZER ON", 5, 30},
        {"S", 1, "", 2, 30},
        {"ET05", 1, "SETTING AC RAMP TIME", 2, 30},
        {"ET05", 2, "SETTING PULSE TIME", 2, 30},
        {"G", 1, "EXECUTE", 200, 50},
        {"P00", 1, "INITIALIZING TUMBLER", 30, 30},
        {"P12", 1, "SETTING SPECIMEN POSITION", 30, 30},
        {"\x1b", 1, "IMMEDIATE STOP", 3, 30},
        {"i", 1, "INITIALIZING TUMBLER", 40, 30},
        {"z", 1, "SEARCHING FOR AC FREQUENCY", 100, 30},
        {"B0", 1, "", 2, 30},
        {"fd", 1, "", 2, 30},
    };
    for (const Case& c : cases) {
        const CommandClass k = Command_Classify(c.cmd, c.modeWord);
        EXPECT_EQ(k.description, c.text) << c.cmd;
        EXPECT_EQ(k.T1, c.t1) << c.cmd;
        EXPECT_EQ(k.T2, c.t2) << c.cmd;
    }
    EXPECT_EQ(Command_EchoName("\x10"), "Crtl P");
    EXPECT_EQ(Command_EchoName("\x1b"), "ESC");
    EXPECT_EQ(Command_EchoName("\x14\x03"), "Crtl T C");
    EXPECT_EQ(Command_EchoName("\x14\x13"), "\x14\x13");
}

TEST_F(Link, CompleteReply) {
    ASSERT_TRUE(ctx.log->Open(tp.Dir() / "mon" / "x.mon"));
    Answer("** PRESET FIELD  10 mT\r\n");
    Exec("FD010");
    EXPECT_EQ(tp.port.Written(), "FD010");  // no terminator
    EXPECT_FALSE(ctx.link.CmdError);
    EXPECT_EQ(ctx.link.ReplyText, "** PRESET FIELD  10 mT");
    EXPECT_TRUE(ctx.cmd->Completed());
    EXPECT_FALSE(ctx.cmd->InFlight());
    EXPECT_EQ(StatusText(), "SETTING AC FIELD");
    EXPECT_EQ(LampColor(), kLightOrange);
    EXPECT_TRUE(tp.dialogs.boxes.empty());
    // Whatever follows the line feed stays for the next reader.
    Answer("SD1\r\nextra\r\n");
    Exec("SD1");
    EXPECT_EQ(ctx.link.ReplyText, "SD1");
    EXPECT_EQ(tp.port.BytesAvailable(), 7);
}

TEST_F(Link, ShowFalseLeavesTheStatusLineAlone) {
    StatusPanel* text = ctx.ui->picStat[1];
    VbColor back = 0;
    StatusPanel_Print(text, back, kBlack, "BEFORE");
    Answer("12\xae\r\n");
    Exec("G", false);
    EXPECT_EQ(StatusText(), "BEFORE");
    EXPECT_EQ(ctx.link.ACFieldNow, 12);
    EXPECT_NE(ctx.ui->lblACField[0]->text(), "12 ");
}

TEST_F(Link, InBandProgressFollowedLive) {
    ctx.instr.ModeWordWanted = 1;
    ctx.settings.ZAVMODE = 3;
    ctx.settings.TOVDIR = 2;
    ctx.ui->lblACField[0]->setText("x");
    std::vector<QString> seen;
    auto step = [&](double at, const std::string& bytes) {
        tp.clock.After(at, [&, bytes] { tp.port.Deliver(bytes); });
        tp.clock.After(at + 0.05, [&] { seen.push_back(StatusText()); });
    };
    step(1, "\x18");
    step(2, "12");  // digits split across arrivals
    step(3, "34\xaf");
    step(4, "1234\xae");
    step(5, "12\xaa");
    step(6, "\x19");
    step(7, "150\xf6");
    step(8, "0\xf6");
    bool blinkDuring = false;
    tp.clock.After(1.1, [&] { blinkDuring = ctx.ui->timLEDBlink->isActive(); });
    tp.clock.After(3.1, [&] { EXPECT_EQ(ctx.ui->lblACField[0]->text(), "1234 "); });
    tp.clock.After(7.1, [&] { EXPECT_EQ(ctx.ui->lblDCField[0]->text(), "-150 "); });
    tp.clock.After(9, [&] { tp.port.Deliver("End of Ramp \r\n"); });
    Exec("G");
    EXPECT_TRUE(blinkDuring);
    EXPECT_FALSE(ctx.ui->timLEDBlink->isActive());
    EXPECT_EQ(seen, (std::vector<QString>{"AC FIELD UP    ", "AC FIELD UP    ", "AC FIELD UP    ",
                                          "AC FIELD DOWN  ", "AC FIELD MAX  12 s",
                                          "AC FIELD DOWN  ", "DC FIELD ON", "DC FIELD OFF"}));
    EXPECT_EQ(ctx.link.ACFieldNow, 1234);
    EXPECT_EQ(ctx.link.DCFieldNow, 0);
    EXPECT_EQ(ctx.ui->lblDCField[0]->text(), "0 ");
    EXPECT_FALSE(ctx.link.CmdError);
    // The in-band characters stay in the reply.
    EXPECT_EQ(ctx.link.ReplyText,
              "\x18"
              "1234\xaf"
              "1234\xae"
              "12\xaa\x19"
              "150\xf6"
              "0\xf6"
              "End of Ramp ");
}

TEST_F(Link, PulseTimeAndFrequencySearch) {
    ctx.instr.ModeWordWanted = 2;
    Answer("5000\xaa\r\n");
    Exec("G");
    EXPECT_EQ(StatusText(), "DC FIELD PULSE     5 s");
    // "d" reports a frequency during "z" only, whether shown or not.
    Answer("1045d");
    tp.port.responder = [](const std::string&) { return std::string("1045d"); };
    tp.clock.After(0.25, [&] { tp.port.Deliver("fg: 1045d 43.0 Hz\r\n"); });
    QString during;
    tp.clock.After(0.22, [&] { during = StatusText(); });
    Exec("z", false);
    EXPECT_EQ(during, "SEARCHING FOR AC FREQUENCY 43.1 Hz");
    // For other commands "d" is an ordinary character.
    Answer("1045d\xae\r\n");
    Exec("G");
    EXPECT_EQ(ctx.link.ACFieldNow, 1045);
}

// Each named error line and what the operator is asked.
struct DispatchCase {
    std::string line;
    VbColor lamp;
    QString prompt;
    int style;
    QString title;
    bool cmdError, cmdFatal, runCancel, b1;
};

class Dispatch : public Link, public ::testing::WithParamInterface<DispatchCase> {};

TEST_P(Dispatch, Row) {
    const DispatchCase& c = GetParam();
    tp.dialogs.boxAnswers = {kCancel};
    Answer(c.line + "\r\n");
    Exec("P12", false);
    EXPECT_EQ(LampColor(), c.lamp);
    EXPECT_EQ(StatusText(), QString::fromLatin1(c.line.c_str()).toUpper());
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    EXPECT_EQ(tp.dialogs.boxes[0].prompt, c.prompt);
    EXPECT_EQ(tp.dialogs.boxes[0].style, c.style);
    EXPECT_EQ(tp.dialogs.boxes[0].title, c.title);
    EXPECT_EQ(ctx.link.CmdError, c.cmdError);
    EXPECT_EQ(ctx.link.CmdFatal, c.cmdFatal);
    EXPECT_EQ(ctx.link.RunCancel, c.runCancel);
    EXPECT_EQ(tp.port.writes.back() == "B1", c.b1);
    EXPECT_EQ(ctx.link.ReplyText, c.line + "\r\n");  // raw
    EXPECT_FALSE(ctx.ui->timLEDBlink->isActive());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Dispatch,
    ::testing::Values(
        DispatchCase{"## Tumbler Out of Coil ", kRed, "TUMBLER IS OUT OF COIL!", 53, "Warning",
                     false, false, true, false},
        DispatchCase{"## User Tumbler Break ", kRed, "TUMBLER WAS PULLED OUT FROM THE COIL!", 48,
                     "User error", false, false, true, false},
        DispatchCase{"## YUL is OFF ", kLightOrange, "YUL1 UNIT IS OFF!", 53, "Warning", false,
                     false, true, false},
        DispatchCase{"-> Warning: Hot Coil ", kLightOrange, "-> Warning: Hot Coil ", 48, "Warning",
                     true, false, false, true},
        DispatchCase{"## Coil Overheated ", kRed, "## Coil Overheated \r\n\r\nZAVO WILL BE CLOSED!",
                     16, "Critical error", true, true, false, true},
        DispatchCase{"## Hypex Overheated ", kRed,
                     "## Hypex Overheated \r\n\r\nWAIT FOR REQUIRED TEMPERATURE.", 16,
                     "Critical error", true, false, false, false},
        DispatchCase{"## Unknown Cmd. ", kRed, "## Unknown Cmd. \r\n\r\nZAVO WILL BE CLOSED!", 16,
                     "Critical error", true, true, false, false}));

TEST_F(Link, RetryWritesTheSameCommandAgain) {
    int n = 0;
    tp.port.responder = [&](const std::string&) {
        return ++n < 3 ? std::string("## Tumbler Out of Coil \r\n")
                       : std::string("** POSITION SET \r\n");
    };
    tp.dialogs.boxAnswers = {kRetry, kRetry};
    double lastAsked = 0;
    tp.dialogs.onAsk = [&](const AskedBox&) {
        lastAsked = Now();
        VbColor back = 0;
        StatusPanel_Print(ctx.ui->picStat[1], back, kBlack, "IN DIALOG");
    };
    Exec("P12");
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"P12", "P12", "P12"}));
    EXPECT_EQ(tp.dialogs.boxes.size(), 2u);
    EXPECT_GE(tp.port.writeTimes[2] - lastAsked, 0.5);
    EXPECT_EQ(StatusText(), "SETTING SPECIMEN POSITION");  // announced again
    EXPECT_FALSE(ctx.link.CmdError);
    EXPECT_FALSE(ctx.link.RunCancel);
    EXPECT_EQ(ctx.link.ReplyText, "** POSITION SET ");
}

TEST_F(Link, TabletUsesLargeButtonsAndWaits) {
    ctx.settings.TOUCHMODE = true;
    tp.dialogs.largeAnswers = {false};
    Answer("## YUL is OFF \r\n");
    Exec("P12");
    ASSERT_EQ(tp.dialogs.large.size(), 1u);
    EXPECT_EQ(tp.dialogs.large[0], (QStringList{"RETRY", "CANCEL"}));
    EXPECT_TRUE(ctx.link.RunCancel);
    // Notices and the critical close only wait in tablet mode.
    Answer("## Unknown Cmd. \r\n");
    const double t0 = Now();
    Exec("P12");
    EXPECT_GE(Now() - t0, 3.0);
    EXPECT_TRUE(ctx.link.CmdFatal);
    EXPECT_TRUE(tp.dialogs.boxes.empty());
}

TEST_F(Link, HotCoilLineThenNormalReply) {
    tp.port.responder = [&](const std::string&) { return std::string("-> Warning: Hot Coil \r"); };
    tp.clock.After(1, [&] { tp.port.Deliver("SD1\r\n"); });
    Exec("SD1");
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"SD1", "B1"}));
    EXPECT_TRUE(ctx.link.CmdError);
    EXPECT_FALSE(ctx.link.CmdFatal);
    EXPECT_EQ(tp.dialogs.boxes.at(0).prompt, "-> Warning: Hot Coil ");
}

TEST_F(Link, TwoErrorLinesEndInTheCriticalClose) {
    Answer("## Position Error \r## Tumbler Out of Coil \r\n");
    Exec("P12");
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    EXPECT_EQ(tp.dialogs.boxes[0].prompt,
              "## Position Error \r## Tumbler Out of Coil \r\n\r\nZAVO WILL BE CLOSED!");
    EXPECT_TRUE(ctx.link.CmdFatal);
    EXPECT_FALSE(ctx.link.RunCancel);
}

TEST_F(Link, NoFirstCharacter) {
    ASSERT_TRUE(ctx.log->Open(tp.Dir() / "mon" / "x.mon"));
    const double t0 = Now();
    Exec("FD010");
    EXPECT_GE(Now() - t0, 2.0);
    EXPECT_LT(Now() - t0, 2.5);  // the input flush included
    EXPECT_EQ(ctx.link.ReplyText, "## NO MESSAGE RECEIVED! ");
    EXPECT_TRUE(ctx.link.CmdError);
    EXPECT_TRUE(ctx.link.CmdFatal);
    EXPECT_EQ(StatusText(), "## INSTRUMENT IS SWITCHED OFF! ");
    EXPECT_EQ(LampColor(), kRed);
    EXPECT_EQ(tp.dialogs.boxes.size(), 1u);
    ctx.log->Close();
    EXPECT_EQ(std::filesystem::file_size(tp.Dir() / "mon" / "x.mon"), 0u);
}

TEST_F(Link, QuietTimeOutsAreSilent) {
    const double t0 = Now();
    Exec("\x10", false, true);
    EXPECT_LT(Now() - t0, 0.8);  // T1 0.5 s
    EXPECT_FALSE(ctx.link.CmdError);
    EXPECT_FALSE(ctx.link.CmdFatal);
    EXPECT_FALSE(ctx.cmd->Completed());
    // Started but unfinished: what came is kept, unstripped; T2 is 0.1 s.
    Answer("\r** ZA");
    Exec("\x10", false, true);
    EXPECT_EQ(ctx.link.ReplyText, "\r** ZA");
    EXPECT_FALSE(ctx.link.CmdError);
    EXPECT_TRUE(tp.dialogs.boxes.empty());
}

TEST_F(Link, NoTermination) {
    Answer("abc");
    const double t0 = Now();
    Exec("FD010");
    EXPECT_NEAR(Now() - t0, 30.2 + 0.01, 0.1);
    EXPECT_EQ(ctx.link.ReplyText, "## NO TERMINATION RECEIVED! ");
    EXPECT_TRUE(ctx.link.CmdFatal);
}

TEST_F(Link, ExecuteMeasuresSilenceFromTheLatestCharacter) {
    // A run of 160 s with a character every 40 s is fine for "G" ...
    for (int i = 1; i <= 4; ++i) tp.clock.After(40.0 * i, [&] { tp.port.Deliver("."); });
    tp.clock.After(165, [&] { tp.port.Deliver("\r\n"); });
    Answer(".");
    Exec("G");
    EXPECT_FALSE(ctx.link.CmdError);
    // ... but any other command must finish within 30 s of its first character.
    for (int i = 1; i <= 4; ++i) tp.clock.After(10.0 * i, [&] { tp.port.Deliver("."); });
    Exec("IP");
    EXPECT_EQ(ctx.link.ReplyText, "## NO TERMINATION RECEIVED! ");
}

TEST_F(Link, ExecuteGivesUpAfterFiftySecondsOfSilence) {
    Answer(".");
    const double t0 = Now();
    Exec("G");
    EXPECT_NEAR(Now() - t0, 50.2 + 0.01, 0.1);
    EXPECT_EQ(ctx.link.ReplyText, "## NO TERMINATION RECEIVED! ");
}

TEST_F(Link, StopLeavesAtOnceExceptForExecuteAndReport) {
    ASSERT_TRUE(ctx.log->Open(tp.Dir() / "mon" / "x.mon"));
    Answer("** POS");
    tp.clock.After(1, [&] { ctx.run.StopRequest = true; });
    const double t0 = Now();
    Exec("P12");
    EXPECT_NEAR(Now() - t0, 1.0, 0.05);
    EXPECT_FALSE(ctx.link.CmdError);
    EXPECT_EQ(ctx.link.ReplyText, "** POS");
    EXPECT_FALSE(ctx.cmd->Completed());
    // Also while waiting for the first character.
    tp.port.responder = nullptr;
    Exec("y");
    EXPECT_FALSE(ctx.link.CmdError);
    EXPECT_FALSE(ctx.link.CmdFatal);
    // "G" and "IP" keep waiting for their reply.
    for (const char* cmd : {"G", "IP"}) {
        Answer("x");
        tp.clock.After(5, [&] { tp.port.Deliver("y\r\n"); });
        Exec(cmd);
        EXPECT_EQ(ctx.link.ReplyText, "xy") << cmd;
    }
    ctx.log->Close();
    std::ifstream in(tp.Dir() / "mon" / "x.mon", std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4) << "records for G and IP only";
    EXPECT_EQ(log.find("POS"), std::string::npos);
}

TEST(LinkMidnight, WaitsAcrossMidnight) {
    TestProgram tp;
    tp.clock.Advance(86399.0 - tp.clock.Now());
    ASSERT_TRUE(tp.port.Open(1));
    tp.port.responder = [](const std::string&) { return std::string("SD1"); };
    tp.port.replyDelay = 1.5;  // first character after midnight
    tp.clock.After(4, [&] { tp.port.Deliver("\r\n"); });
    tp.ctx().cmd->Command_Execute("SD1", true, false);
    EXPECT_FALSE(tp.ctx().link.CmdError);
    EXPECT_EQ(tp.ctx().link.ReplyText, "SD1");
    EXPECT_LT(tp.clock.Now(), 10);
    // No reply at all: the time-out still comes after T1, not a day later.
    tp.clock.Advance(86399.5 - tp.clock.Now());
    tp.port.responder = nullptr;
    const double t0 = tp.clock.Absolute();
    tp.ctx().cmd->Command_Execute("SD1", true, false);
    EXPECT_NEAR(tp.clock.Absolute() - t0, 5.0, 0.01);  // T1 of SD1; the line was quiet
    EXPECT_EQ(tp.ctx().link.ReplyText, "## NO MESSAGE RECEIVED! ");
}

TEST_F(Link, PortFailureMidReplyIsHandledOnce) {
    Answer("abc");
    tp.port.FailAfter(1.0);
    Exec("P12");
    EXPECT_TRUE(ctx.link.CmdError);
    EXPECT_TRUE(ctx.link.CmdFatal);
    EXPECT_EQ(ctx.link.ReplyText, "abc");
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    EXPECT_EQ(tp.dialogs.boxes[0].prompt,
              "## INSTRUMENT IS DISCONNECTED! \r\n\r\nZAVO WILL BE CLOSED!");
    EXPECT_EQ(StatusText(), "## INSTRUMENT IS DISCONNECTED! ");
    // A caller that goes on anyway gets an error, not a second box.
    Exec("H0");
    EXPECT_TRUE(ctx.link.CmdError);
    EXPECT_EQ(tp.dialogs.boxes.size(), 1u);
}

TEST_F(Link, ClosedPortIsAnErrorWithoutClosingTheProgram) {
    tp.port.Close();
    Exec("FD010");
    EXPECT_TRUE(ctx.link.CmdError);
    EXPECT_FALSE(ctx.link.CmdFatal);
    EXPECT_TRUE(tp.port.writes.empty());
    EXPECT_EQ(StatusText(), "## PORT IS NOT OPEN!");
}

TEST_F(Link, NestedExchangeIsRefusedAndDisturbsNothing) {
    tp.port.responder = [](const std::string& cmd) {
        return cmd == "G" ? std::string("12\xae") : std::string();
    };
    bool nestedError = false;
    std::string nestedReply = "unset";
    tp.clock.After(1, [&] {
        EXPECT_TRUE(ctx.cmd->InFlight());
        ctx.cmd->Command_Execute("j", true, false);  // e.g. a timer during a run
        nestedError = ctx.link.CmdError;
        nestedReply = ctx.link.ReplyText;
        tp.port.Deliver("5");  // the running reply goes on meanwhile
        double t = 1;
        EXPECT_EQ(ctx.cmd->Reply_Read(t), "");
        ctx.cmd->Input_Flush();
        ctx.cmd->Command_Send("\x1b");  // ABORT is allowed
    });
    tp.clock.After(2, [&] { tp.port.Deliver("34\xae\r\n"); });
    Exec("G");
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"G", "\x1b"}));
    EXPECT_TRUE(nestedError);
    EXPECT_EQ(nestedReply, "");
    EXPECT_EQ(ctx.cmd->Refused(), 1);
    EXPECT_FALSE(ctx.link.CmdError);
    EXPECT_EQ(ctx.link.ReplyText,
              "12\xae"
              "534\xae");
    EXPECT_EQ(ctx.link.ACFieldNow, 534);
    EXPECT_EQ(StatusText(), "AC FIELD DOWN  ");
}

TEST_F(Link, NestedCallDuringADialogDoesNotChangeTheOutcome) {
    Answer("## YUL is OFF \r\n");
    tp.dialogs.boxAnswers = {kCancel};
    tp.dialogs.onAsk = [&](const AskedBox&) { ctx.cmd->Command_Execute("j", false, false); };
    Exec("SD1");
    EXPECT_FALSE(ctx.link.CmdError);
    EXPECT_TRUE(ctx.link.RunCancel);
    EXPECT_EQ(tp.port.writes.size(), 1u);
}

TEST_F(Link, InputFlushWaitsForSilenceBeforeWriting) {
    // Stale output from the controller keeps coming for a while.
    tp.port.Deliver("old");
    for (int i = 1; i <= 5; ++i) tp.clock.After(0.1 * i, [&] { tp.port.Deliver("x"); });
    Answer("SD0\r\n");
    const double t0 = Now();
    Exec("SD0");
    EXPECT_EQ(ctx.link.ReplyText, "SD0");
    EXPECT_NEAR(tp.port.writeTimes[0] - t0, 0.7, 0.02);
    // Right after a whole reply the line is known to be quiet only 0.2 s
    // later; after that, nothing delays the next command.
    Wait_Seconds(tp.clock, 0.3);
    const double t1 = Now();
    Exec("SD0");
    EXPECT_LT(tp.port.writeTimes[1] - t1, 0.001);
}

TEST_F(Link, ReplyReadCollectsOneMoreLine) {
    ctx.settings.SERVMODE = true;
    tp.port.Deliver("** STOP \r\nnext");
    double t = 0;
    EXPECT_EQ(ctx.cmd->Reply_Read(t), "** STOP \r\n");
    EXPECT_EQ(t, 3.0);
    // An unfinished line ends 3 s after its first character.
    const double t0 = Now();
    EXPECT_EQ(ctx.cmd->Reply_Read(t), "next");
    EXPECT_NEAR(Now() - t0, 3.0, 0.05);
    double shortWait = 0.5;
    EXPECT_EQ(ctx.cmd->Reply_Read(shortWait), "");
    EXPECT_EQ(ctx.ui->txtTerm->toPlainText(), "** STOP \nnext");
}
