// The command transaction, the encoders, the simulated instrument, the daily log and the service
// terminal on a scripted port (replies under arbitrary bytes: fuzz_transaction).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTime>

#include "core/Widgets.h"
#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/Simulator.h"
#include "link/StatusLine.h"
#include "link/Terminal.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;
using std::tuple;

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

// How long a reply may take to begin (T1) and to end (T2; for "G" the longest silence).
TEST(LinkClassify, TimeLimits) {
    const tuple<double, double, std::vector<std::string>> rows[] = {  // T1, T2, commands
        {0.5, 0.1, {"\x10"}}, {3, 30, {"\x1b"}}, {5, 30, {"SD0", "SD1", "SM0", "SM1"}},
        {30, 30, {"P12", "P00"}}, {40, 30, {"i"}}, {100, 30, {"z"}}, {200, 50, {"G"}},
        {2, 30, {"FD010", "A040", "M2", "H0", "ET05", "D2", "IP", "y", "t", "SX1", "S", "", "x"}},
    };
    for (const auto& [T1, T2, cmds] : rows)
        for (const std::string& cmd : cmds) {
            const CommandClass k = Command_Classify(cmd, 1);
            EXPECT_EQ(tuple(k.T1, k.T2), tuple(T1, T2)) << "'" << cmd << "'";
        }
    // What the status line says where it depends on more than the first letter.
    EXPECT_EQ(tuple(Command_Classify("ET05", 1).description, Command_Classify("ET05", 2).description,
                    Command_Classify("P00", 1).description, Command_Classify("SX1", 1).description),
              tuple("SETTING AC RAMP TIME", "SETTING PULSE TIME", "INITIALIZING TUMBLER", ""));
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
    const std::tuple<std::string, VbColor, QString, int, QString, std::string, bool> rows[] = {
        {"## Tumbler Out of Coil ", kRed, "TUMBLER IS OUT OF COIL!", 53, "Warning", "C", false},
        {"## User Tumbler Break ", kRed, "TUMBLER WAS PULLED OUT FROM THE COIL!", 48, "User error", "C", false},
        {"## YUL is OFF ", kLightOrange, "YUL1 UNIT IS OFF!", 53, "Warning", "C", false},
        {"-> Warning: Hot Coil ", kLightOrange, "-> Warning: Hot Coil ", 48, "Warning", "E", true},
        {"## Coil Overheated ", kRed, "## Coil Overheated \r\n\r\nZAVO WILL BE CLOSED!", 16, "Critical error", "EF", true},
        {"## Hypex Overheated ", kRed, "## Hypex Overheated \r\n\r\nWAIT FOR REQUIRED TEMPERATURE.", 16, "Critical error", "E", false},
        {"## Unknown Cmd. ", kRed, "## Unknown Cmd. \r\n\r\nZAVO WILL BE CLOSED!", 16, "Critical error", "EF", false}};
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
    const std::tuple<std::string, std::string, bool, double, double, std::string, bool> rows[] = {
        {"\x10", "", true, 0.5, 0.8, "|", false},  // T1 0.5 s, silent
        {"\x10", "\r** ZA", true, 0.1, 0.8, "\r** ZA|", false},  // started: kept unstripped; T2 0.1 s
        {"FD010", "abc", false, 30.11, 30.31, "## NO TERMINATION RECEIVED! |EF", true},
        {"G", ".", false, 50.11, 50.31, "## NO TERMINATION RECEIVED! |EF", true},  // silence
        {"FD010", "", false, 2.0, 2.5, "## NO MESSAGE RECEIVED! |EF", true}};  // the input flush included
    for (const auto& [cmd, answer, quiet, lo, hi, state, fatal] : rows) {
        SCOPED_TRACE(cmd + answer);
        tp.dialogs.boxes.clear();
        ctx.link.CmdFatal = ctx.link.InstrumentLost = false;
        EXPECT_EQ(Run(cmd, answer, true, quiet), state);
        EXPECT_TRUE(took >= lo && took < hi) << took;
        EXPECT_TRUE(tp.dialogs.boxes.size() == size_t(fatal) && !ctx.cmd->Completed());
    }
    EXPECT_EQ(std::pair(StatusText(), LampColor()),
              std::pair(QString("## INSTRUMENT IS SWITCHED OFF! "), kRed));
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

TEST_F(Link, FlushReplyReadStopAndNesting) {
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
    tp.clock.After(1, [&] { ctx.run.StopRequest = true; });
    EXPECT_EQ(Run("P12", "** POS"), "** POS|");  // STOP leaves at once
    EXPECT_TRUE(std::abs(took - 1.0) < 0.05 && !ctx.cmd->Completed()) << took;
    EXPECT_EQ(Run("y", ""), "|");          // also while waiting for the first character
    for (const char* cmd : {"G", "IP"}) {  // these keep waiting for their reply
        tp.clock.After(5, [&] { tp.port.Deliver("y\r\n"); });
        EXPECT_EQ(Run(cmd, "x"), "xy|") << cmd;
    }
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
}

// Each encoder pads its field and keeps what the controller confirms, nothing unknown.
TEST_F(Link, EncodersKeepWhatTheControllerConfirms) {
    using C = CommandSet;
    InstrumentState& i = ctx.instr;
    Int16 &dir = ctx.settings.TOVDIR, &word = i.ModeWordActual;
    const tuple<void (C::*)(Int16, bool), Int16, Int16, const char*, const char*, Int16*, int>
        rows[] = {  // encoder, value, mode, reply, written, value kept, kept as
            {&C::FD_Send, 7, 1, "** PRESET FIELD  8 mT", "FD007", &i.FDActual, 8},
            {&C::FP_Send, 20, 3, "** PRESET FIELD  20 mT", "FP020", &i.FPActual, 20},
            {&C::FM_Send, 100, 2, "** PRESET FIELD  99 uT", "FM100", &i.FMActual, 99},
            {&C::FA_Send, 10, 2, "AC-DC OFF  10 mT", "A010", &i.FAActual, 10},
            {&C::ES_Send, 3, 1, "ES 3", "ES3", &i.ESActual, 3},
            {&C::ER_Send, 1, 1, "ER 1", "ER1", &i.ERActual, 1},
            {&C::ET_Send, 5, 1, "ET 10 s", "ET05", &i.ETActual, 10},
            {&C::ET_Send, 12, 3, "ET 1250 ms", "ET12", &i.ETActual, 12},
            {&C::ET_Send, 5, 0, "ET 1000 ms", "ET05", &i.ETActual, 0},
            {&C::SD_Send, 1, 1, "SD1", "SD1", &i.SDActual, 1},
            {&C::SM_Send, 1, 1, "SM1", "SM1", &i.SMActual, 1},
            {&C::H_Send, 1, 1, "H1", "H1", &i.HActual, 1},
            {&C::D_Send, 2, 3, "D+", "D2", &dir, 1},
            {&C::D_Send, 1, 3, "D-", "D1", &dir, 2},
            {&C::D_Send, 1, 3, "D?", "D1", &dir, 2},
            {&C::ModeWord_Send, 2, 1, "TOV", "M2", &word, 2},
            {&C::ModeWord_Send, 1, 1, "XYZ", "M1", &word, 2},
            {&C::ModeWord_Send, 1, 1, "DMG", "M1", &word, 1},
        };
    for (const auto& [send, value, mode, reply, written, kept, want] : rows) {
        SCOPED_TRACE(written);
        ctx.settings.ZAVMODE = mode;
        Run("", std::string(reply) + "\r\n");
        (ctx.cmds->*send)(value, true);
        EXPECT_EQ(tuple(tp.port.writes.back(), *kept, ctx.link.CmdText), tuple(written, want, written));
    }
    // A stage that fails to go off keeps the mode word (the order: ModeTest).
    tp.port.Answers({{"H0", "## DMG PWR is OFF \r\n"}, {"M2", "TOV\r\n"}});
    i.HActual = 1;
    ctx.cmds->ModeWord_Send(2, true);  // not sent
    EXPECT_EQ(tuple(tp.port.writes.back(), i.HActual, word), tuple("H0", 1, 1));
}

// The position test's state in its button's colour; the coil temperature, 0 after an error.
TEST_F(Link, PositionTestAndTemperature) {
    for (const char* reply : {"WP Test is ON \r\n", "?\r\n"}) {
        Run("", reply);
        ctx.cmds->WPToggle_Send();
        EXPECT_EQ(tuple(ctx.instr.WPState, BackColor(ctx.ui->cmdControl[0])), tuple(1, kLightGreen));
    }
    float mv = -1, failed = -1;
    Run("", "T: 3189mV   27 \370C\r\n");
    ctx.cmds->Temp_Read(true, mv);
    Run("", "## Unknown Cmd. \r\n");
    ctx.cmds->Temp_Read(true, failed);
    EXPECT_EQ(tuple(mv, failed, ctx.instr.CoilTempMV, ctx.instr.CoilTempC, tp.port.Written()),
              tuple(3189.f, 0.f, 3189.f, 27.f, "wwyy"));
}

// Out-of-range values are refused unwritten; an error line, a stop or silence confirm nothing.
TEST_F(Link, RefusalsErrorsAndStopsStoreNothing) {
    using C = CommandSet;
    ctx.instr.FDActual = 33;
    const std::pair<void (C::*)(Int16, bool), Int16> bad[] = {
        {&C::FD_Send, 1000}, {&C::FA_Send, -1}, {&C::D_Send, 12},
        {&C::SD_Send, 2},    {&C::SM_Send, -1}, {&C::ModeWord_Send, 3}};
    for (const auto& [send, value] : bad) {
        ctx.link.CmdError = false;
        (ctx.cmds->*send)(value, true);
        EXPECT_TRUE(ctx.link.CmdError) << value;
    }
    EXPECT_TRUE(tp.port.writes.empty() && tp.dialogs.boxes.empty() && !ctx.link.CmdFatal);
    EXPECT_TRUE(StatusText().startsWith("## VALUE OUT OF RANGE"));
    EXPECT_EQ(LampColor(), kRed);
    Run("", "## Illegal Parameter \r\n");
    ctx.cmds->FD_Send(50, true);
    EXPECT_TRUE(ctx.link.CmdError && ctx.link.CmdFatal);
    ctx.link.CmdFatal = false;
    tp.clock.After(0.3, [this] { ctx.run.StopRequest = true; });
    Run("", "");
    ctx.cmds->FD_Send(10, false);  // no reply comes
    EXPECT_EQ(tuple(ctx.instr.FDActual, ctx.link.CmdError), tuple(33, false));
}

// Simulation's canned replies confirm fixed values, by mode word, mode or last character.
TEST(Simulator, CannedReplies) {
    const tuple<std::string, Int16, Int16, std::string> rows[] = {  // command, word, mode, reply
        {"FD050", 1, 1, "** PRESET FIELD  10 mT"},  // a fixed value, not the one asked for
        {"FP015", 2, 3, "** PRESET FIELD  20 mT"},
        {"A040", 1, 2, "AC-DC OFF  10 mT"},
        {"ET05", 1, 3, "ET 10 s"},     // the unit by the mode word
        {"ET07", 2, 1, "ET 1000 ms"},
        {"ET05", 0, 1, ""},
        {"M2", 1, 1, "TOV"},
        {"M3", 1, 1, ""},               // a last character out of range
        {"D2", 2, 3, "D-"},
        {"SM0", 1, 1, "SM0"},
        {"H2", 1, 1, ""},
        {"IPX", 1, 1, ""}};
    for (const auto& [cmd, word, mode, reply] : rows)
        EXPECT_EQ(Simulated_Reply(cmd, word, mode), reply) << "'" << cmd << "' " << word << " " << mode;
    EXPECT_EQ(Simulated_Reply("IP", 2, 2), Simulated_Reply("IP", 1, 0));
    EXPECT_NE(Simulated_Reply("IP", 1, 2), Simulated_Reply("IP", 1, 3));
}


TEST(TermAppend, BackspacesLineEndsAndTrimming) {
    QPlainTextEdit box;
    Term_Append(&box, "AB\bC");
    Term_Append(&box, "\bX");  // overwrites the last character already there
    Term_Append(&box, "1\r\n2\n3\r");
    EXPECT_EQ(box.toPlainText(), "AX1\n23\n");
    Term_Append(&box, "\b\b");
    EXPECT_EQ(box.toPlainText(), "AX1\n23");
    Term_Append(&box, "\xb0");  // Latin-1, not UTF-8
    EXPECT_EQ(box.toPlainText(), QString::fromLatin1("AX1\n23\xb0"));
    QPlainTextEdit full;
    full.setPlainText(QString(16000, 'a'));
    Term_Append(&full, "b");  // 16000 is still within the limit
    EXPECT_EQ(full.toPlainText().size(), 16001);
    Term_Append(&full, "c");
    EXPECT_TRUE(full.toPlainText() == QString(16000 - 4096, 'a') + "bc" &&
                full.textCursor().position() == full.toPlainText().size());
}

// The terminal echoes exchanges and sends typed Latin-1 keys, in the service mode only.
TEST_F(Link, ServiceTerminalEchoAndTypedKeys) {
    ctx.settings.SERVMODE = true;
    auto term = [&] { return ctx.ui->txtTerm->toPlainText(); };
    auto type = [&](const QString& text, int key = 0) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(ctx.ui->txtTerm, &press);
    };
    tp.port.Answers({{"SD1", "SD1\r\n"},
                     {"\x10", "5\2566\257\r\n"},
                     {"G", ".."},
                     {"\x1b", "Actual RAM\r\n** STOP \r\n"}});
    ctx.cmd->Command_Execute("SD1", false, false);
    ctx.cmd->Command_Execute("\x10", false, false);  // in-band characters are not shown
    ctx.ui->cmdTestTimes->click();  // writes a report and ESC, then reads two lines
    EXPECT_EQ(term(),
              "-> SD1\n<- SD1\n\n-> Crtl P\n<- 56\n\n-> IP\n-> ESC\nActual RAM\n** STOP \n");
    ctx.settings.SERVMODE = false;  // no echo, and typed keys go nowhere
    ctx.cmd->Command_Execute("SD1", false, false);
    type("x");
    ctx.settings.SERVMODE = true;
    type("I");
    type("P");
    EXPECT_TRUE(term().endsWith("** STOP \nxIP"));  // the box keeps the keys
    type(QString(QChar(0xff)));
    type(QString(QChar(0x100)));  // a byte only for Latin-1 keys: no NUL beginning a command
    tp.port.Close();
    type("y");
    ASSERT_TRUE(tp.port.Open(1));
    tp.clock.After(1, [&] { type("z"); });  // not during an exchange either
    tp.clock.After(2, [&] { tp.port.Deliver("\r\n"); });
    ctx.cmd->Command_Execute("G", false, false);
    EXPECT_EQ(tp.port.writes,
              (std::vector<std::string>{"SD1", "\x10", "IP", "\x1b", "SD1", "I", "P", "\xff", "G"}));
}

