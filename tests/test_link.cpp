// The command transaction on a scripted port and a fake clock.
#include <gtest/gtest.h>

#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;

class Link : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tp.port.Open(1)); }
    // Every command answered with reply ("": silence).
    std::string Run(const std::string& cmd, std::string r, bool show = true, bool quiet = false) {
        tp.port.responder = [r](auto&) { return r; };
        return Exec(cmd, show, quiet);
    }
    // The reply and the flags raised: E(rror), F(atal), C(ancel the run).
    std::string Exec(const std::string& cmd, bool show = true, bool quiet = false) {
        start = tp.clock.Absolute();
        ctx.cmd->Command_Execute(cmd, show, quiet);
        took = tp.clock.Absolute() - start;
        return ctx.link.ReplyText + "|" + (ctx.link.CmdError ? "E" : "") +
               (ctx.link.CmdFatal ? "F" : "") + (ctx.link.RunCancel ? "C" : "");
    }
    QString StatusText() const { return ctx.ui->picStat[1]->Text(); }
    VbColor LampColor() const { return ctx.ui->picStat[0]->Back(); }
    void Status(const QString& s) { StatusPanel_Print(ctx.ui->picStat[1], back, kBlack, s); }
    TestProgram tp;
    Ctx& ctx = tp.ctx();
    double start = 0, took = 0;  // of the latest exchange
    VbColor back = 0;
};

// Every row of the classification, and commands that get the defaults.
TEST(LinkClassify, DescriptionAndTimeLimitsOfEveryCommand) {
    struct Row {
        std::string cmd;
        int modeWord;
        const char* description;
        double T1, T2;
    };
    // clang-format off
    const Row rows[] = {
        {"\x10",  1, "FIRMWARE VERSION",            0.5, 0.1},
        {"FD010", 1, "SETTING AC FIELD",              2, 30},
        {"FM100", 1, "SETTING DC FIELD",              2, 30},
        {"FP015", 1, "SETTING DC FIELD",              2, 30},
        {"A040",  1, "SETTING AC FOR DC OFF",         2, 30},
        {"M2",    1, "SETTING INSTRUMENT MODE",       2, 30},
        {"SD0",   1, "SWITCHING DEMAGNETIZER OFF",    5, 30},
        {"SD1",   1, "SWITCHING DEMAGNETIZER ON",     5, 30},
        {"SM0",   1, "SWITCHING MAGNETIZER OFF",      5, 30},
        {"SM1",   1, "SWITCHING MAGNETIZER ON",       5, 30},
        {"H0",    1, "SWITCHING AMPLIFIER OFF",       2, 30},
        {"H1",    1, "SWITCHING AMPLIFIER ON",        2, 30},
        {"ES2",   1, "SETTING AC DECREASE SHAPE",     2, 30},
        {"ER3",   1, "SETTING AC DECREASE RATE",      2, 30},
        {"ET05",  1, "SETTING AC RAMP TIME",          2, 30},
        {"ET05",  2, "SETTING PULSE TIME",            2, 30},
        {"D2",    1, "SETTING PULSE DIRECTION",       2, 30},
        {"G",     1, "EXECUTE",                     200, 50},
        {"IP",    1, "LISTING INFO PARAMETERS",       2, 30},
        {"IE",    1, "LISTING EEPROM DATA",           2, 30},
        {"J",     1, "READING CURRENT STATUS",        2, 30},
        {"j",     1, "READING CURRENT STATUS",        2, 30},
        {"y",     1, "READING TEMPERATURE",           2, 30},
        {"t",     1, "STARTING TUMBLER",              2, 30},
        {"P12",   1, "SETTING SPECIMEN POSITION",    30, 30},
        {"P00",   1, "INITIALIZING TUMBLER",         30, 30},
        {"\x1b",  1, "IMMEDIATE STOP",                3, 30},
        {"w",     1, "IGNORATION OF WPOS SIGNAL",     2, 30},
        {"i",     1, "INITIALIZING TUMBLER",         40, 30},
        {"z",     1, "SEARCHING FOR AC FREQUENCY",  100, 30},
        // No description, the default limits.
        {"F1",    1, "", 2, 30}, {"SX1", 1, "", 2, 30}, {"S",  1, "", 2, 30},
        {"H2",    1, "", 2, 30}, {"EX",  1, "", 2, 30}, {"I",  1, "", 2, 30},
        {"IX",    1, "", 2, 30}, {"fd0", 1, "", 2, 30}, {"B1", 1, "", 2, 30},
        {"",      1, "", 2, 30}, {"x",   1, "", 2, 30}};
    // clang-format on
    for (const Row& r : rows) {
        const CommandClass k = Command_Classify(r.cmd, r.modeWord);
        EXPECT_EQ(k.description, QString(r.description)) << "command '" << r.cmd << "'";
        EXPECT_EQ(k.T1, r.T1) << "command '" << r.cmd << "'";
        EXPECT_EQ(k.T2, r.T2) << "command '" << r.cmd << "'";
    }
}

