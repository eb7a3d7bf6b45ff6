// Start-up of the main window in a temporary program folder: settings,
// layout, service password, title, log clean-up.
#include <gtest/gtest.h>

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
    // A settings file as a previous session left it.
    void SaveSettings(const std::function<void(Settings&)>& change) {
        Settings s;
        change(s);
        ASSERT_TRUE(Settings_Save(tp.Dir() / "ZAVO.sav", s));
    }
    void Touch(const std::string& name) { std::ofstream(tp.Dir() / "mon" / name) << "x\r\n"; }
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
    EXPECT_TRUE(tp.dialogs.inputs.empty());
    EXPECT_TRUE(ui.fraSERVMODE->isHidden());
    EXPECT_EQ(ctx.settings.ZAVMODE, 1);
    EXPECT_TRUE(ui.optZAVMode[1]->isChecked());
    EXPECT_EQ(BackColor(ui.optZAVMode[1]), kCyan);
    // The panel stays locked until the instrument is initialized.
    EXPECT_FALSE(ui.cmdStart->isEnabled());
    EXPECT_FALSE(ui.fraZAVMode->isEnabled());
    EXPECT_EQ(Tag(ui.cmdStart), "0");
    EXPECT_EQ(ui.optZAVMode[1]->toolTip(), "Shortcut [F1]");
    EXPECT_EQ(ui.cmdStop->toolTip(), "Shortcut [Space Bar]");
    EXPECT_EQ(ui.cmdNextPos->toolTip(), "Shortcut [Key PgDn]");
    EXPECT_TRUE(ui.fraERateT->isHidden());
    EXPECT_TRUE(ui.cmdTOVPlus->isHidden());
    EXPECT_FALSE(ui.vslTOVPulses->isHidden());
    EXPECT_FALSE(win.windowState() & Qt::WindowMaximized);
}

TEST_F(StartupTest, ServicePassword) {
    SaveSettings([](Settings& s) { s.SERVMODE = true; });
    tp.dialogs.inputAnswers = {"Tolku48e"};
    win.Form_Load();
    ASSERT_EQ(tp.dialogs.inputs.size(), 1u);
    EXPECT_EQ(tp.dialogs.inputs[0], "Enter Service Mode Password.");
    EXPECT_TRUE(ctx.settings.SERVMODE);
    EXPECT_EQ(win.windowTitle(), kVersion + "  [Desktop Mode] - Service Mode");
    EXPECT_FALSE(ui.fraSERVMODE->isHidden());
}

TEST_F(StartupTest, WrongOrCancelledPasswordLeavesServiceModeOff) {
    for (const QString answer : {"tolku48e", "", "Tolku48e "}) {
        test::TestProgram t;
        Settings s;
        s.SERVMODE = true;
        ASSERT_TRUE(Settings_Save(t.Dir() / "ZAVO.sav", s));
        t.dialogs.inputAnswers = {answer};
        t.ctx().window->Form_Load();
        EXPECT_FALSE(t.ctx().settings.SERVMODE) << answer.toStdString();
        EXPECT_TRUE(t.ctx().ui->fraSERVMODE->isHidden());
        EXPECT_EQ(t.ctx().window->windowTitle(), kVersion + "  [Desktop Mode]");
        EXPECT_TRUE(t.dialogs.boxes.empty());
    }
}

