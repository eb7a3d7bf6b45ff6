// The link: command transaction, encoders, simulator, daily log, service terminal and port
// search on a scripted port; the real port on a pseudo-terminal; the text helpers and waits.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTime>
#include <QTimer>
#include <chrono>
#include <clocale>
#include <cmath>

#include "core/Waits.h"
#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/PortSearch.h"
#include "link/QtSerialPort.h"
#include "link/Simulator.h"
#include "link/StatusLine.h"
#include "link/Terminal.h"
#include "link/TextUtil.h"
#include "support/Rig.h"

using namespace zavo;
using namespace zavo::test;
using std::tuple;

namespace {

constexpr const char* kBanner = "** ZAVO-A  03-Jul-2013  c22365";

struct PortSearchTest : ::testing::Test, Bench {
    PortSearchTest() { tp.port.responder = nullptr, ctx.log->Open(tp.Dir() / "mon" / "today.mon"); }
    // The controller sits on `port` and answers the firmware request with `banner`; the
    // devices on the other ports answer with `other`.
    void InstrumentOn(int port, std::string banner = kBanner, std::string other = "") {
        tp.port.responder = [=, this](const std::string& cmd) {
            if (cmd != "\x10") return std::string();
            const std::string r = tp.port.PortNumber() == port ? banner : other;
            return r.empty() ? r : r + "\r\n";
        };
    }
    // Found, and the seconds the search took on the fake clock.
    std::pair<bool, double> Search() {
        const double start = tp.clock.Absolute();
        return {search.Port_Search(), tp.clock.Absolute() - start};  // in this order
    }
    PortSearch& search = *ctx.search;
};

}  // namespace