TEST_F(Link, ClassesCompleteRepliesAndWhatTheyReport) {
    EXPECT_EQ(Command_EchoName("\x14\x03") + "|" + Command_EchoName("\x14\x13"),
              "Crtl T C|\x14\x13");
    EXPECT_EQ(Run("FD010", "** PRESET FIELD  10 mT\r\n"), "** PRESET FIELD  10 mT|");
    EXPECT_TRUE(ctx.cmd->Completed() && !ctx.cmd->InFlight() && tp.port.Written() == "FD010");
    EXPECT_EQ(std::pair(StatusText(), LampColor()),
              std::pair(QString("SETTING AC FIELD"), kLightOrange));
    EXPECT_TRUE(Run("SD1", "SD1\r\nextra\r\n") == "SD1|" && tp.port.BytesAvailable() == 7);
    Status("BEFORE");  // not shown: status line and meters stay
    Run("G", "12\xae\r\n", false);
    EXPECT_EQ(std::pair(StatusText() + "|" + ctx.ui->lblACField[0]->text(), ctx.link.ACFieldNow),
              std::pair(QString("BEFORE|0 "), 12.f));
    ctx.settings.ZAVMODE = 3;  // in-band progress, followed live
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
    EXPECT_EQ(Run("G", ""), "\0301234\2571234\25612\252\031150\3660\366End of Ramp |");
    EXPECT_EQ(seen, (std::vector<QString>{"AC FIELD UP    ", "AC FIELD UP    ", "AC FIELD UP    ",
                                          "AC FIELD DOWN  ", "AC FIELD MAX  12 s",
                                          "AC FIELD DOWN  ", "DC FIELD ON", "DC FIELD OFF"}));
    EXPECT_EQ(std::tuple(ctx.link.ACFieldNow, ctx.link.DCFieldNow, ctx.ui->lblDCField[0]->text(),
                         ctx.ui->timLEDBlink->isActive()),
              std::tuple(1234.f, 0.f, QString("0 "), false));
    ctx.instr.ModeWordWanted = 2;
    Run("G", "5000\xaa\r\n");
    EXPECT_EQ(StatusText(), "DC FIELD PULSE     5 s");
    tp.clock.After(0.25, [&] { tp.port.Deliver("fg: 1045d 43.0 Hz\r\n"); });
    tp.clock.After(0.22, [&] { EXPECT_EQ(StatusText(), "SEARCHING FOR AC FREQUENCY 43.1 Hz"); });
    Run("z", "1045d", false);   // "d": a frequency, during "z" only, shown or not
    Run("G", "1045d\xae\r\n");  // for other commands "d" is an ordinary character
    EXPECT_EQ(ctx.link.ACFieldNow, 1045);
}

