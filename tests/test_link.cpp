// The command transaction on a scripted port and a fake clock.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTimer>

#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/StatusLine.h"
#include "link/Waits.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;

class Link : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tp.port.Open(1)); }
    void Answer(std::string r) {
        tp.port.responder = [r](auto&) { return r; };
    }
    double Exec(const std::string& cmd, bool show = true, bool quiet = false) {
        const double t0 = Now();
        ctx.cmd->Command_Execute(cmd, show, quiet);
        return Now() - t0;
    }
    QString StatusText() const { return ctx.ui->picStat[1]->Text(); }
    VbColor LampColor() const { return ctx.ui->picStat[0]->Back(); }
    double Now() const { return tp.clock.Absolute(); }
    void Status(const QString& text) {
        VbColor back = 0;
        StatusPanel_Print(ctx.ui->picStat[1], back, kBlack, text);
    }
    TestProgram tp;
    Ctx& ctx = tp.ctx();
};

TEST(Classification, DescriptionsAndTimeouts) {
    // clang-format off
    const std::tuple<std::string, int, QString, double, double> cases[] = {
        {"ET05", 1, "SETTING AC RAMP TIME", 2, 30}, {"ET05", 2, "SETTING PULSE TIME", 2, 30},
        {"G", 1, "EXECUTE", 200, 50}, {"P00", 1, "INITIALIZING TUMBLER", 30, 30}, {"fd", 1, "", 2, 30},
        {"\x1b", 1, "IMMEDIATE STOP", 3, 30}, {"i", 1, "INITIALIZING TUMBLER", 40, 30}};
    // clang-format on
    for (const auto& [cmd, word, text, t1, t2] : cases) {
        const CommandClass k = Command_Classify(cmd, word);
        EXPECT_EQ(std::tuple(k.description, k.T1, k.T2), std::tuple(text, t1, t2)) << cmd;
    }
    EXPECT_EQ(Command_EchoName("\x14\x03") + "|" + Command_EchoName("\x14\x13"),
              "Crtl T C|\x14\x13");
}

TEST_F(Link, CompleteReplyAndWhatFollowsIt) {
    Answer("** PRESET FIELD  10 mT\r\n");
    Exec("FD010");
    EXPECT_EQ(tp.port.Written(), "FD010");  // no terminator
    EXPECT_EQ(ctx.link.ReplyText, "** PRESET FIELD  10 mT");
    EXPECT_TRUE(ctx.cmd->Completed() && !ctx.cmd->InFlight() && !ctx.link.CmdError);
    EXPECT_EQ(std::pair(StatusText(), LampColor()),
              std::pair(QString("SETTING AC FIELD"), kLightOrange));
    Answer("SD1\r\nextra\r\n");  // what follows the line feed stays for the next reader
    Exec("SD1");
    EXPECT_EQ(std::pair(ctx.link.ReplyText, tp.port.BytesAvailable()),
              std::pair(std::string("SD1"), 7));
    Status("BEFORE");  // not shown: status line and meters stay
    Answer("12\xae\r\n");
    Exec("G", false);
    EXPECT_EQ(StatusText() + "|" + ctx.ui->lblACField[0]->text(), "BEFORE|0 ");
    EXPECT_EQ(ctx.link.ACFieldNow, 12);
}