struct Link : ::testing::Test, Bench {
    void SetUp() override { ASSERT_TRUE(tp.port.Open(1)); }
    // Every command answered with reply ("": silence).
    std::string Run(const std::string& cmd, std::string r, bool show = true, bool quiet = false) {
        tp.port.responder = [r](auto&) { return r; };
        return Exec(cmd, show, quiet);
    }
    // The reply and the flags raised: E(rror), F(atal), C(ancel the run).
    std::string Exec(const std::string& cmd, bool show = true, bool quiet = false) {
        start = tp.clock.Absolute(), ctx.cmd->Command_Execute(cmd, show, quiet);
        took = tp.clock.Absolute() - start;
        return ctx.link.ReplyText + "|" + (ctx.link.CmdError ? "E" : "") +
               (ctx.link.CmdFatal ? "F" : "") + (ctx.link.RunCancel ? "C" : "");
    }
    QString StatusText() const { return ui.picStat[1]->Text(); }
    VbColor LampColor() const { return ui.picStat[0]->Back(); }
    void Status(const QString& s) { StatusPanel_Print(ui.picStat[1], back, kBlack, s); }
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
    EXPECT_EQ(std::pair(StatusText() + "|" + ui.lblACField[0]->text(), ctx.link.ACFieldNow),
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
    tp.clock.After(1.1, [&] { EXPECT_TRUE(ui.timLEDBlink->isActive()); });
    tp.clock.After(3.1, [&] { EXPECT_EQ(ui.lblACField[0]->text(), "1234 "); });
    tp.clock.After(7.1, [&] { EXPECT_EQ(ui.lblDCField[0]->text(), "-150 "); });
    tp.clock.After(9, [&] { tp.port.Deliver("End of Ramp \r\n"); });
    EXPECT_EQ(Run("G", ""), "\0301234\2571234\25612\252\031150\3660\366End of Ramp |");
    EXPECT_EQ(seen, (std::vector<QString>{"AC FIELD UP    ", "AC FIELD UP    ", "AC FIELD UP    ",
                                          "AC FIELD DOWN  ", "AC FIELD MAX  12 s",
                                          "AC FIELD DOWN  ", "DC FIELD ON", "DC FIELD OFF"}));
    EXPECT_EQ(std::tuple(ctx.link.ACFieldNow, ctx.link.DCFieldNow, ui.lblDCField[0]->text(),
                         ui.timLEDBlink->isActive()),
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
        tp.dialogs.boxes.clear(), tp.dialogs.boxAnswers = {kCancel};
        ctx.link.RunCancel = ctx.link.CmdFatal = false;
        EXPECT_EQ(Run("P12", line + "\r\n", false), line + "\r\n|" + flags);  // the reply raw
        const AskedBox& box = tp.dialogs.boxes.at(0);
        EXPECT_EQ(std::tuple(StatusText(), LampColor(), box.prompt, box.style, box.title),
                  std::tuple(QString::fromLatin1(line).toUpper(), lamp, prompt, style, title));
        EXPECT_TRUE(tp.dialogs.boxes.size() == 1 && !ui.timLEDBlink->isActive());
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
        tp.dialogs.boxes.clear(), ctx.link.CmdFatal = ctx.link.InstrumentLost = false;
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

// Each encoder pads its field and keeps what the controller confirms, nothing unknown; the
// position test's state in its button's colour; the coil temperature, 0 after an error.
TEST_F(Link, EncodersKeepWhatTheControllerConfirms) {
    for (const char* reply : {"WP Test is ON \r\n", "?\r\n"}) {
        Run("", reply), ctx.cmds->WPToggle_Send();
        EXPECT_EQ(tuple(ctx.instr.WPState, BackColor(ui.cmdControl[0])), tuple(1, kLightGreen));
    }
    float mv = -1, failed = -1;
    Run("", "T: 3189mV   27 \370C\r\n"), ctx.cmds->Temp_Read(true, mv);
    Run("", "## Unknown Cmd. \r\n"), ctx.cmds->Temp_Read(true, failed);
    EXPECT_EQ(tuple(mv, failed, ctx.instr.CoilTempMV, ctx.instr.CoilTempC, tp.port.Written()),
              tuple(3189.f, 0.f, 3189.f, 27.f, "wwyy"));
    ctx.link.CmdFatal = false;
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
        Run("", std::string(reply) + "\r\n"), (ctx.cmds->*send)(value, true);
        EXPECT_EQ(tuple(tp.port.writes.back(), *kept, ctx.link.CmdText), tuple(written, want, written));
    }
    // A stage that fails to go off keeps the mode word (the order: ModeTest).
    tp.port.Answers({{"H0", "## DMG PWR is OFF \r\n"}, {"M2", "TOV\r\n"}}), i.HActual = 1;
    ctx.cmds->ModeWord_Send(2, true);  // not sent
    EXPECT_EQ(tuple(tp.port.writes.back(), i.HActual, word), tuple("H0", 1, 1));
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
    EXPECT_TRUE(StatusText().startsWith("## VALUE OUT OF RANGE") && LampColor() == kRed);
    Run("", "## Illegal Parameter \r\n"), ctx.cmds->FD_Send(50, true);
    EXPECT_TRUE(ctx.link.CmdError && ctx.link.CmdFatal);
    ctx.link.CmdFatal = false, tp.clock.After(0.3, [this] { ctx.run.StopRequest = true; });
    Run("", ""), ctx.cmds->FD_Send(10, false);  // no reply comes
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
    auto term = [&] { return ui.txtTerm->toPlainText(); };
    auto type = [&](const QString& text, int key = 0) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(ui.txtTerm, &press);
    };
    tp.port.Answers({{"SD1", "SD1\r\n"},
                     {"\x10", "5\2566\257\r\n"},
                     {"G", ".."},
                     {"\x1b", "Actual RAM\r\n** STOP \r\n"}});
    ctx.cmd->Command_Execute("SD1", false, false);
    ctx.cmd->Command_Execute("\x10", false, false);  // in-band characters are not shown
    ui.cmdTestTimes->click();  // writes a report and ESC, then reads two lines
    EXPECT_EQ(term(),
              "-> SD1\n<- SD1\n\n-> Crtl P\n<- 56\n\n-> IP\n-> ESC\nActual RAM\n** STOP \n");
    ctx.settings.SERVMODE = false;  // no echo, and typed keys go nowhere
    ctx.cmd->Command_Execute("SD1", false, false), type("x"), ctx.settings.SERVMODE = true;
    type("I"), type("P");
    EXPECT_TRUE(term().endsWith("** STOP \nxIP"));  // the box keeps the keys
    type(QString(QChar(0xff)));
    type(QString(QChar(0x100)));  // a byte only for Latin-1 keys: no NUL beginning a command
    tp.port.Close(), type("y");
    ASSERT_TRUE(tp.port.Open(1));
    tp.clock.After(1, [&] { type("z"); });  // not during an exchange either
    tp.clock.After(2, [&] { tp.port.Deliver("\r\n"); });
    ctx.cmd->Command_Execute("G", false, false);
    EXPECT_EQ(tp.port.writes,
              (std::vector<std::string>{"SD1", "\x10", "IP", "\x1b", "SD1", "I", "P", "\xff", "G"}));
}


// One record per whole reply, in-band codes left out; nothing while the log is closed. Port
// events told in the status line; errors also ask: OK ignores, Cancel closes the port.
TEST_F(Link, CommLogAndPortEvents) {
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
    ctx.log->Close(), ctx.log->Record("lost");
    EXPECT_EQ(ReadBytes(file), t1 + " SD1\r\n\r\n" + t2 + " 12 ok\r\n\r\n");  // reply's CR LF, record's
    const tuple<int, int, const char*, size_t, bool> rows[] = {  // answer, text, boxes, open
        {4, kCancel, "Status: Change in DSR Detected", 0, true},
        {1001, kOK, "Status: Break Received", 1, true},
        {1, kCancel, "Status: Break Received", 0, true},  // a receive event: nothing told
        {4711, kCancel, "Status: Unknown error or event", 1, false}};
    for (const auto& [event, answer, text, boxes, open] : rows) {
        tp.dialogs.boxes.clear(), tp.dialogs.boxAnswers = {answer}, tp.port.RaiseEvent(event);
        EXPECT_EQ(tuple(StatusText(), tp.dialogs.boxes.size(), tp.port.IsOpen()),
                  tuple(text, boxes, open)) << event;
    }
}

// The remembered port first, then in order; other devices are passed without a word.
TEST_F(PortSearchTest, RememberedPortFirstThenTheOthers) {
    struct Case {
        const char* what; int remembered;
        std::set<int> existing, refused;
        int instrument; const char* other;  // the port the instrument is on, the others' reply
        std::vector<int> opened;
    };
    const Case cases[] = {
        {"remembered 20 tried first", 20, {1, 2, 20}, {}, 2, "", {20, 1, 2}},
        {"a port that cannot be opened is passed", 1, {1, 2, 3}, {1, 2}, 3, "", {3}},
        {"another device's error line", 1, {1, 2, 3}, {}, 3, "## Unknown Cmd. ", {1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ctx.settings.COMM = Int16(c.remembered);
        tp.port.existing = c.existing, tp.port.refuseOpen = c.refused, tp.port.opened.clear();
        tp.port.writes.clear();
        InstrumentOn(c.instrument, kBanner, c.other);
        EXPECT_TRUE(search.Port_Search());
        EXPECT_EQ(tp.port.opened, c.opened);
        EXPECT_EQ(tuple(ctx.settings.COMM, tp.port.IsOpen(), tp.dialogs.boxes.size(),
                        ctx.link.CmdFatal, tp.port.Written()),
                  tuple(c.instrument, false, 0u, false, std::string(c.opened.size(), '\x10')));
        EXPECT_EQ(Status(), "TESTING CONNECTION: COM" + std::to_string(c.instrument) + "    OK");
    }
}

// Only a reply beginning with the banner counts, never a reply left from an earlier exchange.
TEST_F(PortSearchTest, BannerDecides) {
    const tuple<const char*, bool> replies[] = {{kBanner, true},
                                                {"** ZAVO", true},
                                                {"** ZAVx-A  03-Jul-2013", false},
                                                {"** ZAV", false},
                                                {"ZAVO-A", false}};
    tp.port.existing = {3};
    for (auto [reply, found] : replies) {
        InstrumentOn(3, reply);
        EXPECT_EQ(search.Instrument_Identify(3), found) << reply;
    }
    ctx.link.ReplyText = kBanner;
    EXPECT_FALSE(search.Instrument_Identify(4) || tp.port.IsOpen());
}

// No port: 0.2 s after each of the 16, the question; Retry searches again; tablet buttons.
TEST_F(PortSearchTest, NothingFoundAsksRetryOrAbort) {
    tp.port.existing.clear(), ctx.settings.COMM = 20, tp.dialogs.boxAnswers = {kRetry, kCancel};
    const auto [found, seconds] = Search();
    EXPECT_FALSE(found);
    EXPECT_NEAR(seconds, 2 * 16 * 0.2, 0.05);
    EXPECT_EQ(tuple(tp.dialogs.boxes.size(), ui.picStat[0]->Back(), Status()),
              tuple(2u, kRed, "## NO CONNECTION"));

    ctx.settings.TOUCHMODE = true, tp.dialogs.largeAnswers = {true, false};
    EXPECT_FALSE(search.Port_Search());
    EXPECT_EQ(tuple(tp.dialogs.large, tp.dialogs.boxes.size()),
              tuple(std::vector<QStringList>{{"RETRY", "ABORT"}, {"RETRY", "ABORT"}}, 2u));
}

// The question adds ports held or forbidden and devices not tried, logged once.
TEST_F(PortSearchTest, HintsWhenNothingAnswers) {
    tp.port.existing = {1, 2, 3}, tp.port.inUse = {2}, tp.port.denyAccess = {3};
    tp.port.devices = {"COM1", "/dev/ttyUSB0"};  // COM1 was tried
    tp.dialogs.boxAnswers = {kRetry, kCancel};
    EXPECT_FALSE(search.Port_Search());
    ASSERT_EQ(tp.dialogs.boxes.size(), 2u);
    QString want = "INSTRUMENT IS OFF OR NOT CONNECTED!\r\n\r\n"
                   "THE SERIAL PORT COM2 (COM2) IS IN USE BY ANOTHER PROGRAM.\r\n"
                   "NO PERMISSION TO USE THE SERIAL PORT COM3 (COM3).\r\n"
                   "ADD THE USER TO THE GROUP \"dialout\" AND LOG IN AGAIN.";
#ifndef Q_OS_WIN
    want += "\r\nSERIAL DEVICES NOT TRIED: /dev/ttyUSB0.\r\nLINK ONE AS " +
            QString::fromStdString((tp.Dir() / "ports").string()) + "/COM<n>.";
#endif
    EXPECT_EQ(tp.dialogs.boxes[1].prompt, want);
    const std::string log = ReadBytes(ctx.log->File());
    EXPECT_EQ(log.find("IN USE BY ANOTHER PROGRAM"), log.rfind("IN USE BY ANOTHER PROGRAM"));
    EXPECT_NE(log.find("IN USE BY ANOTHER PROGRAM"), std::string::npos);

    tp.port.inUse.clear(), tp.port.denyAccess.clear(), tp.port.devices.clear();
    tp.dialogs.boxAnswers = {kCancel};
    EXPECT_FALSE(search.Port_Search());
    EXPECT_EQ(tp.dialogs.boxes.back().prompt, "INSTRUMENT IS OFF OR NOT CONNECTED!");
}

// STOP ends the search unasked; a chattering device holds the flush 2 s at most.
TEST_F(PortSearchTest, StopAndChatter) {
    tp.port.existing.clear(), tp.clock.After(1.0, [this] { ctx.run.StopRequest = true; });
    const auto [found, seconds] = Search();
    EXPECT_TRUE(!found && seconds < 1.3 && tp.dialogs.boxes.empty());
    ctx.run.StopRequest = false, tp.port.existing = {1, 2}, tp.port.Chatter(1, 0.1);
    ctx.settings.COMM = 1;
    InstrumentOn(2);
    const auto [chattered, took] = Search();
    EXPECT_TRUE(chattered && ctx.settings.COMM == 2 && took < 3.0) << took;
    ASSERT_TRUE(tp.port.Open(1));
    double start = tp.clock.Absolute();
    ctx.cmd->Input_Flush();
    EXPECT_NEAR(tp.clock.Absolute() - start, 2.0, 0.05);
    tp.clock.After(0.5, [this] { ctx.run.StopRequest = true; }), start = tp.clock.Absolute();
    ctx.cmd->Input_Flush();
    EXPECT_NEAR(tp.clock.Absolute() - start, 0.5, 0.05);
}

// Opening the open port discards what waits; "Open Port" opens the number typed in or says not.
TEST_F(PortSearchTest, OpenPorts) {
    ASSERT_TRUE(search.Port_Open(2));
    tp.port.Deliver("stale");
    EXPECT_TRUE(search.Port_Open(2) && search.Port_Open(3));
    EXPECT_EQ(tuple(tp.port.opened, tp.port.discards, tp.port.PortNumber()),
              tuple(std::vector<int>{2, 3}, 1, 3));
    ui.txtCommPort->setText("9"), ui.cmdCommPort->click();
    EXPECT_EQ(tuple(tp.port.IsOpen(), Status(), ui.cmdCommPort->isEnabled()),
              tuple(false, "## COM9 CANNOT BE OPENED", true));
    ui.txtCommPort->setText("4"), ui.cmdCommPort->click();
    EXPECT_EQ(tuple(tp.port.IsOpen(), tp.port.PortNumber(), Status()),
              tuple(true, 4, "INSTRUMENT IS READY"));
    EXPECT_TRUE(ui.cmdStart->isEnabled() && !ui.cmdCommPort->isEnabled());
}

TEST(Pty, PortNamesAndThePeerGoneMidReply) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    QTemporaryDir dir;
    const std::filesystem::path ports = std::filesystem::path(dir.path().toStdString()) / "ports";
    std::filesystem::create_directories(ports);
    std::filesystem::create_symlink(ptsname(master), ports / "COM1");
    RealClock clock;
    ScriptedDialogs dialogs;
    QtSerialPort port{ports};
    Ctx ctx;
    ctx.clock = &clock, ctx.dialogs = &dialogs, ctx.port = &port;
    CommandLink link{ctx};
    Terminal terminal{ctx};  // headless: no terminal box to watch
    // The test's own controller: answers each command it reads.
    std::function<std::string(const std::string&)> answer;
    std::string received;
    auto notifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [&] {
        char buf[256];
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) return;
        received.append(buf, size_t(n));
        const std::string reply = answer(std::string(buf, size_t(n)));
        EXPECT_EQ(write(master, reply.data(), reply.size()), ssize_t(reply.size()));
    });
    // A link names the device; a dangling link is an absent port, not the platform's device.
    std::filesystem::create_symlink("/nonexistent/tty", ports / "COM2");
    EXPECT_EQ(std::tuple(port.DeviceName(1), port.DeviceName(2), port.DeviceName(3)),
              std::tuple(std::filesystem::canonical(ports / "COM1").string(),
                         (ports / "COM2").string(), std::string("/dev/ttyS2")));
    EXPECT_TRUE(port.Port_Exists(1) && !port.Port_Exists(0));
    EXPECT_FALSE(port.Port_Exists(2) || port.Open(2) || port.IsOpen());
    ASSERT_TRUE(port.Open(1) && !port.Failed());  // DTR cannot be set on a pseudo-terminal
    // The controller goes away in the middle of a reply (8-bit replies through the real port:
    // every end-to-end run).
    answer = [&](const std::string&) {
        QMetaObject::invokeMethod(
            notifier.get(), [&] { notifier.reset(), close(master); }, Qt::QueuedConnection);
        return std::string("** PRE");
    };
    const auto t0 = std::chrono::steady_clock::now();
    link.Command_Execute("FD010", false, false);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));  // not 30 s
    EXPECT_TRUE(received == "FD010" && ctx.link.CmdFatal && port.Failed() && !port.IsOpen());
    EXPECT_TRUE(dialogs.boxes.size() == 1 &&
                dialogs.boxes[0].prompt.startsWith("## INSTRUMENT IS DISCONNECTED! "));
}