TEST_F(Link, EachNamedErrorLineAndWhatTheOperatorIsAsked) {
    // line, lamp, prompt, style, title, flags raised, "B1" sent
    // clang-format off
    const std::tuple<std::string, VbColor, QString, int, QString, std::string, bool> rows[] = {
        {"## Tumbler Out of Coil ", kRed, "TUMBLER IS OUT OF COIL!", 53, "Warning", "C", false},
        {"## User Tumbler Break ", kRed, "TUMBLER WAS PULLED OUT FROM THE COIL!", 48, "User error", "C", false},
        {"## YUL is OFF ", kLightOrange, "YUL1 UNIT IS OFF!", 53, "Warning", "C", false},
        {"-> Warning: Hot Coil ", kLightOrange, "-> Warning: Hot Coil ", 48, "Warning", "E", true},
        {"## Coil Overheated ", kRed, "## Coil Overheated \r\n\r\nZAVO WILL BE CLOSED!", 16, "Critical error", "EF", true},
        {"## Hypex Overheated ", kRed, "## Hypex Overheated \r\n\r\nWAIT FOR REQUIRED TEMPERATURE.", 16, "Critical error", "E", false},
        {"## Unknown Cmd. ", kRed, "## Unknown Cmd. \r\n\r\nZAVO WILL BE CLOSED!", 16, "Critical error", "EF", false}};
    // clang-format on
    for (const auto& [line, lamp, prompt, style, title, flags, b1] : rows) {
        SCOPED_TRACE(line);
        tp.dialogs.boxes.clear();
        tp.dialogs.boxAnswers = {kCancel};
        ctx.link.RunCancel = ctx.link.CmdFatal = false;
        EXPECT_EQ(Run("P12", line + "\r\n", false), line + "\r\n|" + flags);  // the reply raw
        const AskedBox& box = tp.dialogs.boxes.at(0);
        EXPECT_EQ(std::tuple(StatusText(), LampColor(), box.prompt, box.style, box.title),
                  std::tuple(QString::fromLatin1(line).toUpper(), lamp, prompt, style, title));
        EXPECT_TRUE(tp.dialogs.boxes.size() == 1 && !ctx.ui->timLEDBlink->isActive());
        EXPECT_EQ(tp.port.writes.back() == "B1", b1);
    }
}

TEST_F(Link, RetryHotCoilTwoErrorLinesAndTheTablet) {
    tp.port.responder = [n = 0](auto&) mutable {
        return ++n < 3 ? "## Tumbler Out of Coil \r\n" : "** POSITION SET \r\n";
    };
    tp.dialogs.boxAnswers = {kRetry, kRetry};
    tp.dialogs.onAsk = [&](const AskedBox&) { Status("IN DIALOG"); };
    EXPECT_EQ(Exec("P12"), "** POSITION SET |");
    EXPECT_GE(tp.port.writeTimes[2] - tp.port.writeTimes[1], 0.5 + 0.01);  // the same again
    EXPECT_EQ(StatusText(), "SETTING SPECIMEN POSITION");                  // announced again
    tp.clock.After(1, [&] { tp.port.Deliver("SD1\r\n"); });
    Run("SD1", "-> Warning: Hot Coil \r");  // then the normal reply, then the alarm off
    EXPECT_EQ(tp.port.Written(), "P12P12P12SD1B1");
    EXPECT_EQ(Run("P12", "## Position Error \r## Tumbler Out of Coil \r\n"),  // the critical close
              "## Position Error \r## Tumbler Out of Coil \r\n|EF");
    EXPECT_EQ(tp.dialogs.boxes.back().prompt,
              "## Position Error \r## Tumbler Out of Coil \r\n\r\nZAVO WILL BE CLOSED!");
    // The program is ending: a further error is logged, not asked about again.
    EXPECT_EQ(Run("IP", "## Unknown Cmd. \r\n"), "## Unknown Cmd. \r\n|EF");
    EXPECT_EQ(tp.dialogs.boxes.size(), 4u);
    ctx.link.CmdFatal = false;
    ctx.settings.TOUCHMODE = true;  // large buttons; notices and the critical close wait
    tp.dialogs.largeAnswers = {false};
    EXPECT_EQ(Run("P12", "## YUL is OFF \r\n"), "## YUL is OFF \r\n|C");
    EXPECT_EQ(tp.dialogs.large, (std::vector<QStringList>{{"RETRY", "CANCEL"}}));
    EXPECT_EQ(Run("P12", "## Unknown Cmd. \r\n"), "## Unknown Cmd. \r\n|EFC");
    EXPECT_TRUE(took >= 3.0 && tp.dialogs.boxes.size() == 4) << took;
}

