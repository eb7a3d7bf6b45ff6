// The program's own link layer (real clock, Qt serial port) against the
// virtual controller on a pseudo-terminal linked as port COM1.

#include <gtest/gtest.h>

#include <QLabel>
#include <QTimer>
#include <set>

#include "app/Program.h"
#include "core/Clock.h"
#include "e2e_harness.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/QtSerialPort.h"
#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "support/FakeSound.h"
#include "support/ScriptedDialogs.h"

namespace {

using namespace zavo;

struct LinkRig {
    explicit LinkRig(std::vector<std::string> toolArgs) {
        std::filesystem::create_directories(dir.path() / "mon");
        toolArgs.insert(toolArgs.end(), {"--link", (dir.path() / "ports" / "COM1").string(),
                                         "--transcript", transcript().string()});
        tool = std::make_unique<e2e::Tool>(toolArgs);
        program = std::make_unique<Program>(dir.path(), clock, sound, dialogs, port);
        ctx().EndProgram = [this] { ++ended; };
        opened = port.Open(1);
    }
    Ctx& ctx() { return program->ctx(); }
    std::filesystem::path transcript() const { return dir.path() / "vc.log"; }
    std::vector<std::string> Sent() const { return e2e::TranscriptCommands(transcript()); }

    e2e::TempDir dir;
    std::unique_ptr<e2e::Tool> tool;
    RealClock clock;
    test::FakeSound sound;
    test::ScriptedDialogs dialogs;
    QtSerialPort port{dir.path() / "ports"};
    std::unique_ptr<Program> program;
    int ended = 0;
    bool opened = false;
};

TEST(LinkE2E, EveryEncoderStoresTheConfirmedValue) {
    LinkRig r({"--speed", "100"});
    ASSERT_TRUE(r.opened) << r.port.LastError();
    Ctx& c = r.ctx();
    CommandSet& cmds = *c.cmds;
    c.settings.ZAVMODE = 1;
    c.instr.ModeWordWanted = 1;
    const auto ok = [&c](const char* what) {
        EXPECT_FALSE(c.link.CmdError) << what << ": " << c.link.ReplyText;
    };
    cmds.FD_Send(45, true), ok("FD");
    cmds.FA_Send(12, true), ok("A");
    cmds.FM_Send(250, true), ok("FM");
    cmds.ES_Send(3, true), ok("ES");
    cmds.ER_Send(2, true), ok("ER");
    cmds.ET_Send(7, true), ok("ET");
    cmds.SD_Send(1, false), ok("SD");
    cmds.H_Send(1, false), ok("H");
    cmds.SM_Send(1, false), ok("SM");
    EXPECT_EQ(c.instr.FDActual, 45);
    EXPECT_EQ(c.instr.FAActual, 12);
    EXPECT_EQ(c.instr.FMActual, 250);
    EXPECT_EQ(c.instr.ESActual, 3);
    EXPECT_EQ(c.instr.ERActual, 2);
    EXPECT_EQ(c.instr.ETActual, 7);
    EXPECT_EQ(c.instr.SDActual, 1);
    EXPECT_EQ(c.instr.HActual, 1);
    EXPECT_EQ(c.instr.SMActual, 1);

    float mv = 0;
    cmds.Temp_Read(false, mv), ok("y");
    EXPECT_EQ(mv, 3189.0f);
    EXPECT_EQ(c.instr.CoilTempC, 27.0f);
    c.instr.WPState = 1;
    cmds.WPToggle_Send(), ok("w");
    EXPECT_EQ(c.instr.WPState, 0);
    cmds.J_Send(false), ok("j");
    EXPECT_EQ(c.link.ReplyText.substr(0, 3), "D: ");

    // Into the pulse unit: the stages reported on go off before the mode word.
    cmds.ModeWord_Send(2, false), ok("M");
    EXPECT_EQ(c.instr.ModeWordActual, 2);
    EXPECT_EQ(c.instr.HActual + c.instr.SMActual + c.instr.SDActual, 0);
    c.settings.ZAVMODE = 3;
    c.instr.ModeWordWanted = 2;
    cmds.FP_Send(15, true), ok("FP");
    cmds.ET_Send(25, true), ok("ET");
    cmds.D_Send(1, false), ok("D1");
    EXPECT_EQ(c.settings.TOVDIR, 1);
    cmds.D_Send(2, false), ok("D2");
    EXPECT_EQ(c.settings.TOVDIR, 2);
    EXPECT_EQ(c.instr.FPActual, 15);
    EXPECT_EQ(c.instr.ETActual, 25) << "2500 ms in tenths of a second";

    const std::vector<std::string> expected{"FD045", "A012", "FM250", "ES3",  "ER2", "ET07", "SD1",
                                            "H1",    "SM1",  "y",     "w",    "j",   "H0",   "SM0",
                                            "SD0",   "M2",   "FP015", "ET25", "D1",  "D2"};
    EXPECT_EQ(r.Sent(), expected);
    EXPECT_FALSE(c.link.CmdFatal);
    EXPECT_TRUE(r.dialogs.boxes.empty());
}

TEST(LinkE2E, CourseProgressReachesTheFieldMeters) {
    LinkRig r({"--speed", "20"});
    ASSERT_TRUE(r.opened) << r.port.LastError();
    Ctx& c = r.ctx();
    c.settings.ZAVMODE = 2;
    c.instr.ModeWordWanted = 1;
    for (const char* cmd : {"SD1", "H1", "SM1", "FD060", "FM100", "A020", "ER0", "ET03"}) {
        c.cmd->Command_Execute(cmd, false, false);
        ASSERT_FALSE(c.link.CmdError) << cmd;
    }
    std::set<QString> ac, dc, status;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        ac.insert(c.ui->lblACField[0]->text());
        dc.insert(c.ui->lblDCField[0]->text());
        status.insert(c.ui->picStat[1]->Text().trimmed());
    });
    sampler.start(2);
    const double t0 = e2e::Now();
    c.cmd->Command_Execute("G", true, false);
    const double took = e2e::Now() - t0;
    sampler.stop();

    EXPECT_FALSE(c.link.CmdError) << c.link.ReplyText;
    EXPECT_EQ(c.link.ReplyText.substr(c.link.ReplyText.size() - 12), "End of Ramp ");
    // Real time, with room for a loaded machine.
    EXPECT_GT(took, (3 + 3 + 60 / 9.0) / 20 - 0.05);
    EXPECT_LT(took, (3 + 3 + 60 / 9.0) / 20 + 1.5);
    EXPECT_TRUE(ac.count("60 ")) << "the peak was shown";
    EXPECT_GE(ac.size(), 5u) << "values on the way up and down";
    EXPECT_EQ(c.ui->lblACField[0]->text(), "0 ");
    EXPECT_EQ(c.link.ACFieldNow, 0.0f);
    EXPECT_TRUE(dc.count("100 ")) << "the bias was on";
    EXPECT_EQ(c.ui->lblDCField[0]->text(), "0 ");
    QString shown;
    for (const QString& s : status) shown += s + "|";
    for (const char* s : {"|AC FIELD UP|", "|AC FIELD MAX     3 s|", "|AC FIELD DOWN|"})
        EXPECT_TRUE(("|" + shown).contains(s)) << s << " in " << shown.toStdString();
}

