#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/PortSearch.h"
#include "link/QtSerialPort.h"
#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using std::tuple;
namespace fs = std::filesystem;

namespace {

constexpr const char* kBanner = "** ZAVO-A  03-Jul-2013  c22365";

struct PortSearchTest : ::testing::Test {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    PortSearch& search = *ctx.search;

    void SetUp() override { ctx.log->Open(tp.Dir() / "mon" / "06-12-2026.mon"); }
    // The controller sits on `port` and answers the firmware request with `banner`.
    void InstrumentOn(int port, std::string banner = kBanner) {
        tp.port.responder = [this, port, banner](const std::string& cmd) {
            return tp.port.PortNumber() == port && cmd == "\x10" ? banner + "\r\n" : "";
        };
    }
    QString Status() const { return ctx.ui->picStat[1]->Text().trimmed(); }
    std::string Log() const { return test::ReadBytes(ctx.log->File()); }
    // Seconds the search took on the fake clock.
    std::pair<bool, double> TimedSearch() {
        const double start = tp.clock.Absolute();
        const bool found = search.Port_Search();
        return {found, tp.clock.Absolute() - start};
    }
};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

// Which ports are opened, in which order, and what is remembered; nobody is asked anything.
TEST_F(PortSearchTest, RememberedPortFirstThenTheOthers) {
    struct Case {
        const char* what;
        int remembered;
        std::set<int> existing;
        std::set<int> refused;
        int instrument;
        std::vector<int> opened;
    };
    const Case cases[] = {
        {"remembered port answers", 3, {1, 2, 3, 4}, {}, 3, {3}},
        {"remembered absent, instrument on COM5", 3, {1, 2, 4, 5}, {}, 5, {1, 2, 4, 5}},
        {"remembered 20 tried first", 20, {1, 2, 20}, {}, 2, {20, 1, 2}},
        {"a port that cannot be opened is passed", 1, {1, 2, 3}, {1, 2}, 3, {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ctx.settings.COMM = Int16(c.remembered);
        tp.port.existing = c.existing, tp.port.refuseOpen = c.refused, tp.port.opened.clear();
        InstrumentOn(c.instrument);
        EXPECT_TRUE(search.Port_Search());
        EXPECT_EQ(tp.port.opened, c.opened);
        EXPECT_EQ(tuple(ctx.settings.COMM, tp.port.IsOpen(), tp.dialogs.boxes.size()),
                  tuple(Int16(c.instrument), false, size_t(0)));
        EXPECT_EQ(Status(), QString("TESTING CONNECTION: COM%1    OK").arg(c.instrument));
        EXPECT_EQ(ctx.ui->picStat[0]->Back(), kLightOrange);
    }
}

// Only a reply beginning with the banner counts, never a reply left from an earlier exchange.
TEST_F(PortSearchTest, BannerDecides) {
    const tuple<const char*, bool> replies[] = {{kBanner, true},
                                                {"** ZAVO", true},
                                                {"** ZAVx-A  03-Jul-2013", false},
                                                {"** ZAV", false},
                                                {"ZAVO-A", false}};
    tp.port.existing = {3}, ctx.settings.COMM = 3;
    for (auto [reply, found] : replies) {
        InstrumentOn(3, reply);
        EXPECT_EQ(search.Instrument_Identify(3), found) << reply;
    }
    ctx.link.ReplyText = kBanner;
    EXPECT_FALSE(search.Instrument_Identify(4));
    EXPECT_FALSE(tp.port.IsOpen());
}

// Another device's error line or warning is no reason to end the program: only not the banner.
TEST_F(PortSearchTest, ForeignAnswersAreNotTheInstrument) {
    tp.port.existing = {1, 2, 3};
    for (const char* reply : {"## Unknown Cmd. ", "-> Warning: Hot Coil "}) {
        tp.port.responder = [this, reply](const std::string& cmd) {
            if (cmd != "\x10") return std::string();
            return tp.port.PortNumber() == 3 ? std::string(kBanner) + "\r\n"
                                             : std::string(reply) + "\r\n";
        };
        ctx.settings.COMM = 1;
        EXPECT_TRUE(search.Port_Search()) << reply;
        EXPECT_EQ(tuple(ctx.settings.COMM, ctx.link.CmdFatal, tp.dialogs.boxes.size()),
                  tuple(Int16(3), false, size_t(0)))
            << reply;
    }
    EXPECT_EQ(Count(tp.port.Written(), "B1"), 0u);
}

// No port at all: 0.2 s after each of the 16 failed ports, the red lamp, the question; Retry
// searches again from the remembered port.
TEST_F(PortSearchTest, NothingFoundAsksRetryOrAbort) {
    tp.port.existing.clear();
    ctx.settings.COMM = 20;
    tp.dialogs.boxAnswers = {kRetry, kCancel};
    const auto [found, seconds] = TimedSearch();
    EXPECT_FALSE(found);
    EXPECT_NEAR(seconds, 2 * 16 * 0.2, 0.05);
    ASSERT_EQ(tp.dialogs.boxes.size(), 2u);
    const test::AskedBox& b = tp.dialogs.boxes[0];
    EXPECT_EQ(tuple(b.prompt, b.style, b.title, b.captions),
              tuple(QString("INSTRUMENT IS OFF OR NOT CONNECTED!"), kRetryCancel + kCritical,
                    QString("Communication error"), QStringList{"&Retry", "&Abort"}));
    EXPECT_EQ(ctx.ui->picStat[0]->Back(), kRed);
    EXPECT_TRUE(Status().startsWith("## NO CONNECTION"));

    // The tablet asks with its large buttons.
    ctx.settings.TOUCHMODE = true;
    tp.dialogs.largeAnswers = {true, false};
    EXPECT_FALSE(search.Port_Search());
    EXPECT_EQ(tp.dialogs.large, (std::vector<QStringList>{{"RETRY", "ABORT"}, {"RETRY", "ABORT"}}));
    EXPECT_EQ(tp.dialogs.boxes.size(), 2u);
}

// Nothing answers: the status line keeps "## NO CONNECTION" and the question its own text; after
// it comes what the operator can do: a port another program holds, a port the user may not open
// (each said as such, never the one for the other), the serial devices the search could not try.
// The log has it once however often Retry is pressed.
TEST_F(PortSearchTest, HintsWhenNothingAnswers) {
    tp.port.existing = {1, 2, 3};
    tp.port.inUse = {2};
    tp.port.denyAccess = {3};
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
    EXPECT_EQ(Status(), "## NO CONNECTION");
    EXPECT_EQ(Count(Log(), "IN USE BY ANOTHER PROGRAM"), 1u);

    // Nothing to add: the question alone.
    tp.port.inUse.clear(), tp.port.denyAccess.clear(), tp.port.devices.clear();
    tp.dialogs.boxAnswers = {kCancel};
    EXPECT_FALSE(search.Port_Search());
    EXPECT_EQ(tp.dialogs.boxes.back().prompt, "INSTRUMENT IS OFF OR NOT CONNECTED!");
}

// STOP ends the search at once, without a question; simulation mode touches no port.
TEST_F(PortSearchTest, StopAndSimulation) {
    tp.port.existing.clear();
    tp.clock.After(1.0, [this] { ctx.run.StopRequest = true; });
    const auto [found, seconds] = TimedSearch();
    EXPECT_FALSE(found);
    EXPECT_LT(seconds, 1.3);
    EXPECT_TRUE(tp.dialogs.boxes.empty());

    ctx.run.StopRequest = false;
    ctx.settings.SIMULMODE = true, ctx.settings.COMM = 7;
    EXPECT_TRUE(search.Port_Search());
    EXPECT_TRUE(tp.port.opened.empty() && tp.port.writes.empty());
    EXPECT_EQ(tuple(ctx.settings.COMM, Status()),
              tuple(Int16(7), QString("TESTING CONNECTION: COM7    OK")));
}

// A device that never stops talking (a GPS, a modem) holds each exchange 2 s at most, counts as
// not answering, and STOP ends even that wait.
TEST_F(PortSearchTest, ChatteringLineIsBoundedAndPassed) {
    tp.port.existing = {1, 2};
    tp.port.Chatter(1, 0.1);
    ctx.settings.COMM = 1;
    InstrumentOn(2);
    const auto [found, seconds] = TimedSearch();
    EXPECT_TRUE(found);
    EXPECT_EQ(ctx.settings.COMM, 2);
    EXPECT_LT(seconds, 3.0);

    ASSERT_TRUE(tp.port.Open(1));
    double start = tp.clock.Absolute();
    ctx.cmd->Input_Flush();
    EXPECT_NEAR(tp.clock.Absolute() - start, 2.0, 0.05);
    tp.clock.After(0.5, [this] { ctx.run.StopRequest = true; });
    start = tp.clock.Absolute();
    ctx.cmd->Input_Flush();
    EXPECT_NEAR(tp.clock.Absolute() - start, 0.5, 0.05);
}

// "Open Port" closes the port that is open and opens the number typed in; a number that cannot
// be opened is said in the status line and leaves the panel as it was.
TEST_F(PortSearchTest, ServiceOpenPort) {
    Controls& ui = *ctx.ui;
    ASSERT_TRUE(tp.port.Open(2));
    ui.txtCommPort->setText("9");
    ui.cmdCommPort->click();
    EXPECT_FALSE(tp.port.IsOpen());
    EXPECT_EQ(Status(), "## COM9 CANNOT BE OPENED");
    EXPECT_TRUE(ui.cmdCommPort->isEnabled());
    ui.txtCommPort->setText("4");
    ui.cmdCommPort->click();
    EXPECT_EQ(tuple(tp.port.IsOpen(), tp.port.PortNumber()), tuple(true, 4));
    EXPECT_EQ(Status(), "INSTRUMENT IS READY");
    EXPECT_FALSE(ui.cmdCommPort->isEnabled() || ui.txtCommPort->isEnabled() ||
                 ui.fraCommPort->isEnabled() ||
                 ui.cmdInit->isVisibleTo(ui.cmdInit->parentWidget()));
    EXPECT_TRUE(ui.cmdStart->isEnabled());
}

// The real port: a link names the device; a link whose device is gone is an absent port (the
// platform's device of that number is never taken instead); without a link only real serial
// ports exist.
TEST(QtSerialPortNames, LinksAndPlatformDevices) {
    QTemporaryDir dir;
    const fs::path ports = fs::path(dir.path().toStdString()) / "ports";
    fs::create_directories(ports);
    QtSerialPort port{ports};
    fs::create_symlink("/nonexistent/ttyUSB7", ports / "COM1");
    EXPECT_FALSE(port.Port_Exists(1) || port.Open(1));
    EXPECT_EQ(port.DeviceName(1), (ports / "COM1").string());
    const std::vector<std::string> devices = port.Devices();
    for (int n = 2; n <= 16; ++n) {
        const std::string dev = "/dev/ttyS" + std::to_string(n - 1);
        EXPECT_EQ(port.Port_Exists(n),
                  std::find(devices.begin(), devices.end(), dev) != devices.end())
            << dev;
    }
}
