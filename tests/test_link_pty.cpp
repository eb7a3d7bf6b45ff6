// The real serial port on a pseudo-terminal that the test answers itself.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <chrono>
#include <functional>

#include "core/Clock.h"
#include "core/Context.h"
#include "link/CommandLink.h"
#include "link/QtSerialPort.h"
#include "support/ScriptedDialogs.h"

using namespace zavo;
using namespace zavo::test;

namespace {

class Pty : public ::testing::Test {
  protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        slave = ptsname(master);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        ports = std::filesystem::path(dir.path().toStdString()) / "ports";
        std::filesystem::create_directories(ports);
        std::filesystem::create_symlink(slave, ports / "COM1");
        port = std::make_unique<QtSerialPort>(ports);
        ctx.clock = &clock;
        ctx.dialogs = &dialogs;
        ctx.port = port.get();
        link = std::make_unique<CommandLink>(ctx);
        ctx.cmd = link.get();
        // The test's own controller: answers each command it reads.
        notifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] {
            char buf[256];
            const ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) return;
            received.append(buf, size_t(n));
            if (answer) {
                const std::string reply = answer(std::string(buf, size_t(n)));
                if (!reply.empty()) {
                    ASSERT_EQ(write(master, reply.data(), reply.size()), ssize_t(reply.size()));
                }
            }
        });
    }
    void TearDown() override {
        link.reset();
        port.reset();
        notifier.reset();
        if (master >= 0) close(master);
    }
    void CloseMaster() {
        notifier.reset();
        close(master);
        master = -1;
    }

    QTemporaryDir dir;
    std::filesystem::path ports;
    int master = -1;
    std::string slave;
    RealClock clock;
    ScriptedDialogs dialogs;
    Ctx ctx;
    std::unique_ptr<QtSerialPort> port;
    std::unique_ptr<CommandLink> link;
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<std::string(const std::string&)> answer;
    std::string received;
};

}  // namespace

TEST_F(Pty, PortNamesFollowTheProgramFolder) {
    EXPECT_EQ(port->DeviceName(1), std::filesystem::canonical(slave).string());
    EXPECT_TRUE(port->Port_Exists(1));
    EXPECT_EQ(port->DeviceName(3), "/dev/ttyS2");
    EXPECT_FALSE(port->Port_Exists(0));
    std::filesystem::create_symlink("/nonexistent/tty", ports / "COM2");
    EXPECT_FALSE(port->Port_Exists(2));
    EXPECT_FALSE(port->Open(2));
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(Pty, ExchangeOfRawBytes) {
    ASSERT_TRUE(port->Open(1));  // DTR cannot be set on a pseudo-terminal: no error
    EXPECT_FALSE(port->Failed());
    answer = [](const std::string& cmd) {
        return cmd == "G" ? std::string(
                                "12\xae"
                                "34\xf6 ok\r\n")
                          : "** PRESET FIELD  10 mT\r\n";
    };
    link->Command_Execute("FD010", false, false);
    EXPECT_EQ(received, "FD010");
    EXPECT_FALSE(ctx.link.CmdError);
    EXPECT_EQ(ctx.link.ReplyText, "** PRESET FIELD  10 mT");
    link->Command_Execute("G", false, false);
    EXPECT_EQ(ctx.link.ReplyText,
              "12\xae"
              "34\xf6 ok");  // 8-bit bytes as they came
    EXPECT_EQ(ctx.link.ACFieldNow, 12);
    EXPECT_EQ(ctx.link.DCFieldNow, 34);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(Pty, PeerGoneEndsTheExchangeOnce) {
    ASSERT_TRUE(port->Open(1));
    answer = [this](const std::string&) {
        const std::string part = "** PRE";
        EXPECT_EQ(write(master, part.data(), part.size()), ssize_t(part.size()));
        QMetaObject::invokeMethod(
            notifier.get(), [this] { CloseMaster(); }, Qt::QueuedConnection);
        return std::string();
    };
    const auto t0 = std::chrono::steady_clock::now();
    link->Command_Execute("FD010", false, false);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(took, 3.0);  // not the 30 s of a missing line end
    EXPECT_TRUE(ctx.link.CmdError);
    EXPECT_TRUE(ctx.link.CmdFatal);
    EXPECT_TRUE(port->Failed());
    EXPECT_FALSE(port->IsOpen());
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].prompt.startsWith("## INSTRUMENT IS DISCONNECTED! "));
}
