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
using std::tuple;
namespace fs = std::filesystem;

namespace {

const QString kDesktop = QString::asprintf("ZAVO - ver. %d.%d.%d  [Desktop Mode]", kVersionMajor,
                                           kVersionMinor, kVersionRevision);

struct StartupTest : ::testing::Test {
    bool Exists(const std::string& name) const { return fs::exists(tp.Dir() / "mon" / name); }
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    MainWindow& win = *ctx.window;
};

TEST_F(StartupTest, WithoutSettingsFileDefaultsAreWritten) {
    fs::remove_all(tp.Dir() / "mon"), win.Form_Load();  // a missing log folder is created
    EXPECT_TRUE(fs::exists(tp.Dir() / "ZAVO.sav") && Exists("06-12-2026.mon") && ctx.log->IsOpen());
    EXPECT_TRUE(tp.dialogs.inputs.empty() && ui.fraSERVMODE->isHidden() &&
                ctx.settings.ZAVMODE == 1 && ui.optZAVMode[1]->isChecked() &&
                BackColor(ui.optZAVMode[1]) == kCyan && ui.fraERateT->isHidden() &&
                ui.cmdTOVPlus->isHidden() && win.windowTitle() == kDesktop);
    EXPECT_FALSE(ui.cmdStart->isEnabled() || ui.fraZAVMode->isEnabled());  // until initialized
    EXPECT_EQ(tuple(Tag(ui.cmdStart), ui.cmdStop->toolTip()), tuple("0", "Shortcut [Space Bar]"));
    EXPECT_FALSE(ui.vslTOVPulses->isHidden() || win.windowState() & Qt::WindowMaximized);
    const QRect screen = win.screen()->availableGeometry(), frame = win.frameGeometry();
    EXPECT_TRUE(frame.top() == screen.top() &&
                std::abs(frame.center().x() - screen.center().x()) <= 2);
    const auto first = (win.timLEDBlink_Timer(), ui.picStat[0]->Back());
    EXPECT_EQ(
        tuple(first, (win.timLEDBlink_Timer(), ui.picStat[0]->Back()), ui.timLEDBlink->interval()),
        tuple(kGrey, kLightOrange, 200));
    // INITIALIZE unlocks the panel (a simulated instrument with a recent frequency).
    ctx.settings.SIMULMODE = true, ctx.settings.FREQDATE = tp.clock.Today();
    ui.cmdInit->click();
    EXPECT_TRUE(ui.cmdStart->isEnabled() && ui.txtACMax->isEnabled() && Tag(ui.cmdStart) == "1");
}

// A program folder that cannot be written: told once, the program runs on with the defaults.
TEST_F(StartupTest, UnwritableFolderRunsOnDefaults) {
    fs::remove_all(tp.Dir() / "mon"), fs::permissions(tp.Dir(), fs::perms(0555));
    const bool root = geteuid() == 0;
    if (root) setfsgid(65534), setfsuid(65534);
    win.Form_Load();
    if (root) setfsuid(0), setfsgid(0);
    fs::permissions(tp.Dir(), fs::perms(0755));
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    EXPECT_EQ(tuple(fs::exists(tp.Dir() / "ZAVO.sav"), tp.dialogs.boxes[0].title,
                    ctx.settings.ZAVMODE, win.windowTitle()),
              tuple(false, "Settings not saved", 1, kDesktop));
    EXPECT_TRUE(ui.picStat[1]->Tag().startsWith(" LOG FILE CANNOT BE OPENED"));
}

// Only the exact password turns the service mode on, with no message either way.
TEST(Startup, ServicePasswordSimulationAndTabletMarks) {
    for (const QString answer : {"Tolku48e", "tolku48e", "", "Tolku48e "}) {
        SCOPED_TRACE(answer.toStdString());
        test::TestProgram tp;
        Ctx& ctx = tp.ctx();
        Controls& ui = *ctx.ui;
        Settings s;
        s.SERVMODE = s.SIMULMODE = s.TOUCHMODE = true, s.TOVNUM = 5, s.TOVDIR = 2;
        ASSERT_TRUE(Settings_Save(tp.Dir() / "ZAVO.sav", s));
        tp.dialogs.inputAnswers = {answer};
        ctx.window->Form_Load();
        const bool on = answer == "Tolku48e";
        EXPECT_EQ(ctx.window->windowTitle(), QString(kDesktop).replace("Desktop", "Tablet") +
                                                 (on ? " - Service Mode" : "") + " - SIMULMODE!");
        EXPECT_EQ(tp.dialogs.inputs, std::vector<QString>{"Enter Service Mode Password."});
        EXPECT_EQ(tuple(ctx.settings.SERVMODE, ui.fraSERVMODE->isHidden(), tp.dialogs.boxes.size(),
                        ctx.settings.TOVNUM, ctx.settings.TOVDIR, ctx.instr.MagMode),
                  tuple(on, !on, 0u, 1, 1, 2));
        EXPECT_TRUE(!ui.fraDModeT->isHidden() && !ui.chkTumblerT->isHidden() &&
                    !ui.cmdTOVMinus->isHidden() && ui.vslTOVPulses->isHidden() &&
                    ui.cmdStart->toolTip().isEmpty() && ui.txtACMax->font().pointSize() >= 14 &&
                    ui.optZAVMode[2]->minimumHeight() >= 66 &&
                    ctx.window->windowState() & Qt::WindowMaximized);
    }
}

// Logs older than ten days go by the date in their name (today is 6 December 2026 on the fake
// clock); a log that cannot be opened is said on the status line and the program runs on.
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
    test::TestProgram bad;
    fs::remove_all(bad.Dir() / "mon"), std::ofstream(bad.Dir() / "mon") << "a file, no folder";
    bad.ctx().window->Form_Load();
    EXPECT_TRUE(!bad.ctx().log->IsOpen() && bad.ended == 0);
    // The path as it is (not upper-cased) with the system's reason, told again
    // whenever the idle text comes back, until a log is open.
    const QString why = "LOG FILE CANNOT BE OPENED: " +
                        QString::fromStdString((bad.Dir() / "mon" / "06-12-2026.mon").string()) +
                        " (Not a directory)";
    EXPECT_EQ(bad.ctx().ui->picStat[1]->Text().trimmed(), why);
    bad.ctx().status->Status_Show(true);
    EXPECT_EQ(bad.ctx().ui->picStat[1]->Text().trimmed(), "INSTRUMENT IS READY  -  " + why);
    fs::remove(bad.Dir() / "mon"), fs::create_directory(bad.Dir() / "mon");
    bad.ctx().window->Log_Open();
    bad.ctx().status->Status_Show(false);
    EXPECT_EQ(bad.ctx().ui->picStat[1]->Text().trimmed(), "INSTRUMENT IS NOT INITIALIZED");
}

}  // namespace