TEST_F(Link, InBandProgressFollowedLive) {
    ctx.settings.ZAVMODE = 3;
    ctx.settings.TOVDIR = 2;
    std::vector<QString> seen;
    double at = 0;  // digits split across arrivals
    for (const char* bytes :
         {"\x18", "12", "34\xaf", "1234\xae", "12\xaa", "\x19", "150\xf6", "0\xf6"}) {
        tp.clock.After(++at, [&, bytes] { tp.port.Deliver(bytes); });
        tp.clock.After(at + 0.05, [&] { seen.push_back(StatusText()); });
    }
    tp.clock.After(1.1, [&] { EXPECT_TRUE(ctx.ui->timLEDBlink->isActive()); });
    tp.clock.After(3.1, [&] { EXPECT_EQ(ctx.ui->lblACField[0]->text(), "1234 "); });
    tp.clock.After(7.1, [&] { EXPECT_EQ(ctx.ui->lblDCField[0]->text(), "-150 "); });
    tp.clock.After(9, [&] { tp.port.Deliver("End of Ramp \r\n"); });
    Exec("G");
    EXPECT_FALSE(ctx.ui->timLEDBlink->isActive() || ctx.link.CmdError);
    EXPECT_EQ(seen, (std::vector<QString>{"AC FIELD UP    ", "AC FIELD UP    ", "AC FIELD UP    ",
                                          "AC FIELD DOWN  ", "AC FIELD MAX  12 s",
                                          "AC FIELD DOWN  ", "DC FIELD ON", "DC FIELD OFF"}));
    EXPECT_EQ(std::pair(ctx.link.ACFieldNow, ctx.link.DCFieldNow), std::pair(1234.f, 0.f));
    EXPECT_EQ(ctx.ui->lblDCField[0]->text(), "0 ");
    EXPECT_EQ(ctx.link.ReplyText, "\0301234\2571234\25612\252\031150\3660\366End of Ramp ");
}

TEST_F(Link, PulseTimeAndFrequencySearch) {
    ctx.instr.ModeWordWanted = 2;
    Answer("5000\xaa\r\n");
    Exec("G");
    EXPECT_EQ(StatusText(), "DC FIELD PULSE     5 s");
    // "d" reports a frequency during "z" only, whether shown or not.
    Answer("1045d");
    tp.clock.After(0.25, [&] { tp.port.Deliver("fg: 1045d 43.0 Hz\r\n"); });
    tp.clock.After(0.22, [&] { EXPECT_EQ(StatusText(), "SEARCHING FOR AC FREQUENCY 43.1 Hz"); });
    Exec("z", false);
    Answer("1045d\xae\r\n");  // for other commands "d" is an ordinary character
    Exec("G");
    EXPECT_EQ(ctx.link.ACFieldNow, 1045);
}

TEST_F(Link, EachNamedErrorLineAndWhatTheOperatorIsAsked) {
    // line, lamp, prompt, style, title, CmdError, CmdFatal, RunCancel, "B1" sent
    // clang-format off
    const std::tuple<std::string, VbColor, QString, int, QString, bool, bool, bool, bool> rows[] = {
        {"## Tumbler Out of Coil ", kRed, "TUMBLER IS OUT OF COIL!", 53, "Warning", false, false, true, false},
        {"## User Tumbler Break ", kRed, "TUMBLER WAS PULLED OUT FROM THE COIL!", 48, "User error", false, false, true, false},
        {"## YUL is OFF ", kLightOrange, "YUL1 UNIT IS OFF!", 53, "Warning", false, false, true, false},
        {"-> Warning: Hot Coil ", kLightOrange, "-> Warning: Hot Coil ", 48, "Warning", true, false, false, true},
        {"## Coil Overheated ", kRed, "## Coil Overheated \r\n\r\nZAVO WILL BE CLOSED!", 16, "Critical error", true, true, false, true},
        {"## Hypex Overheated ", kRed, "## Hypex Overheated \r\n\r\nWAIT FOR REQUIRED TEMPERATURE.", 16, "Critical error", true, false, false, false},
        {"## Unknown Cmd. ", kRed, "## Unknown Cmd. \r\n\r\nZAVO WILL BE CLOSED!", 16, "Critical error", true, true, false, false}};
    // clang-format on
    for (const auto& [line, lamp, prompt, style, title, error, fatal, cancel, b1] : rows) {
        SCOPED_TRACE(line);
        tp.dialogs.boxes.clear();
        tp.dialogs.boxAnswers = {kCancel};
        ctx.link.RunCancel = ctx.link.CmdFatal = false;
        Answer(line + "\r\n");
        Exec("P12", false);
        EXPECT_EQ(std::pair(StatusText(), LampColor()),
                  std::pair(QString::fromLatin1(line).toUpper(), lamp));
        const AskedBox& box = tp.dialogs.boxes.at(0);
        EXPECT_EQ(std::tuple(box.prompt, box.style, box.title), std::tuple(prompt, style, title));
        EXPECT_EQ(std::tuple(ctx.link.CmdError, ctx.link.CmdFatal, ctx.link.RunCancel,
                             tp.port.writes.back() == "B1", ctx.ui->timLEDBlink->isActive(),
                             tp.dialogs.boxes.size(), ctx.link.ReplyText),  // the reply raw
                  std::tuple(error, fatal, cancel, b1, false, size_t(1), line + "\r\n"));
    }
}

