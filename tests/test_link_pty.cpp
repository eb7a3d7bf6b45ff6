// The real serial port on a pseudo-terminal that the test answers itself.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <chrono>

#include "core/Clock.h"
#include "core/Context.h"
#include "link/CommandLink.h"
#include "link/QtSerialPort.h"
#include "link/Terminal.h"
#include "support/ScriptedDialogs.h"

using namespace zavo;
using namespace zavo::test;

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
    ctx.clock = &clock;
    ctx.dialogs = &dialogs;
    ctx.port = &port;
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
