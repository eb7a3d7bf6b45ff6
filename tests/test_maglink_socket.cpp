// The local-socket transport between real sockets of this process: the
// server runs on this thread's event loop, blocking senders on another thread.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <atomic>
#include <cstring>
#include <thread>

#include "maglink/MagTransport.h"

using namespace zavo;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct LocalLinkTest : ::testing::Test {
    const std::string name = "zavo-test-" + std::to_string(QCoreApplication::applicationPid()) +
                             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string path = (QDir::tempPath() + "/").toStdString() + name;
    std::unique_ptr<MagTransport> server = MagTransport_System();
    std::vector<CopyData> got;
    std::string detail;

    void TearDown() override { server->Stop(); }

    MagTransport::Served Serve(MagTransport& t) {
        return t.Serve(
            name, [this](const CopyData& d) { got.push_back(d); }, detail);
    }
    // Runs the event loop until done, for at most ms.
    static bool Pump(const std::function<bool()>& done, int ms = 3000) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms) {
            QEventLoop loop;
            QTimer::singleShot(10, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return done();
    }
    // The payloads handled so far, after waiting a moment for n of them.
    size_t Got(size_t n) {
        Pump([&] { return got.size() >= n; }, 1000);
        return got.size();
    }
    // A blocking send, as another program makes it, while this one serves.
    MagTransport::Sent Send(const CopyData& data, int timeoutMs = 1000) {
        std::atomic<bool> done{false};
        MagTransport::Sent result = MagTransport::Sent::Failed;
        std::thread sender([&] {
            result = MagTransport_System()->Send(name, data, 42, timeoutMs);
            done = true;
        });
        Pump([&] { return done.load(); }, timeoutMs + 3000);
        sender.join();
        return result;
    }
    // Raw bytes from a client on this thread: the reply, or "" when the
    // server closed without one.
    std::string Raw(const Bytes& bytes) {
        QLocalSocket c;
        c.connectToServer(QString::fromStdString(name));
        EXPECT_TRUE(c.waitForConnected(1000));
        c.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        QByteArray reply;
        Pump([&] {
            reply += c.readAll();
            return reply.size() >= qsizetype(kReplySize) ||
                   c.state() == QLocalSocket::UnconnectedState;
        });
        return reply.toStdString();
    }
    static std::string Reply(Delivery d) {
        const auto r = Reply_Encode(d);
        return std::string(r.begin(), r.end());
    }
};

}  // namespace

TEST_F(LocalLinkTest, DeliversOnlyToItsOwnUser) {
    ASSERT_EQ(Serve(*server), MagTransport::Served::Serving) << detail;
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u) << "group and others may not connect";
    EXPECT_EQ(st.st_uid, getuid());

    const CopyData step = Text_Payload("AD-050");
    EXPECT_EQ(Send(step), MagTransport::Sent::Delivered);
    ASSERT_EQ(Got(1), 1u);
    EXPECT_EQ(got[0].type, kTypeText);
    EXPECT_EQ(got[0].bytes, step.bytes);

    // A second program keeps its hands off the name; the first still serves.
    auto second = MagTransport_System();
    EXPECT_EQ(Serve(*second), MagTransport::Served::Taken);
    EXPECT_EQ(Send({kTypeDoubles, Bytes(16, 0)}), MagTransport::Sent::Delivered);
    EXPECT_EQ(Got(2), 2u);

    server->Stop();
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "the socket file goes with the server";
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(Send(step), MagTransport::Sent::NoReceiver);
    EXPECT_LT(t.elapsed(), 500) << "nobody listening costs no waiting";
}

TEST_F(LocalLinkTest, StaleSocketOfACrashedRunReplaced) {
    // A bound socket whose program is gone: the file stays, nobody accepts.
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);
    ASSERT_EQ(access(path.c_str(), F_OK), 0);

    ASSERT_EQ(Serve(*server), MagTransport::Served::Serving) << detail;
    EXPECT_EQ(Send(Text_Payload("IRM-5")), MagTransport::Sent::Delivered);
    EXPECT_EQ(Got(1), 1u);
}

TEST_F(LocalLinkTest, MalformedFramesRefused) {
    ASSERT_EQ(Serve(*server), MagTransport::Served::Serving) << detail;
    const Bytes good = Frame_Encode(Text_Payload("AD-050"), 1);
    Bytes oversized = Frame_Encode({kTypeText, {}}, 1);
    oversized[11] = 0x7f;  // ~2 GB announced, nothing sent
    Bytes goodThenJunk = good;
    goodThenJunk.insert(goodThenJunk.end(), {'G', 'E', 'T'});
    const Bytes junk{'G', 'E', 'T', ' ', '/'};

    EXPECT_EQ(Raw(junk), Reply(Delivery::Rejected));
    EXPECT_EQ(Raw(oversized), Reply(Delivery::Rejected));
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(Raw(goodThenJunk), Reply(Delivery::Handled) + Reply(Delivery::Rejected));
    EXPECT_EQ(Got(1), 1u);

    // A frame cut short by its sender never counts.
    {
        QLocalSocket c;
        c.connectToServer(QString::fromStdString(name));
        ASSERT_TRUE(c.waitForConnected(1000));
        c.write(reinterpret_cast<const char*>(good.data()), qint64(good.size() - 1));
        c.waitForBytesWritten(1000);
        c.disconnectFromServer();
        Pump([] { return false; }, 100);
    }
    EXPECT_EQ(got.size(), 1u);
    EXPECT_EQ(Send(Text_Payload("AD-060")), MagTransport::Sent::Delivered);
    EXPECT_EQ(Got(2), 2u);
}

TEST_F(LocalLinkTest, SendBoundedWhenTheReceiverHangs) {
    // Accepts, reads, never answers.
    QLocalServer mute;
    QLocalServer::removeServer(QString::fromStdString(name));
    ASSERT_TRUE(mute.listen(QString::fromStdString(name)));
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(Send(Text_Payload("45296.5"), 300), MagTransport::Sent::Failed);
    EXPECT_GE(t.elapsed(), 250);
    EXPECT_LT(t.elapsed(), 2000);
}
