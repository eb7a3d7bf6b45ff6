// The local-socket transport: the server on this thread's event loop, senders on another thread.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <cstring>
#include <thread>

#include "maglink/MagTransport.h"

using namespace zavo;
using Bytes = std::vector<std::uint8_t>;
using Sent = MagTransport::Sent;
using Served = MagTransport::Served;

namespace {

// Runs the event loop until done, for at most ms.
bool Pump(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

std::string Replies(std::initializer_list<std::pair<int, Delivery>> runs) {
    std::string out;
    for (auto [n, d] : runs)
        for (const auto r = Reply_Encode(d); n-- > 0;) out.append(r.begin(), r.end());
    return out;
}

struct LocalLinkTest : ::testing::Test {
    QTemporaryDir tmp;
    const std::string folder = tmp.path().toStdString() + "/zavo";
    const std::string path = folder + "/" + kReceiveName;
    std::unique_ptr<MagTransport> server = Local();
    std::vector<CopyData> got;
    std::string detail, why;

    std::unique_ptr<MagTransport> Local(unsigned user = geteuid()) const {
        return MagTransport_Local(folder, user);
    }
    Served Serve(MagTransport& t) {
        return t.Serve(
            kReceiveName, [this](const CopyData& d) { got.push_back(d); }, detail);
    }
    // The payloads handled so far, after waiting a moment for n of them.
    size_t Got(size_t n) {
        Pump([&] { return got.size() >= n; }, 1000);
        return got.size();
    }
    // A blocking send, as another program makes it, while this one serves.
    Sent Send(const std::string& text, int timeoutMs = 1000, MagTransport* from = nullptr) {
        std::atomic<bool> done{false};
        Sent result = Sent::Failed;
        std::unique_ptr<MagTransport> own = from ? nullptr : Local();
        MagTransport& t = from ? *from : *own;
        std::thread sender(
            [&] { result = t.Send(kReceiveName, Text_Payload(text), 42, timeoutMs), done = true; });
        Pump([&] { return done.load(); }, timeoutMs + 3000);
        sender.join();
        why = t.Why();
        return result;
    }
    // Raw bytes from a client: the replies until the server closed.
    std::string Raw(const Bytes& bytes) {
        QLocalSocket c;
        c.connectToServer(QString::fromStdString(path));
        EXPECT_TRUE(c.waitForConnected(1000));
        c.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        QByteArray reply;
        Pump([&] { return reply += c.readAll(), c.state() == QLocalSocket::UnconnectedState; });
        return reply.toStdString();
    }
    // A socket at the endpoint's path, bound (and listening when asked) but accepting nobody.
    int Bound(bool listening = false) const {
        mkdir(folder.c_str(), 0700), unlink(path.c_str());
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{.sun_family = AF_UNIX, .sun_path = {}};
        std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
        EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
        if (listening) listen(fd, 4);
        return fd;
    }
};

}  // namespace

TEST_F(LocalLinkTest, DeliversOnlyToItsOwnUser) {
    ASSERT_EQ(Serve(*server), Served::Serving) << detail;
    struct stat folderStat {
    }, socketStat{};
    ASSERT_EQ(stat(folder.c_str(), &folderStat) | stat(path.c_str(), &socketStat), 0);
    EXPECT_EQ(folderStat.st_mode & 07777, 0700u) << "a folder only the user can enter";
    EXPECT_TRUE(S_ISSOCK(socketStat.st_mode) && socketStat.st_uid == geteuid());
    EXPECT_EQ(socketStat.st_mode & 077, 0u) << "group and others may not connect";

    EXPECT_EQ(Send("AD-050"), Sent::Delivered);
    ASSERT_EQ(Got(1), 1u);
    EXPECT_EQ(std::pair(got[0].type, got[0].bytes),
              std::pair(kTypeText, Text_Payload("AD-050").bytes));

    // A second program keeps its hands off the name; the first still serves.
    auto second = Local();
    EXPECT_EQ(Serve(*second), Served::Taken);
    EXPECT_EQ(Send("AD-060"), Sent::Delivered);
    EXPECT_EQ(Got(2), 2u);

    server->Stop();
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "the socket file goes with the server";
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(Send("AD-050"), Sent::NoReceiver);
    EXPECT_LT(t.elapsed(), 500) << "nobody listening costs no waiting";

    // The socket of a crashed run (bound, nobody accepting) is replaced.
    close(Bound());
    ASSERT_EQ(Serve(*server), Served::Serving) << detail;
    EXPECT_EQ(Send("IRM-5"), Sent::Delivered);
    EXPECT_EQ(Got(3), 3u);
}

// Junk and oversized frames are refused by reply (floods and cut frames: the soak's part).
TEST_F(LocalLinkTest, MalformedFramesRefused) {
    ASSERT_EQ(Serve(*server), Served::Serving) << detail;
    Bytes oversized = Frame_Encode({kTypeText, {}}, 1);
    Bytes goodThenJunk = Frame_Encode(Text_Payload("AD-050"), 1);
    oversized[11] = 0x7f;  // ~2 GB announced, nothing sent
    goodThenJunk.insert(goodThenJunk.end(), {'G', 'E', 'T'});
    EXPECT_EQ(Raw({'G', 'E', 'T', ' ', '/'}) + Raw(oversized), Replies({{2, Delivery::Rejected}}));
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(Raw(goodThenJunk), Replies({{1, Delivery::Handled}, {1, Delivery::Rejected}}));
    EXPECT_EQ(Got(1), 1u);
}

// A receiver that never answers, or hangs up, holds the sender no longer than its time-out.
TEST_F(LocalLinkTest, SendBoundedWhenTheReceiverHangsOrHangsUp) {
    int mute = Bound(true);  // listens, never accepts
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(Send("45296.5", 300), Sent::Failed);
    EXPECT_TRUE(t.elapsed() >= 250 && t.elapsed() < 2000) << t.elapsed();
    EXPECT_EQ(why, "no answer from the receiver within 300 ms");
    close(mute), mute = Bound(true);
    std::thread hangUp([mute] {  // takes the whole frame, then hangs up
        char frame[kFrameHeader + 8];
        const int c = accept(mute, nullptr, nullptr);
        recv(c, frame, sizeof frame, MSG_WAITALL), close(c);
    });
    EXPECT_EQ(Send("45296.5", 300), Sent::Failed);
    hangUp.join(), close(mute);
    EXPECT_EQ(why, "the receiver closed the connection without an answer");
}

TEST_F(LocalLinkTest, OtherUsersFoldersSocketsAndPeersNeitherUsedNorYieldedTo) {
    ASSERT_EQ(Serve(*server), Served::Serving) << detail;
    chmod(folder.c_str(), 0750);  // others may enter: anybody could have put the socket there
    EXPECT_EQ(
        std::pair(Serve(*Local()), detail),
        std::pair(Served::Failed, "the folder " + folder + " is open to other users (mode 0750)"));
    chmod(folder.c_str(), 0700);

    if (geteuid() != 0) GTEST_SKIP() << "handing files to another user needs root";
    const unsigned other = 4242;
    // A socket of another user in the folder: not sent to, not yielded to.
    ASSERT_EQ(lchown(path.c_str(), other, other), 0);
    EXPECT_EQ(Send("AD-010"), Sent::Failed);
    EXPECT_EQ(why, "the socket " + path + " belongs to another user (uid 4242)");
    auto second = Local();
    ASSERT_EQ(Serve(*second), Served::Serving) << detail;
    server->Stop();  // the first one's exit leaves the socket of the one that took over
    EXPECT_EQ(Send("AD-020"), Sent::Delivered) << why;
    EXPECT_EQ(Got(1), 1u);

    // A folder and socket file that look like the other user's, behind which a program of this
    // user listens: its peer credentials give it away, to the sender and to the receiver.
    ASSERT_EQ(chown(folder.c_str(), other, other) | lchown(path.c_str(), other, other), 0);
    auto asOther = Local(other);
    EXPECT_EQ(Send("AD-030", 1000, asOther.get()), Sent::Failed);
    EXPECT_EQ(why, path + " is served by a program of another user (uid 0)");
    second->Stop();
    ASSERT_EQ(Serve(*asOther), Served::Serving) << detail;
    EXPECT_EQ(Raw(Frame_Encode(Text_Payload("AD-040"), 1)), "");
    EXPECT_EQ(Got(2), 1u);
}
