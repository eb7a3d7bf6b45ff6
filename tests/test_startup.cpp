#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <unistd.h>
#include <QScreen>
#include <filesystem>
#include <fstream>

#include "Version.h"
#include "link/CommLog.h"
#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "panel/SettingsFile.h"
#include "support/TestProgram.h"

using namespace zavo;
namespace fs = std::filesystem;

namespace {

const QString kVersion =
    QString("ZAVO - ver. %1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision);

struct StartupTest : ::testing::Test {
    StartupTest() : ctx(tp.ctx()), ui(*ctx.ui), win(*ctx.window) {}
    bool Exists(const std::string& name) const { return fs::exists(tp.Dir() / "mon" / name); }

    test::TestProgram tp;
    Ctx& ctx;
    Controls& ui;
    MainWindow& win;
};

TEST_F(StartupTest, WithoutSettingsFileDefaultsAreWritten) {
    win.Form_Load();
    EXPECT_TRUE(fs::exists(tp.Dir() / "ZAVO.sav"));
    EXPECT_EQ(win.windowTitle(), kVersion + "  [Desktop Mode]");
    EXPECT_TRUE(tp.dialogs.inputs.empty() && ui.fraSERVMODE->isHidden());
    EXPECT_TRUE(ctx.settings.ZAVMODE == 1 && ui.optZAVMode[1]->isChecked());
    EXPECT_EQ(BackColor(ui.optZAVMode[1]), kCyan);
    // The panel stays locked until the instrument is initialized.
    EXPECT_FALSE(ui.cmdStart->isEnabled() || ui.fraZAVMode->isEnabled());
    EXPECT_EQ(Tag(ui.cmdStart), "0");
    EXPECT_EQ(ui.cmdStop->toolTip(), "Shortcut [Space Bar]");
    EXPECT_TRUE(ui.fraERateT->isHidden() && ui.cmdTOVPlus->isHidden());
    EXPECT_FALSE(ui.vslTOVPulses->isHidden() || win.windowState() & Qt::WindowMaximized);
    const QRect screen = win.screen()->availableGeometry();  // at the top, centred
    EXPECT_EQ(win.frameGeometry().top(), screen.top());
    EXPECT_NEAR(win.frameGeometry().center().x(), screen.center().x(), 2);
    win.timLEDBlink_Timer();
    EXPECT_EQ(ui.picStat[0]->Back(), kGrey);
    win.timLEDBlink_Timer();
    EXPECT_EQ(ui.picStat[0]->Back(), kLightOrange);
    EXPECT_EQ(ui.timLEDBlink->interval(), 200);
    ui.cmdInit->click();
    EXPECT_TRUE(ui.cmdStart->isEnabled() && ui.txtACMax->isEnabled());
    EXPECT_EQ(Tag(ui.cmdStart), "1");
}

// A program folder that cannot be written (no settings, no log folder): the
// operator is told once and the program runs on with the defaults.
TEST_F(StartupTest, UnwritableFolderRunsOnDefaults) {
    fs::remove_all(tp.Dir() / "mon");
    fs::permissions(tp.Dir(), fs::perms(0555));
    const bool root = geteuid() == 0;
    if (root) setfsgid(65534), setfsuid(65534);
    win.Form_Load();
    if (root) setfsuid(0), setfsgid(0);
    fs::permissions(tp.Dir(), fs::perms(0755));
    EXPECT_FALSE(fs::exists(tp.Dir() / "ZAVO.sav"));
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    EXPECT_EQ(tp.dialogs.boxes[0].title, "Settings not saved");
    EXPECT_EQ(ctx.settings.ZAVMODE, 1);
    EXPECT_TRUE(ui.picStat[1]->Tag().startsWith(" LOG FILE CANNOT BE OPENED"));
    EXPECT_EQ(win.windowTitle(), kVersion + "  [Desktop Mode]");
}

// Only the exact password turns the service mode on; no message either way.
TEST_F(StartupTest, ServicePassword) {
    for (const QString answer : {"Tolku48e", "tolku48e", "", "Tolku48e "}) {
        SCOPED_TRACE(answer.toStdString());
        test::TestProgram t;
        Settings s;
        s.SERVMODE = true;
        ASSERT_TRUE(Settings_Save(t.Dir() / "ZAVO.sav", s));
        t.dialogs.inputAnswers = {answer};
        t.ctx().window->Form_Load();
        const bool on = answer == "Tolku48e";
        EXPECT_EQ(t.dialogs.inputs, std::vector<QString>{"Enter Service Mode Password."});
        EXPECT_EQ(t.ctx().settings.SERVMODE, on);
        EXPECT_EQ(t.ctx().ui->fraSERVMODE->isHidden(), !on);
        EXPECT_EQ(t.ctx().window->windowTitle(),
                  kVersion + "  [Desktop Mode]" + (on ? " - Service Mode" : ""));
        EXPECT_TRUE(t.dialogs.boxes.empty());
    }
}

TEST_F(StartupTest, SimulationAndTabletMarks) {
    Settings s;
    s.SERVMODE = s.SIMULMODE = s.TOUCHMODE = true;
    s.TOVNUM = 5, s.TOVDIR = 2;
    ASSERT_TRUE(Settings_Save(tp.Dir() / "ZAVO.sav", s));
    tp.dialogs.inputAnswers = {"Tolku48e"};
    win.Form_Load();
    EXPECT_EQ(win.windowTitle(), kVersion + "  [Tablet Mode] - Service Mode - SIMULMODE!");
    EXPECT_EQ(std::tuple(ctx.settings.TOVNUM, ctx.settings.TOVDIR, ctx.instr.MagMode),
              std::tuple(1, 1, 2));
    EXPECT_TRUE(win.windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(ui.fraDModeT->isHidden() || ui.chkTumblerT->isHidden() ||
                 ui.cmdTOVMinus->isHidden());
    EXPECT_TRUE(ui.vslTOVPulses->isHidden() && ui.cmdStart->toolTip().isEmpty());
    EXPECT_GE(ui.txtACMax->font().pointSize(), 14);
    EXPECT_GE(ui.optZAVMode[2]->minimumHeight(), 1000 / 15);
}

// Logs older than ten days go by the date in their name (today is 6 December
// 2026 on the fake clock); a missing log folder is created; a log that cannot
// be opened is said on the status line and the program runs on.
TEST_F(StartupTest, OldLogsAreDeletedByTheDateInTheirName) {
    const std::pair<const char*, bool> kept[] = {
        {"25-11-2026.mon", false}, {"26-11-2026.mon", true},  {"no digits.mon", false},
        {"25-11-2026.txt", true},  {"01-01-2025.MON", false}, {"20-11-2026.mon", false}};
    for (auto [f, keep] : kept) std::ofstream(tp.Dir() / "mon" / f) << "x\r\n";
    fs::permissions(tp.Dir() / "mon" / "20-11-2026.mon", fs::perms::owner_read);
    fs::create_directory(tp.Dir() / "mon" / "01-01-2020.mon");  // a folder, not a log
    win.Form_Load();
    for (auto [f, keep] : kept) EXPECT_EQ(Exists(f), keep) << f;
    EXPECT_TRUE(Exists("01-01-2020.mon") && Exists("06-12-2026.mon") && ctx.log->IsOpen());
    test::TestProgram t;
    fs::remove_all(t.Dir() / "mon");
    t.ctx().window->Form_Load();
    EXPECT_TRUE(fs::exists(t.Dir() / "mon" / "06-12-2026.mon") && t.ctx().log->IsOpen());
    test::TestProgram bad;
    fs::remove_all(bad.Dir() / "mon");
    std::ofstream(bad.Dir() / "mon") << "a file where the folder belongs";
    bad.ctx().window->Form_Load();
    EXPECT_FALSE(bad.ctx().log->IsOpen());
    EXPECT_TRUE(bad.ctx().ui->picStat[1]->Text().contains("LOG FILE CANNOT BE OPENED"));
    EXPECT_EQ(bad.ended, 0);
}

}  // namespace