TEST(TextUtil, StripAndDigits) {
    EXPECT_EQ(tuple(CRLF_Strip("\rSD1\r\n"), CRLF_Strip("\n\r"), CRLF_Strip("")),
              tuple("SD1", "\n", ""));
    EXPECT_EQ(tuple(Digits_ToInt("-12.5"), Digits_ToInt("no digits"), Digits_ToInt("99999999999")),
              tuple(125, 0, 32767));
    EXPECT_EQ(tuple(Text_PadLeft("5", 4), Text_PadLeft(" 12345", 4)), tuple("         5", "2345"));
    EXPECT_EQ(tuple(Number_Format(43.054, "0.0"), Number_Format(1234, "0 "), Number_Format(-0.04, "0.0")),
              tuple("43.1", "1234 ", "0.0"));
    EXPECT_EQ(tuple(Num_Extract("1045d"), Num_Extract("-5"), Num_Extract("TMB"), Num_Extract("1.2.3")),
              tuple(1045.f, 5.f, 0.f, 1.2f));
    EXPECT_EQ(tuple(RoundToInt16(2.5), RoundToInt16(3.5), RoundToInt16(1e9), RoundToInt16(NAN)),
              tuple(2, 4, 32767, 0));
    const auto w = Words_Split("  T: 3189mV   27 x");
    EXPECT_EQ(tuple(w.size(), w[1], w[2], w[3], w[4], Words_Split("T")[1]),
              tuple(701u, "T:", "3189mV", "27", "x", ""));
}