TEST_F(StartupTest, SimulationAndTabletMarks) {
    SaveSettings([](Settings& s) {
        s.SERVMODE = true;
        s.SIMULMODE = true;
        s.TOUCHMODE = true;
        s.TOVNUM = 5;
        s.TOVDIR = 2;
    });
    tp.dialogs.inputAnswers = {"Tolku48e"};
    win.Form_Load();
    EXPECT_EQ(win.windowTitle(), kVersion + "  [Tablet Mode] - Service Mode - SIMULMODE!");
    EXPECT_EQ(ctx.settings.TOVNUM, 1);
    EXPECT_EQ(ctx.settings.TOVDIR, 1);
    EXPECT_EQ(ctx.instr.MagMode, 2);
    EXPECT_TRUE(win.windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(ui.fraDModeT->isHidden());
    EXPECT_FALSE(ui.chkTumblerT->isHidden());
    EXPECT_TRUE(ui.vslTOVPulses->isHidden());
    EXPECT_FALSE(ui.cmdTOVMinus->isHidden());
    EXPECT_TRUE(ui.cmdStart->toolTip().isEmpty());
    EXPECT_GE(ui.txtACMax->font().pointSize(), 14);
    EXPECT_GE(ui.optZAVMode[2]->minimumHeight(), 1000 / 15);
}

TEST_F(StartupTest, OldLogsAreDeletedByTheDateInTheirName) {
    // The fake clock's today is 6 December 2026.
    ASSERT_EQ(tp.clock.Today(), QDate(2026, 12, 6));
    for (const char* f : {"25-11-2026.mon", "26-11-2026.mon", "no digits.mon", "25-11-2026.txt",
                          "01-01-2025.MON", "20-11-2026.mon", "06-12-2026.mon"})
        Touch(f);
    fs::permissions(tp.Dir() / "mon" / "20-11-2026.mon", fs::perms::owner_read);
    fs::create_directory(tp.Dir() / "mon" / "01-01-2020.mon");
    win.Form_Load();
    EXPECT_FALSE(Exists("25-11-2026.mon"));
    EXPECT_TRUE(Exists("26-11-2026.mon"));
    EXPECT_FALSE(Exists("no digits.mon"));
    EXPECT_TRUE(Exists("25-11-2026.txt"));
    EXPECT_FALSE(Exists("01-01-2025.MON"));
    EXPECT_FALSE(Exists("20-11-2026.mon"));
    EXPECT_TRUE(Exists("01-01-2020.mon"));  // a folder, not a log
    EXPECT_TRUE(Exists("06-12-2026.mon"));
    EXPECT_TRUE(ctx.log->IsOpen());
}

TEST_F(StartupTest, MissingLogFolderIsCreated) {
    fs::remove_all(tp.Dir() / "mon");
    win.Form_Load();
    EXPECT_TRUE(Exists("06-12-2026.mon"));
    EXPECT_TRUE(ctx.log->IsOpen());
}

TEST_F(StartupTest, UnopenableLogIsSaidAndTheProgramRunsOn) {
    fs::remove_all(tp.Dir() / "mon");
    std::ofstream(tp.Dir() / "mon") << "a file where the folder belongs";
    win.Form_Load();
    EXPECT_FALSE(ctx.log->IsOpen());
    EXPECT_TRUE(ui.picStat[1]->Text().contains("LOG FILE CANNOT BE OPENED"));
    EXPECT_EQ(tp.ended, 0);
}

TEST_F(StartupTest, WindowAtTopCentreAndLampBlinks) {
    win.Form_Load();
    const QRect screen = win.screen()->availableGeometry();
    EXPECT_EQ(win.frameGeometry().top(), screen.top());
    EXPECT_NEAR(win.frameGeometry().center().x(), screen.center().x(), 2);

    win.timLEDBlink_Timer();
    EXPECT_EQ(ui.picStat[0]->Back(), kGrey);
    win.timLEDBlink_Timer();
    EXPECT_EQ(ui.picStat[0]->Back(), kLightOrange);
    EXPECT_EQ(ui.timLEDBlink->interval(), 200);
}

TEST_F(StartupTest, InitializeUnlocksThePanel) {
    win.Form_Load();
    ui.cmdInit->click();
    EXPECT_TRUE(ui.cmdStart->isEnabled());
    EXPECT_TRUE(ui.txtACMax->isEnabled());
    EXPECT_EQ(Tag(ui.cmdStart), "1");
}

}  // namespace
