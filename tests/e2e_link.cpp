// The program's link layer (real clock, Qt serial port) against the virtual controller as COM1.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTimer>

#include "e2e_program.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/StatusLine.h"
#include "panel/Controls.h"

using namespace zavo;
using V = std::vector<int>;

TEST(LinkE2E, EveryEncoderStoresTheConfirmedValue) {
    LinkRig r({"--speed", "100"});
    Ctx& c = r.c;
    CommandSet& cmds = *c.cmds;
    const InstrumentState& i = c.instr;
    c.settings.ZAVMODE = c.instr.ModeWordWanted = 1;
    cmds.FD_Send(45, true), cmds.FA_Send(12, true), cmds.FM_Send(250, true);
    cmds.ES_Send(3, true), cmds.ER_Send(2, true), cmds.ET_Send(7, true);
    cmds.SD_Send(1, false), cmds.H_Send(1, false), cmds.SM_Send(1, false);
    EXPECT_EQ((V{i.FDActual, i.FAActual, i.FMActual, i.ESActual, i.ERActual, i.ETActual, i.SDActual,
                 i.HActual, i.SMActual}),
              (V{45, 12, 250, 3, 2, 7, 1, 1, 1}));
    float mv = 0;
    c.instr.WPState = 1, cmds.Temp_Read(false, mv), cmds.WPToggle_Send(), cmds.J_Send(false);
    EXPECT_TRUE(mv == 3189.0f && i.CoilTempC == 27.0f && i.WPState == 0 &&
                c.link.ReplyText.starts_with("D: "))
        << mv << " mV, " << c.link.ReplyText;
    // Into the pulse unit: the stages reported on go off before the mode word.
    cmds.ModeWord_Send(2, false);
    EXPECT_EQ((V{i.ModeWordActual, i.HActual, i.SMActual, i.SDActual}), (V{2, 0, 0, 0}));
    c.settings.ZAVMODE = 3, c.instr.ModeWordWanted = 2;
    cmds.FP_Send(15, true), cmds.ET_Send(25, true);
    const int firstDir = (cmds.D_Send(1, false), c.settings.TOVDIR);
    cmds.D_Send(2, false);
    EXPECT_EQ((V{i.FPActual, i.ETActual, firstDir, c.settings.TOVDIR}), (V{15, 25, 1, 2}))
        << "ET 2500 ms is stored in tenths of a second";
    EXPECT_EQ(e2e::Transcript(r.dir + "/vc.log", "CMD", " "),
              "FD045 A012 FM250 ES3 ER2 ET07 SD1 H1 SM1 y w j H0 SM0 SD0 M2 FP015 ET25 D1 D2 ");
    EXPECT_TRUE(!c.link.CmdFatal && !c.link.CmdError && r.dialogs.boxes.empty());
}

TEST(LinkE2E, CourseProgressReachesTheFieldMeters) {
    LinkRig r({"--speed", "20"});
    Ctx& c = r.c;
    c.settings.ZAVMODE = 2, c.instr.ModeWordWanted = 1;
    r.Run({"SD1", "H1", "SM1", "FD060", "FM100", "A020", "ER0", "ET03"});
    QString seen = "|";  // each change of "AC meter,DC meter,status|"
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const QString now = c.ui->lblACField[0]->text() + "," + c.ui->lblDCField[0]->text() + "," +
                            c.ui->picStat[1]->Text().trimmed() + "|";
        if (!seen.endsWith("|" + now)) seen += now;
    });
    sampler.start(2);
    const double course = (3 + 3 + 60 / 9.0) / 20, took = r.Run({"G"}, true);
    EXPECT_TRUE(!c.link.CmdError && c.link.ReplyText.ends_with("End of Ramp ")) << c.link.ReplyText;
    EXPECT_TRUE(took > course - 0.05 && took < course + 1.5) << took << " s: real time, loaded";
    EXPECT_TRUE(seen.contains(QRegularExpression(R"(\|[1-5]\d? ,.*\|60 ,.*\|[1-5]\d? ,)")) &&
                seen.contains(",100 ,") &&
                seen.contains(QRegularExpression(R"(AC FIELD UP\|.*MAX     3 s\|.*DOWN\|)")))
        << "the peak, values up and down, the bias, the stages: " << seen.toStdString();
    EXPECT_EQ(c.ui->lblACField[0]->text() + c.ui->lblDCField[0]->text(), "0 0 ");
}

TEST(LinkE2E, DeviceGoneEndsInTheDisconnectPath) {
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "killed during a course" : "vanished mid-reply");
        LinkRig r({"--speed", killed ? "1" : "100", "--fault", "vanish@IP"});
        if (killed) r.Run({"SD1", "H1", "FD100", "ER3"});
        if (killed) QTimer::singleShot(300, [&r] { r.tool->Wait(0, SIGKILL); });
        EXPECT_LT(r.Run({killed ? "G" : "IP"}, killed), killed ? 2.0 : 1.5) << "not a time-out";
        EXPECT_EQ(r.c.link.ReplyText.find('\x18') != std::string::npos, killed) << "course begun";
        ASSERT_TRUE(r.c.link.CmdFatal && r.c.link.CmdError && !r.dialogs.boxes.empty());
        EXPECT_EQ(r.c.ui->picStat[1]->Text().trimmed() + "|" + r.dialogs.boxes.back().title + ": " +
                      r.dialogs.boxes.back().prompt.left(31),
                  "## INSTRUMENT IS DISCONNECTED!|Critical error: ## INSTRUMENT IS DISCONNECTED! ");
    }
}