TEST_F(Link, TimeOutsAlsoAcrossMidnight) {
    // command, answer, quiet, shortest and longest wait, reply and flags, fatal
    // clang-format off
    const std::tuple<std::string, std::string, bool, double, double, std::string, bool> rows[] = {
        {"\x10", "", true, 0.5, 0.8, "|", false},  // T1 0.5 s, silent
        {"\x10", "\r** ZA", true, 0.1, 0.8, "\r** ZA|", false},  // started: kept unstripped; T2 0.1 s
        {"FD010", "abc", false, 30.11, 30.31, "## NO TERMINATION RECEIVED! |EF", true},
        {"G", ".", false, 50.11, 50.31, "## NO TERMINATION RECEIVED! |EF", true},  // silence
        {"FD010", "", false, 2.0, 2.5, "## NO MESSAGE RECEIVED! |EF", true}};  // the input flush included
    // clang-format on
    for (const auto& [cmd, answer, quiet, lo, hi, state, fatal] : rows) {
        SCOPED_TRACE(cmd + answer);
        tp.dialogs.boxes.clear();
        ctx.link.CmdFatal = ctx.link.InstrumentLost = false;
        ASSERT_TRUE(ctx.log->Open(tp.Dir() / "mon" / "x.mon"));
        EXPECT_EQ(Run(cmd, answer, true, quiet), state);
        ctx.log->Close();
        EXPECT_TRUE(took >= lo && took < hi) << took;
        EXPECT_TRUE(tp.dialogs.boxes.size() == size_t(fatal) && !ctx.cmd->Completed());
    }
    EXPECT_EQ(std::pair(StatusText(), LampColor()),
              std::pair(QString("## INSTRUMENT IS SWITCHED OFF! "), kRed));
    // No reply record without a whole reply; each loss is logged as the end.
    EXPECT_EQ(ReadBytes(tp.Dir() / "mon" / "x.mon"),
              "10:00:31 ## INSTRUMENT IS SWITCHED OFF! - ZAVO WILL BE CLOSED!\r\n"
                  "10:01:21 ## INSTRUMENT IS SWITCHED OFF! - ZAVO WILL BE CLOSED!\r\n"
                  "10:01:23 ## INSTRUMENT IS SWITCHED OFF! - ZAVO WILL BE CLOSED!\r\n");
    EXPECT_TRUE(ctx.link.InstrumentLost);
    for (int i = 1; i <= 4; ++i) tp.clock.After(40.0 * i, [&] { tp.port.Deliver("."); });
    tp.clock.After(165, [&] { tp.port.Deliver("\r\n"); });
    EXPECT_EQ(Run("G", "."), ".....|F");  // silence from the latest character; fatal stays
    for (int i = 1; i <= 4; ++i) tp.clock.After(10.0 * i, [&] { tp.port.Deliver("."); });
    EXPECT_EQ(Exec("IP"), "## NO TERMINATION RECEIVED! |EF");  // others: within 30 s
    tp.clock.Advance(86399.0 - tp.clock.Now());
    tp.port.replyDelay = 1.5;  // first character after midnight
    tp.clock.After(4, [&] { tp.port.Deliver("\r\n"); });
    EXPECT_TRUE(Run("SD1", "SD1") == "SD1|F" && tp.clock.Now() < 10) << tp.clock.Now();
    tp.clock.Advance(86399.5 - tp.clock.Now());  // no reply: time-out after T1, not a day later
    Run("SD1", "");
    EXPECT_NEAR(took, 5.0, 0.01);
}