TEST_F(Link, RetryHotCoilTwoErrorLinesAndTheTablet) {
    int n = 0;
    tp.port.responder = [&](auto&) {
        return ++n < 3 ? "## Tumbler Out of Coil \r\n" : "** POSITION SET \r\n";
    };
    tp.dialogs.boxAnswers = {kRetry, kRetry};
    tp.dialogs.onAsk = [&](const AskedBox&) { Status("IN DIALOG"); };
    Exec("P12");
    EXPECT_EQ(tp.port.Written(), "P12P12P12");  // the same command again, 0.5 s after the box
    EXPECT_GE(tp.port.writeTimes[2] - tp.port.writeTimes[1], 0.5 + 0.01);
    EXPECT_EQ(StatusText(), "SETTING SPECIMEN POSITION");  // announced again
    EXPECT_TRUE(ctx.link.ReplyText == "** POSITION SET " && !ctx.link.CmdError &&
                !ctx.link.RunCancel);
    Answer("-> Warning: Hot Coil \r");  // then the normal reply
    tp.clock.After(1, [&] { tp.port.Deliver("SD1\r\n"); });
    Exec("SD1");
    EXPECT_EQ(tp.port.Written(), "P12P12P12SD1B1");
    EXPECT_TRUE(ctx.link.CmdError && !ctx.link.CmdFatal &&
                tp.dialogs.boxes.at(2).prompt == "-> Warning: Hot Coil ");
    Answer("## Position Error \r## Tumbler Out of Coil \r\n");  // two lines: the critical close
    Exec("P12");
    EXPECT_EQ(tp.dialogs.boxes.back().prompt,
              "## Position Error \r## Tumbler Out of Coil \r\n\r\nZAVO WILL BE CLOSED!");
    EXPECT_TRUE(ctx.link.CmdFatal && !ctx.link.RunCancel);
    ctx.settings.TOUCHMODE = true;  // large buttons; notices and the critical close wait
    tp.dialogs.boxes.clear();
    tp.dialogs.largeAnswers = {false};
    Answer("## YUL is OFF \r\n");
    Exec("P12");
    EXPECT_EQ(tp.dialogs.large, (std::vector<QStringList>{{"RETRY", "CANCEL"}}));
    EXPECT_TRUE(ctx.link.RunCancel);
    Answer("## Unknown Cmd. \r\n");
    EXPECT_GE(Exec("P12"), 3.0);
    EXPECT_TRUE(ctx.link.CmdFatal && tp.dialogs.boxes.empty());
}