TEST(TextUtil, NumbersIgnoreTheLocale) {
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "cs_CZ.UTF-8"})
        if ((comma = std::setlocale(LC_NUMERIC, name) != nullptr)) break;
    EXPECT_EQ(tuple(Num_Extract("1.5mV"), Num_Extract("43.0Hz"), Number_Format(2.25, "0.0")),
              tuple(1.5f, 43.f, "2.3"));
    std::setlocale(LC_NUMERIC, old.c_str());
    if (!comma) GTEST_SKIP() << "no comma locale installed; checked under " << old;
}

// Waits: events run meanwhile, midnight is crossed, NaN and more than a day never hang.
TEST(Waits, EventsMidnightAndBadDurations) {
    test::FakeClock clock(86400.0 - 2.2, QDate(2026, 12, 31));
    int events = 0;
    clock.After(1.0, [&] { ++events; });
    QTimer::singleShot(0, [&] { ++events; });
    EXPECT_NEAR(Wait_Seconds(clock, -2), 2.0, 1e-5);
    EXPECT_TRUE(events == 2 && Wait_Seconds(clock, 0) == 0);
    EXPECT_NEAR(Wait_Seconds(clock, 0.5), 0.5, 1e-6);
    EXPECT_TRUE(std::abs(clock.Now() - 0.3) < 1e-5 && clock.Today() == QDate(2027, 1, 1));
    EXPECT_NEAR(Timer_Elapsed(clock, 86399.9), 0.4, 1e-5);
    EXPECT_NEAR(Timer_Elapsed(clock, 0.305), -0.005, 1e-5);  // a hair in the future: left alone
    clock.SetStep(3600);
    EXPECT_EQ(Wait_Seconds(clock, std::nan("")), 0);
    const double waited = Wait_Seconds(clock, 1e9);
    EXPECT_TRUE(waited >= 86399.0 && waited < 86400.0) << waited;
}