TEST_F(Link, FlushReplyReadStopNestingAndPortFailure) {
    tp.port.Deliver("old");  // stale output keeps coming for a while
    for (int i = 1; i <= 5; ++i) tp.clock.After(0.1 * i, [&] { tp.port.Deliver("x"); });
    Run("SD0", "SD0\r\n");
    EXPECT_NEAR(tp.port.writeTimes[0] - start, 0.7, 0.02);
    tp.clock.Advance(0.3);  // quiet 0.2 s after a whole reply: no flush wait
    Exec("SD0");
    EXPECT_LT(tp.port.writeTimes[1] - start, 0.001);
    tp.port.Deliver("** STOP \r\nnext");  // Reply_Read collects one more line
    double t = 0;
    EXPECT_TRUE(ctx.cmd->Reply_Read(t) == "** STOP \r\n" && t == 3.0) << t;
    start = tp.clock.Absolute();  // an unfinished line ends 3 s after its first character
    EXPECT_EQ(ctx.cmd->Reply_Read(t), "next");
    EXPECT_NEAR(tp.clock.Absolute() - start, 3.0, 0.05);
    EXPECT_EQ(ctx.cmd->Reply_Read(t = 0.5), "");
    ASSERT_TRUE(ctx.log->Open(tp.Dir() / "mon" / "x.mon"));
    tp.clock.After(1, [&] { ctx.run.StopRequest = true; });
    EXPECT_EQ(Run("P12", "** POS"), "** POS|");  // STOP leaves at once
    EXPECT_TRUE(std::abs(took - 1.0) < 0.05 && !ctx.cmd->Completed()) << took;
    EXPECT_EQ(Run("y", ""), "|");          // also while waiting for the first character
    for (const char* cmd : {"G", "IP"}) {  // these keep waiting for their reply
        tp.clock.After(5, [&] { tp.port.Deliver("y\r\n"); });
        EXPECT_EQ(Run(cmd, "x"), "xy|") << cmd;
    }
    ctx.log->Close();
    const std::string log = ReadBytes(tp.Dir() / "mon" / "x.mon");  // records for G and IP only
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4) << log;
    ctx.run.StopRequest = false;
    tp.port.responder = [](const std::string& cmd) { return cmd == "G" ? "12\xae" : ""; };
    tp.clock.After(1, [&] {
        EXPECT_TRUE(ctx.cmd->InFlight());
        ctx.cmd->Command_Execute("j", true, false);  // e.g. a timer during a run: refused
        EXPECT_TRUE(ctx.link.CmdError && ctx.link.ReplyText.empty());
        tp.port.Deliver("5");  // the running reply goes on meanwhile
        EXPECT_EQ(ctx.cmd->Reply_Read(t = 1), "");
        ctx.cmd->Input_Flush();
        ctx.cmd->Command_Send("\x1b");  // ABORT is allowed
    });
    tp.clock.After(2, [&] { tp.port.Deliver("34\xae\r\n"); });
    EXPECT_EQ(Exec("G"), "12\256534\256|");
    EXPECT_EQ(std::tuple(tp.port.Written(), ctx.cmd->Refused(), ctx.link.ACFieldNow, StatusText()),
              std::tuple(std::string("SD0SD0P12yGIPG\x1b"), 1, 534.f, QString("AC FIELD DOWN  ")));
    tp.dialogs.boxAnswers = {kCancel};  // nor during a dialog
    tp.dialogs.onAsk = [&](const AskedBox&) { ctx.cmd->Command_Execute("j", false, false); };
    EXPECT_EQ(Run("SD1", "## YUL is OFF \r\n"), "## YUL is OFF \r\n|C");
    EXPECT_EQ(tp.port.Written(), "SD0SD0P12yGIPG\x1bSD1");
    tp.port.Close();                      // an error, without closing the program
    EXPECT_EQ(Run("FD010", "x"), "|EC");  // the cancel above stays
    EXPECT_EQ(std::pair(StatusText(), tp.port.writes.size()),
              std::pair(QString("## PORT IS NOT OPEN!"), size_t(9)));
    ASSERT_TRUE(tp.port.Open(1));
    tp.port.FailAfter(1.0);
    EXPECT_EQ(Run("P12", "abc"), "abc|EFC");
    EXPECT_EQ(tp.dialogs.boxes.back().prompt,
              "## INSTRUMENT IS DISCONNECTED! \r\n\r\nZAVO WILL BE CLOSED!");
    // A caller that goes on anyway gets an error, not a second box.
    EXPECT_TRUE(Exec("H0") == "|EFC" && tp.dialogs.boxes.size() == 2);
}