TEST_F(Link, TimeOuts) {
    // command, answer, quiet, shortest and longest wait, reply, fatal
    // clang-format off
    const std::tuple<std::string, std::string, bool, double, double, std::string, bool> rows[] = {
        {"\x10", "", true, 0.5, 0.8, "", false},  // T1 0.5 s, silent
        {"\x10", "\r** ZA", true, 0.1, 0.8, "\r** ZA", false},  // started: kept unstripped; T2 0.1 s
        {"FD010", "abc", false, 30.11, 30.31, "## NO TERMINATION RECEIVED! ", true},
        {"G", ".", false, 50.11, 50.31, "## NO TERMINATION RECEIVED! ", true},  // silence
        {"FD010", "", false, 2.0, 2.5, "## NO MESSAGE RECEIVED! ", true}};  // the input flush included
    // clang-format on
    for (const auto& [cmd, answer, quiet, lo, hi, reply, fatal] : rows) {
        SCOPED_TRACE(cmd + answer);
        tp.dialogs.boxes.clear();
        Answer(answer);
        ASSERT_TRUE(ctx.log->Open(tp.Dir() / "mon" / "x.mon"));
        const double took = Exec(cmd, true, quiet);
        ctx.log->Close();
        EXPECT_TRUE(took >= lo && took < hi) << took;
        EXPECT_EQ(std::tuple(ctx.link.ReplyText, ctx.link.CmdError, ctx.link.CmdFatal,
                             tp.dialogs.boxes.size(), ctx.cmd->Completed()),
                  std::tuple(reply, fatal, fatal, size_t(fatal), false));
    }
    EXPECT_EQ(std::pair(StatusText(), LampColor()),
              std::pair(QString("## INSTRUMENT IS SWITCHED OFF! "), kRed));
    EXPECT_EQ(ReadBytes(tp.Dir() / "mon" / "x.mon"), "");  // no record without a whole reply
    // "G" measures silence from the latest character; others must finish within 30 s.
    for (int i = 1; i <= 4; ++i) tp.clock.After(40.0 * i, [&] { tp.port.Deliver("."); });
    tp.clock.After(165, [&] { tp.port.Deliver("\r\n"); });
    Answer(".");
    Exec("G");
    EXPECT_FALSE(ctx.link.CmdError);
    for (int i = 1; i <= 4; ++i) tp.clock.After(10.0 * i, [&] { tp.port.Deliver("."); });
    Exec("IP");
    EXPECT_EQ(ctx.link.ReplyText, "## NO TERMINATION RECEIVED! ");
}

TEST_F(Link, StopLeavesAtOnceExceptForExecuteAndReport) {
    ASSERT_TRUE(ctx.log->Open(tp.Dir() / "mon" / "x.mon"));
    Answer("** POS");
    tp.clock.After(1, [&] { ctx.run.StopRequest = true; });
    EXPECT_NEAR(Exec("P12"), 1.0, 0.05);
    EXPECT_TRUE(ctx.link.ReplyText == "** POS" && !ctx.cmd->Completed() && !ctx.link.CmdError);
    tp.port.responder = nullptr;  // also while waiting for the first character
    Exec("y");
    EXPECT_FALSE(ctx.link.CmdError || ctx.link.CmdFatal);
    for (const char* cmd : {"G", "IP"}) {  // these keep waiting for their reply
        Answer("x");
        tp.clock.After(5, [&] { tp.port.Deliver("y\r\n"); });
        Exec(cmd);
        EXPECT_EQ(ctx.link.ReplyText, "xy") << cmd;
    }
    ctx.log->Close();
    const std::string log = ReadBytes(tp.Dir() / "mon" / "x.mon");  // records for G and IP only
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4) << log;
}

TEST_F(Link, WaitsAcrossMidnight) {
    tp.clock.Advance(86399.0 - tp.clock.Now());
    Answer("SD1");
    tp.port.replyDelay = 1.5;  // first character after midnight
    tp.clock.After(4, [&] { tp.port.Deliver("\r\n"); });
    Exec("SD1");
    EXPECT_TRUE(!ctx.link.CmdError && ctx.link.ReplyText == "SD1" && tp.clock.Now() < 10);
    tp.clock.Advance(86399.5 - tp.clock.Now());  // no reply: time-out after T1, not a day later
    tp.port.responder = nullptr;
    EXPECT_NEAR(Exec("SD1"), 5.0, 0.01);
    EXPECT_EQ(ctx.link.ReplyText, "## NO MESSAGE RECEIVED! ");
}

