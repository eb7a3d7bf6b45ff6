// The search for the instrument's port and the service mode's "Open Port".
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/PortSearch.h"
#include "link/StatusLine.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;
using std::tuple;

namespace {

constexpr const char* kBanner = "** ZAVO-A  03-Jul-2013  c22365";

struct PortSearchTest : ::testing::Test {
    void SetUp() override { ctx.log->Open(tp.Dir() / "mon" / "06-12-2026.mon"); }
    // The controller sits on `port` and answers the firmware request with `banner`; the
    // devices on the other ports answer with `other`.
    void InstrumentOn(int port, std::string banner = kBanner, std::string other = "") {
        tp.port.responder = [=, this](const std::string& cmd) {
            if (cmd != "\x10") return std::string();
            const std::string r = tp.port.PortNumber() == port ? banner : other;
            return r.empty() ? r : r + "\r\n";
        };
    }
    std::string Status() const { return ctx.ui->picStat[1]->Text().trimmed().toStdString(); }
    // Found, and the seconds the search took on the fake clock.
    std::pair<bool, double> Search() {
        const double start = tp.clock.Absolute();
        const bool found = search.Port_Search();
        return {found, tp.clock.Absolute() - start};
    }
    TestProgram tp;
    Ctx& ctx = tp.ctx();
    PortSearch& search = *ctx.search;
};

}  // namespace

// The remembered port first, then in order; other devices are passed without a word.
TEST_F(PortSearchTest, RememberedPortFirstThenTheOthers) {
    struct Case {
        const char* what;
        int remembered;
        std::set<int> existing, refused;
        int instrument;
        const char* other;
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
    tp.port.existing.clear();
    ctx.settings.COMM = 20;
    tp.dialogs.boxAnswers = {kRetry, kCancel};
    const auto [found, seconds] = Search();
    EXPECT_FALSE(found);
    EXPECT_NEAR(seconds, 2 * 16 * 0.2, 0.05);
    EXPECT_EQ(tuple(tp.dialogs.boxes.size(), ctx.ui->picStat[0]->Back(), Status()),
              tuple(2u, kRed, "## NO CONNECTION"));

    ctx.settings.TOUCHMODE = true;
    tp.dialogs.largeAnswers = {true, false};
    EXPECT_FALSE(search.Port_Search());
    EXPECT_EQ(tuple(tp.dialogs.large, tp.dialogs.boxes.size()),
              tuple(std::vector<QStringList>{{"RETRY", "ABORT"}, {"RETRY", "ABORT"}}, 2u));
}

// The question adds ports held or forbidden and devices not tried, logged once.
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
    tp.port.existing.clear();
    tp.clock.After(1.0, [this] { ctx.run.StopRequest = true; });
    const auto [found, seconds] = Search();
    EXPECT_TRUE(!found && seconds < 1.3 && tp.dialogs.boxes.empty());
    ctx.run.StopRequest = false;
    tp.port.existing = {1, 2};
    tp.port.Chatter(1, 0.1);
    ctx.settings.COMM = 1;
    InstrumentOn(2);
    const auto [chattered, took] = Search();
    EXPECT_TRUE(chattered && ctx.settings.COMM == 2 && took < 3.0) << took;
    ASSERT_TRUE(tp.port.Open(1));
    double start = tp.clock.Absolute();
    ctx.cmd->Input_Flush();
    EXPECT_NEAR(tp.clock.Absolute() - start, 2.0, 0.05);
    tp.clock.After(0.5, [this] { ctx.run.StopRequest = true; });
    start = tp.clock.Absolute();
    ctx.cmd->Input_Flush();
    EXPECT_NEAR(tp.clock.Absolute() - start, 0.5, 0.05);
}

// Opening the open port discards what waits; "Open Port" opens the number typed in or says not.
TEST_F(PortSearchTest, OpenPorts) {
    Controls& ui = *ctx.ui;
    ASSERT_TRUE(search.Port_Open(2));
    tp.port.Deliver("stale");
    EXPECT_TRUE(search.Port_Open(2) && search.Port_Open(3));
    EXPECT_EQ(tuple(tp.port.opened, tp.port.discards, tp.port.PortNumber()),
              tuple(std::vector<int>{2, 3}, 1, 3));
    ui.txtCommPort->setText("9");
    ui.cmdCommPort->click();
    EXPECT_EQ(tuple(tp.port.IsOpen(), Status(), ui.cmdCommPort->isEnabled()),
              tuple(false, "## COM9 CANNOT BE OPENED", true));
    ui.txtCommPort->setText("4");
    ui.cmdCommPort->click();
    EXPECT_EQ(tuple(tp.port.IsOpen(), tp.port.PortNumber(), Status()),
              tuple(true, 4, "INSTRUMENT IS READY"));
    EXPECT_TRUE(ui.cmdStart->isEnabled() && !ui.cmdCommPort->isEnabled());
}