// Port events told in the status line; errors also ask: OK ignores, Cancel closes the port.
TEST_F(Link, PortEvents) {
    const tuple<int, int, const char*, size_t, bool> rows[] = {  // answer, text, boxes, open
        {4, kCancel, "Status: Change in DSR Detected", 0, true},
        {1001, kOK, "Status: Break Received", 1, true},
        {1, kCancel, "Status: Break Received", 0, true},  // a receive event: nothing told
        {4711, kCancel, "Status: Unknown error or event", 1, false}};
    for (const auto& [event, answer, text, boxes, open] : rows) {
        tp.dialogs.boxes.clear();
        tp.dialogs.boxAnswers = {answer};
        tp.port.RaiseEvent(event);
        EXPECT_EQ(tuple(StatusText(), tp.dialogs.boxes.size(), tp.port.IsOpen()),
                  tuple(text, boxes, open)) << event;
    }
}

// One record per whole reply, in-band codes left out; nothing while the log is closed.
TEST_F(Link, CommLogOneRecordPerReplyOnlyWhileOpen) {
    EXPECT_FALSE(ctx.log->Open(tp.Dir() / "no" / "such" / "dir.mon") || ctx.log->IsOpen());
    const auto file = tp.Dir() / "mon" / "06-12-2026.mon";
    ASSERT_TRUE(ctx.log->Open(file));
    tp.port.responder = [](const std::string& cmd) {
        return cmd == "SD1" ? std::string("SD1\r\n") : "1\2562\257 ok\370\r\n";
    };
    auto now = [&] {
        const QTime t = QTime::fromMSecsSinceStartOfDay(int(tp.clock.Now()) * 1000);
        return QLocale::system().toString(t, QLocale::ShortFormat).toStdString();
    };
    ctx.cmd->Command_Execute("SD1", true, false);
    const std::string t1 = now();
    ctx.cmd->Command_Execute("G", true, false);
    const std::string t2 = now();
    ctx.log->Close();
    ctx.log->Record("lost");
    EXPECT_EQ(ReadBytes(file), t1 + " SD1\r\n\r\n" + t2 + " 12 ok\r\n\r\n");  // reply's CR LF, record's
}