TEST_F(Link, ClosedPortAndPortFailureMidReply) {
    tp.port.Close();  // an error, without closing the program
    Exec("FD010");
    EXPECT_TRUE(ctx.link.CmdError && !ctx.link.CmdFatal && tp.port.writes.empty());
    EXPECT_EQ(StatusText(), "## PORT IS NOT OPEN!");
    ASSERT_TRUE(tp.port.Open(1));
    Answer("abc");
    tp.port.FailAfter(1.0);
    Exec("P12");
    EXPECT_TRUE(ctx.link.CmdError && ctx.link.CmdFatal && ctx.link.ReplyText == "abc");
    EXPECT_EQ(tp.dialogs.boxes.at(0).prompt,
              "## INSTRUMENT IS DISCONNECTED! \r\n\r\nZAVO WILL BE CLOSED!");
    Exec("H0");  // a caller that goes on anyway gets an error, not a second box
    EXPECT_TRUE(ctx.link.CmdError && tp.dialogs.boxes.size() == 1);
}

TEST_F(Link, NestedExchangeIsRefusedAndDisturbsNothing) {
    tp.port.responder = [](const std::string& cmd) { return cmd == "G" ? "12\xae" : ""; };
    tp.clock.After(1, [&] {
        EXPECT_TRUE(ctx.cmd->InFlight());
        ctx.cmd->Command_Execute("j", true, false);  // e.g. a timer during a run
        EXPECT_TRUE(ctx.link.CmdError && ctx.link.ReplyText.empty());
        tp.port.Deliver("5");  // the running reply goes on meanwhile
        double t = 1;
        EXPECT_EQ(ctx.cmd->Reply_Read(t), "");
        ctx.cmd->Input_Flush();
        ctx.cmd->Command_Send("\x1b");  // ABORT is allowed
    });
    tp.clock.After(2, [&] { tp.port.Deliver("34\xae\r\n"); });
    Exec("G");
    EXPECT_EQ(tp.port.Written(), "G\x1b");
    EXPECT_TRUE(ctx.cmd->Refused() == 1 && !ctx.link.CmdError &&
                ctx.link.ReplyText == "12\256534\256");
    EXPECT_EQ(std::pair(ctx.link.ACFieldNow, StatusText()),
              std::pair(534.f, QString("AC FIELD DOWN  ")));
    Answer("## YUL is OFF \r\n");  // nor during a dialog
    tp.dialogs.boxAnswers = {kCancel};
    tp.dialogs.onAsk = [&](const AskedBox&) { ctx.cmd->Command_Execute("j", false, false); };
    Exec("SD1");
    EXPECT_TRUE(!ctx.link.CmdError && ctx.link.RunCancel && tp.port.Written() == "G\x1bSD1");
}

TEST_F(Link, InputFlushWaitsForSilenceAndReplyReadTakesOneMoreLine) {
    tp.port.Deliver("old");  // stale output keeps coming for a while
    for (int i = 1; i <= 5; ++i) tp.clock.After(0.1 * i, [&] { tp.port.Deliver("x"); });
    Answer("SD0\r\n");
    const double t0 = Now();
    Exec("SD0");
    EXPECT_NEAR(tp.port.writeTimes[0] - t0, 0.7, 0.02);
    // Right after a whole reply the line is known to be quiet 0.2 s later: no flush wait.
    Wait_Seconds(tp.clock, 0.3);
    const double t1 = Now();
    Exec("SD0");
    EXPECT_LT(tp.port.writeTimes[1] - t1, 0.001);
    tp.port.Deliver("** STOP \r\nnext");  // Reply_Read collects one more line
    double t = 0;
    EXPECT_EQ(ctx.cmd->Reply_Read(t), "** STOP \r\n");
    EXPECT_EQ(t, 3.0);
    const double t2 = Now();  // an unfinished line ends 3 s after its first character
    EXPECT_EQ(ctx.cmd->Reply_Read(t), "next");
    EXPECT_NEAR(Now() - t2, 3.0, 0.05);
    double shortWait = 0.5;
    EXPECT_EQ(ctx.cmd->Reply_Read(shortWait), "");
}
