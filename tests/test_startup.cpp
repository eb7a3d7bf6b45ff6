// Start-up of the main window: settings, daily logs, service password.
#include <QScreen>
#include <filesystem>
#include <fstream>

#include "Version.h"
#include "link/CommLog.h"
#include "link/StatusLine.h"
#include "panel/SettingsFile.h"
#include "panel_test.h"

using namespace zavo;
using std::tuple;
namespace fs = std::filesystem;

namespace {

const QString kDesktop = QString::asprintf("ZAVO - ver. %d.%d.%d  [Desktop Mode]", kVersionMajor,
                                           kVersionMinor, kVersionRevision);

struct StartupTest : test::Panel {
    bool Logged(const std::string& name) const { return fs::exists(tp.Dir() / "mon" / name); }
};

TEST_F(StartupTest, WithoutSettingsFileDefaultsAreWritten) {
    fs::remove_all(tp.Dir() / "mon"), window.Form_Load();  // a missing log folder is created
    EXPECT_TRUE(fs::exists(tp.Dir() / "ZAVO.sav") && Logged("06-12-2026.mon") && ctx.log->IsOpen());
    EXPECT_TRUE(tp.dialogs.inputs.empty() && ui.fraSERVMODE->isHidden() && s.ZAVMODE == 1 &&
                ui.optZAVMode[1]->isChecked() && ui.fraERateT->isHidden() &&
                window.windowTitle() == kDesktop);
    EXPECT_FALSE(ui.cmdStart->isEnabled() || ui.fraZAVMode->isEnabled());  // until initialized
    // At the top of the free area, centred; the mode buttons side by side.
    window.show(), QApplication::processEvents();
    const QRect free = window.screen()->availableGeometry(), at = window.frameGeometry();
    EXPECT_TRUE(std::abs(at.center().x() - free.center().x()) <= 5 && at.y() == free.y());
    EXPECT_TRUE(ui.optZAVMode[1]->geometry().right() < ui.optZAVMode[2]->x() &&
                ui.optZAVMode[2]->geometry().right() < ui.optZAVMode[3]->x());
    const auto first = (window.timLEDBlink_Timer(), ui.picStat[0]->Back());  // the lamp blinks
    EXPECT_EQ(tuple(first, (window.timLEDBlink_Timer(), ui.picStat[0]->Back()), Tag(ui.cmdStart)),
              tuple(kGrey, kLightOrange, "0"));
    // INITIALIZE unlocks the panel (a simulated instrument with a recent frequency).
    s.SIMULMODE = true, s.FREQDATE = tp.clock.Today();
    ui.cmdInit->click();
    EXPECT_TRUE(ui.cmdStart->isEnabled() && ui.txtACMax->isEnabled() && Tag(ui.cmdStart) == "1");
}

// Only the exact password turns the service mode on; the pulses start as a single "+" one.
TEST(Startup, ServicePasswordSimulationAndTabletMarks) {
    for (const QString answer : {"Tolku48e", "tolku48e", "", "Tolku48e "}) {
        SCOPED_TRACE(answer.toStdString());
        test::TestProgram tp;
        Ctx& ctx = tp.ctx();
        Controls& ui = *ctx.ui;
        ASSERT_TRUE(Settings_Save(
            tp.Dir() / "ZAVO.sav",
            {.TOVDIR = 2, .TOVNUM = 5, .SERVMODE = true, .SIMULMODE = true, .TOUCHMODE = true}));
        tp.dialogs.inputAnswers = {answer};
        ctx.window->Form_Load();
        const bool on = answer == "Tolku48e";
        EXPECT_EQ(ctx.window->windowTitle(), QString(kDesktop).replace("Desktop", "Tablet") +
                                                 (on ? " - Service Mode" : "") + " - SIMULMODE!");
        EXPECT_EQ(tp.dialogs.inputs, std::vector<QString>{"Enter Service Mode Password."});
        EXPECT_EQ(tuple(ctx.settings.SERVMODE, ui.fraSERVMODE->isHidden(), tp.dialogs.boxes.size(),
                        ctx.settings.TOVNUM, ctx.settings.TOVDIR, ctx.instr.MagMode),
                  tuple(on, !on, 0u, 1, 1, 2));
        EXPECT_TRUE(!ui.cmdTOVMinus->isHidden() && ui.vslTOVPulses->isHidden());
    }
}

// Logs older than ten days go by the date in their name; an unopenable log is said, not fatal.
TEST_F(StartupTest, OldLogsAreDeletedByTheDateInTheirName) {
    const std::pair<const char*, bool> kept[] = {
        {"25-11-2026.mon", false}, {"26-11-2026.mon", true},  {"no digits.mon", false},
        {"25-11-2026.txt", true},  {"01-01-2025.MON", false}, {"20-11-2026.mon", false}};
    for (auto [f, keep] : kept) std::ofstream(tp.Dir() / "mon" / f) << "x\r\n";
    fs::permissions(tp.Dir() / "mon" / "20-11-2026.mon", fs::perms::owner_read);
    fs::create_directory(tp.Dir() / "mon" / "01-01-2020.mon");  // a folder, not a log
    window.Form_Load();
    for (auto [f, keep] : kept) EXPECT_EQ(Logged(f), keep) << f;
    EXPECT_TRUE(Logged("01-01-2020.mon") && Logged("06-12-2026.mon") && ctx.log->IsOpen());

    test::TestProgram bad;
    Ctx& b = bad.ctx();
    fs::remove_all(bad.Dir() / "mon"), std::ofstream(bad.Dir() / "mon") << "a file, no folder";
    b.window->Form_Load();
    EXPECT_TRUE(!b.log->IsOpen() && bad.ended == 0);
    // The path as it is (not upper-cased) with the system's reason, told again whenever the
    // idle text comes back, until a log is open.
    const QString why = "LOG FILE CANNOT BE OPENED: " +
                        QString::fromStdString((bad.Dir() / "mon" / "06-12-2026.mon").string()) +
                        " (Not a directory)";
    EXPECT_EQ(b.ui->picStat[1]->Text().trimmed(), why);
    b.status->Status_Show(true);
    EXPECT_EQ(b.ui->picStat[1]->Text().trimmed(), "INSTRUMENT IS READY  -  " + why);
    fs::remove(bad.Dir() / "mon"), fs::create_directory(bad.Dir() / "mon");
    b.window->Log_Open();
    b.status->Status_Show(false);
    EXPECT_EQ(b.ui->picStat[1]->Text().trimmed(), "INSTRUMENT IS NOT INITIALIZED");
}

}  // namespace