TEST(LinkE2E, HotCoilWarningIsAnsweredWithB1) {
    LinkRig r({"--fault", "hot-coil@y"});
    ASSERT_TRUE(r.opened);
    Ctx& c = r.ctx();
    float mv = 0;
    c.cmds->Temp_Read(false, mv);
    EXPECT_TRUE(c.link.CmdError);
    EXPECT_FALSE(c.link.CmdFatal);
    ASSERT_EQ(r.dialogs.boxes.size(), 1u);
    EXPECT_EQ(r.dialogs.boxes[0].title, "Warning");
    // The program does not wait for an answer to B1; give it time to arrive.
    for (const double end = e2e::Now() + 2; r.Sent().size() < 2 && e2e::Now() < end;)
        r.clock.Yield(0.02);
    const std::vector<std::string> expected{"y", "B1"};
    EXPECT_EQ(r.Sent(), expected) << e2e::ReadText(r.transcript());
}

void ExpectDisconnected(LinkRig& r) {
    Ctx& c = r.ctx();
    EXPECT_TRUE(c.link.CmdFatal);
    EXPECT_TRUE(c.link.CmdError);
    EXPECT_EQ(c.ui->picStat[1]->Text().trimmed(), "## INSTRUMENT IS DISCONNECTED!");
    ASSERT_FALSE(r.dialogs.boxes.empty());
    EXPECT_TRUE(r.dialogs.boxes.back().prompt.startsWith("## INSTRUMENT IS DISCONNECTED! "))
        << r.dialogs.boxes.back().prompt.toStdString();
    EXPECT_EQ(r.dialogs.boxes.back().title, "Critical error");
}

TEST(LinkE2E, DeviceVanishingMidReplyEndsInTheDisconnectPath) {
    LinkRig r({"--speed", "100", "--fault", "vanish@IP"});
    ASSERT_TRUE(r.opened);
    const double t0 = e2e::Now();
    r.ctx().cmd->Command_Execute("IP", false, false);
    EXPECT_LT(e2e::Now() - t0, 1.5) << "noticed at once, not after a time-out";
    ExpectDisconnected(r);
}

TEST(LinkE2E, ControllerKilledDuringACourseEndsInTheDisconnectPath) {
    LinkRig r({});
    ASSERT_TRUE(r.opened);
    Ctx& c = r.ctx();
    for (const char* cmd : {"SD1", "H1", "FD100", "ER3"}) c.cmd->Command_Execute(cmd, false, false);
    QTimer::singleShot(300, [&r] { kill(r.tool->pid(), SIGKILL); });
    const double t0 = e2e::Now();
    c.cmd->Command_Execute("G", true, false);
    EXPECT_LT(e2e::Now() - t0, 2.0);
    EXPECT_NE(c.link.ReplyText.find('\x18'), std::string::npos) << "the course had begun";
    ExpectDisconnected(r);
}

}  // namespace
