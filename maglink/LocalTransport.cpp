// Copy-data messages over local sockets (frames of MagProtocol.h), kept in a
// folder that only the user can enter. Sockets, folders and peers of another
// user are never used and never yielded to: on a shared computer they would
// let that user take the magnetometer program's steps or time stamps.
#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <deque>
#include <list>

#include "maglink/MagTransport.h"

namespace zavo {

namespace {

// A frame must be complete this long after its first byte arrived.
constexpr int kStalledMs = 5000;
// A connection that carries nothing is dropped after this long.
constexpr int kIdleMs = 2000;
// Connections served at once. A newcomer beyond them takes the place of the
// one idle longest (idle at least kEvictMs), else it is refused: held
// connections can neither starve senders nor use up the descriptors.
constexpr size_t kConnectionsMax = 16;
constexpr qint64 kEvictMs = 200;
// Payloads taken and not yet handled; frames beyond them are refused.
constexpr size_t kInboxMax = 32;
// Accepting pauses this long when the process is out of descriptors.
constexpr int kAcceptRetryMs = 250;
// Connections accepted in one go; their reads come in between.
constexpr int kAcceptBurst = 64;
// How long a socket that may belong to a running program is asked.
constexpr int kProbeMs = 500;

std::string Errno_Text(int e) {
    return std::strerror(e);
}

enum class Place { Ours, Missing, Bad };

// The folder belongs to the user and nobody else may enter it; made first
// when asked to. A symbolic link does not count as the folder.
Place Folder_Check(const std::string& folder, unsigned user, bool create, std::string& why) {
    if (create && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        why = "cannot create the folder " + folder + ": " + Errno_Text(errno);
        return Place::Bad;
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        const int e = errno;
        why = "the folder " + folder + ": " + Errno_Text(e);
        return e == ENOENT ? Place::Missing : Place::Bad;
    }
    if (!S_ISDIR(st.st_mode)) {
        why = folder + " is not a folder";
        return Place::Bad;
    }
    if (st.st_uid != user) {
        why = "the folder " + folder + " belongs to another user (uid " +
              std::to_string(st.st_uid) + ")";
        return Place::Bad;
    }
    if ((st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", unsigned(st.st_mode & 07777));
        why = "the folder " + folder + " is open to other users (mode " + mode + ")";
        return Place::Bad;
    }
    return Place::Ours;
}

enum class Sock { None, Ours, Foreign };

Sock Socket_Check(const std::string& path, unsigned user, std::string& why) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return Sock::None;
    if (!S_ISSOCK(st.st_mode)) {
        why = path + " is not a socket";
        return Sock::Foreign;
    }
    if (st.st_uid != user) {
        why = "the socket " + path + " belongs to another user (uid " + std::to_string(st.st_uid) +
              ")";
        return Sock::Foreign;
    }
    return Sock::Ours;
}

// The program at the other end runs as the user.
bool Peer_Is(int fd, unsigned user, unsigned& peer) {
#ifdef SO_PEERCRED
    ucred c{};
    socklen_t n = sizeof c;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &c, &n) != 0) return false;
    peer = c.uid;
#else
    uid_t u = 0;
    gid_t g = 0;
    if (::getpeereid(fd, &u, &g) != 0) return false;
    peer = u;
#endif
    return peer == user;
}

bool Address(const std::string& path, sockaddr_un& a, std::string& why) {
    a = {};
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof a.sun_path) {
        why = "the socket path " + path + " is too long";
        return false;
    }
    std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Waits for the descriptor until the deadline; true when it is ready.
bool Ready(int fd, short events, const QDeadlineTimer& deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, int(std::max<qint64>(0, deadline.remainingTime())));
        if (r > 0) return true;
        if (r == 0 || errno != EINTR) return false;
    }
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// A connected socket, or -1 with err set. A receiver whose queue of new
// connections is full is asked again until the deadline.
int Connect(const sockaddr_un& a, const QDeadlineTimer& deadline, int& err) {
    Fd s{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
    if (s.fd < 0) {
        err = errno;
        return -1;
    }
    for (;;) {
        if (::connect(s.fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) break;
        err = errno;
        if (err == EINTR) continue;
        if (err == EAGAIN && !deadline.hasExpired()) {
            ::poll(nullptr, 0, 10);
            continue;
        }
        if (err != EINPROGRESS) return -1;
        socklen_t n = sizeof err;
        if (!Ready(s.fd, POLLOUT, deadline)) {
            err = ETIMEDOUT;
            return -1;
        }
        if (::getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &err, &n) != 0 || err != 0) return -1;
        break;
    }
    const int fd = s.fd;
    s.fd = -1;
    return fd;
}

enum class Io { Done, Closed, TimedOut };

// Writes (or reads) n bytes through the socket until the deadline.
Io Transfer(int fd, std::uint8_t* p, std::size_t n, bool write, const QDeadlineTimer& deadline) {
    for (std::size_t done = 0; done < n;) {
        const ssize_t k = write ? ::send(fd, p + done, n - done, MSG_NOSIGNAL)
                                : ::recv(fd, p + done, n - done, 0);
        if (k > 0) {
            done += std::size_t(k);
        } else if (k < 0 && errno == EINTR) {
            continue;
        } else if (k < 0 && errno == EAGAIN) {
            if (!Ready(fd, write ? POLLOUT : POLLIN, deadline)) return Io::TimedOut;
        } else {
            return Io::Closed;
        }
    }
    return Io::Done;
}

// One served endpoint: the listening socket, its connections and the
// payloads taken but not yet handled.
class Server : public QObject {
  public:
    Server(int fd, std::string path, const struct stat& bound, unsigned user,
           MagTransport::Receiver receiver, MagTransport::Trouble trouble)
        : fd_(fd),
          path_(std::move(path)),
          dev_(bound.st_dev),
          ino_(bound.st_ino),
          user_(user),
          receiver_(std::move(receiver)),
          trouble_(std::move(trouble)) {
        notifier_ = new QSocketNotifier(qintptr(fd_), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { Accept(); });
        retry_.setSingleShot(true);
        connect(&retry_, &QTimer::timeout, this, [this] {
            notifier_->setEnabled(true);
            Accept();
        });
    }
    ~Server() override { Shut(); }

    // Leaves the name: the socket file goes (if it is still the one bound
    // here), every connection is cut, nothing more is handed on.
    void Shut() {
        if (shut_) return;
        shut_ = true;
        retry_.stop();
        notifier_->setEnabled(false);
        struct stat st {};
        if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_)
            ::unlink(path_.c_str());
        ::close(fd_);
        for (Conn& c : conns_)
            if (!c.gone) Detach(c);
        conns_.clear();  // the sockets are children: they go with the server
        inbox_.clear();
    }
    // Inside one of its own handlers: it may not be deleted now.
    bool Busy() const { return depth_ > 0; }

  private:
    struct Conn {
        QLocalSocket* s = nullptr;
        QTimer* timer = nullptr;
        QByteArray buffer;
        QElapsedTimer since;  // last bytes
        bool framing = false;
        bool closing = false;
        bool gone = false;  // dropped; erased by the next Take
    };
    struct Depth {
        explicit Depth(int& d) : d_(d) { ++d_; }
        ~Depth() { --d_; }
        int& d_;
    };

    void Accept() {
        Depth depth(depth_);
        for (int i = 0; i < kAcceptBurst && !shut_; ++i) {
#ifdef __linux__
            const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
#else
            const int fd = ::accept(fd_, nullptr, nullptr);
            if (fd >= 0) {
                ::fcntl(fd, F_SETFD, FD_CLOEXEC);
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            }
#endif
            if (fd >= 0) {
                Trouble_Tell("");
                Take(fd);
                continue;
            }
            const int e = errno;
            if (e == EINTR || e == ECONNABORTED || e == EPROTO) continue;
            if (e == EAGAIN || e == EWOULDBLOCK) return;
            // Out of descriptors or memory: the name stays bound and the
            // waiting connections queued; accepting resumes when it can.
            notifier_->setEnabled(false);
            retry_.start(kAcceptRetryMs);
            Trouble_Tell(Errno_Text(e));
            return;
        }
    }

    void Take(int fd) {
        conns_.remove_if([](const Conn& c) { return c.gone; });
        unsigned peer = 0;
        if (!Peer_Is(fd, user_, peer)) {
            ::close(fd);
            return;
        }
        if (conns_.size() >= kConnectionsMax && !Idlest_Drop()) {
            const auto r = Reply_Encode(Delivery::Rejected);
            (void)!::send(fd, r.data(), r.size(), MSG_NOSIGNAL);
            ::close(fd);
            return;
        }
        auto* s = new QLocalSocket(this);
        if (!s->setSocketDescriptor(qintptr(fd), QLocalSocket::ConnectedState,
                                    QIODevice::ReadWrite)) {
            delete s;
            ::close(fd);
            return;
        }
        conns_.push_back({});
        Conn* c = &conns_.back();
        c->s = s;
        c->timer = new QTimer(s);
        c->timer->setSingleShot(true);
        c->since.start();
        connect(c->timer, &QTimer::timeout, this, [this, c] { Drop(c); });
        connect(s, &QLocalSocket::readyRead, this, [this, c] { Read(c); });
        connect(s, &QLocalSocket::disconnected, this, [this, c] { Drop(c); });
        c->timer->start(kIdleMs);
    }

    bool Idlest_Drop() {
        Conn* idlest = nullptr;
        for (Conn& c : conns_)
            if (!c.gone && c.buffer.isEmpty() && c.since.elapsed() >= kEvictMs &&
                (!idlest || c.since.elapsed() > idlest->since.elapsed()))
                idlest = &c;
        if (idlest) Drop(idlest);
        return idlest != nullptr;
    }

    void Detach(Conn& c) {
        QObject::disconnect(c.s, nullptr, this, nullptr);
        QObject::disconnect(c.timer, nullptr, this, nullptr);
        c.timer->stop();
        c.s->abort();
    }

    // Kept in the list until the next Take: a socket may end itself (a write
    // to a closed peer) while its bytes are being read.
    void Drop(Conn* c) {
        if (c->gone) return;
        c->gone = true;
        Detach(*c);
        c->buffer.clear();
        c->s->deleteLater();
    }

    void Read(Conn* c) {
        Depth depth(depth_);
        if (c->closing) {
            c->s->readAll();
            return;
        }
        c->buffer += c->s->readAll();
        c->since.restart();
        while (!c->buffer.isEmpty()) {
            FrameRead f = Frame_Decode(reinterpret_cast<const std::uint8_t*>(c->buffer.data()),
                                       std::size_t(c->buffer.size()));
            if (f.status == FrameRead::Status::Incomplete) break;
            if (f.status == FrameRead::Status::Malformed) {
                c->buffer.clear();
                c->closing = true;
                Reply(c->s, Delivery::Rejected);
                if (!c->gone) c->s->disconnectFromServer();
                return;
            }
            c->buffer.remove(0, qsizetype(f.used));
            c->framing = false;
            // The sender is released before the payload is handled: what the
            // payload starts (an exchange with the instrument) may take long.
            Reply(c->s, Inbox_Add(std::move(f.data)) ? Delivery::Handled : Delivery::Rejected);
            if (c->gone) return;
        }
        if (c->buffer.isEmpty()) {
            c->framing = false;
            c->timer->start(kIdleMs);
        } else if (!c->framing) {
            c->framing = true;
            c->timer->start(kStalledMs);
        }
    }

    static void Reply(QLocalSocket* s, Delivery d) {
        const auto r = Reply_Encode(d);
        s->write(reinterpret_cast<const char*>(r.data()), qint64(r.size()));
        s->flush();
    }

    // Handled from the event loop, not inside the socket's own signal: the
    // handler's waits may see this connection end and go.
    bool Inbox_Add(CopyData data) {
        if (inbox_.size() >= kInboxMax) return false;
        inbox_.push_back(std::move(data));
        if (!drainPosted_) {
            drainPosted_ = true;
            QTimer::singleShot(0, this, [this] { Inbox_Drain(); });
        }
        return true;
    }

    void Inbox_Drain() {
        Depth depth(depth_);
        drainPosted_ = false;
        while (!shut_ && !inbox_.empty()) {
            const CopyData d = std::move(inbox_.front());
            inbox_.pop_front();
            if (receiver_) receiver_(d);
        }
    }

    void Trouble_Tell(const std::string& why) {
        if (troubled_ == !why.empty()) return;
        troubled_ = !why.empty();
        if (trouble_) trouble_(why);
    }

    int fd_;
    std::string path_;
    dev_t dev_;
    ino_t ino_;
    unsigned user_;
    MagTransport::Receiver receiver_;
    MagTransport::Trouble trouble_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer retry_;
    std::list<Conn> conns_;
    std::deque<CopyData> inbox_;
    bool drainPosted_ = false;
    bool troubled_ = false;
    bool shut_ = false;
    int depth_ = 0;
};

class LocalTransport : public MagTransport {
  public:
    LocalTransport(std::string folder, unsigned user) : folder_(std::move(folder)), user_(user) {}
    ~LocalTransport() override { Stop(); }

    Served Serve(const std::string& name, Receiver receiver, std::string& detail) override {
        Stop();
        if (Folder_Check(folder_, user_, true, detail) != Place::Ours) return Served::Failed;
        const std::string path = folder_ + "/" + name;
        sockaddr_un a{};
        if (!Address(path, a, detail)) return Served::Failed;
        std::string ignored;
        if (Socket_Check(path, user_, ignored) == Sock::Ours) {
            // A program of this user answers: it keeps the name.
            int err = 0;
            Fd probe{Connect(a, QDeadlineTimer(kProbeMs), err)};
            unsigned peer = 0;
            if (probe.fd >= 0 ? Peer_Is(probe.fd, user_, peer) : err == EAGAIN)
                return Served::Taken;
        }
        // Left by a program that did not end cleanly, or not this user's.
        ::unlink(path.c_str());
        Fd s{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
        struct stat bound {};
        if (s.fd < 0 || ::bind(s.fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
            ::chmod(path.c_str(), 0700) != 0 || ::listen(s.fd, 64) != 0 ||
            ::lstat(path.c_str(), &bound) != 0) {
            detail = "cannot serve " + path + ": " + Errno_Text(errno);
            if (s.fd >= 0) ::unlink(path.c_str());
            return Served::Failed;
        }
        server_ = new Server(s.fd, path, bound, user_, std::move(receiver), trouble_);
        s.fd = -1;
        return Served::Serving;
    }

    void Stop() override {
        if (!server_) return;
        server_->Shut();
        // Stop may be called by the receiver, from inside the server.
        if (server_->Busy())
            server_->deleteLater();
        else
            delete server_;
        server_ = nullptr;
    }

    Sent Send(const std::string& name, const CopyData& data, std::uint64_t sender,
              int timeoutMs) override {
        why_.clear();
        const QDeadlineTimer deadline(timeoutMs);
        const std::string path = folder_ + "/" + name;
        sockaddr_un a{};
        if (!Address(path, a, why_)) return Sent::Failed;
        const Place folder = Folder_Check(folder_, user_, false, why_);
        if (folder == Place::Bad) return Sent::Failed;
        const Sock sock = folder == Place::Missing ? Sock::None : Socket_Check(path, user_, why_);
        if (sock == Sock::Foreign) return Sent::Failed;
        if (sock == Sock::None) {
            why_ = "no program listens on " + path;
            return Sent::NoReceiver;
        }
        int err = 0;
        Fd s{Connect(a, deadline, err)};
        if (s.fd < 0) {
            if (err == ENOENT || err == ECONNREFUSED) {
                why_ = "no program listens on " + path;
                return Sent::NoReceiver;
            }
            why_ = "cannot connect to " + path + ": " + Errno_Text(err);
            return Sent::Failed;
        }
        unsigned peer = 0;
        if (!Peer_Is(s.fd, user_, peer)) {
            why_ =
                path + " is served by a program of another user (uid " + std::to_string(peer) + ")";
            return Sent::Failed;
        }
        std::vector<std::uint8_t> frame = Frame_Encode(data, sender);
        // A receiver that closed may have left its refusal to be read.
        if (Transfer(s.fd, frame.data(), frame.size(), true, deadline) == Io::TimedOut)
            return Timed_Out(timeoutMs);
        std::uint8_t reply[kReplySize];
        switch (Transfer(s.fd, reply, kReplySize, false, deadline)) {
            case Io::Done:
                break;
            case Io::TimedOut:
                return Timed_Out(timeoutMs);
            case Io::Closed:
                why_ = "the receiver closed the connection without an answer";
                return Sent::Failed;
        }
        Delivery d{};
        if (!Reply_Decode(reply, kReplySize, d)) {
            why_ = "the receiver's answer is not a copy-data reply";
            return Sent::Failed;
        }
        if (d == Delivery::Handled) return Sent::Delivered;
        why_ = "the receiver refused the message (malformed, or too busy to take it)";
        return Sent::Rejected;
    }

  private:
    Sent Timed_Out(int timeoutMs) {
        why_ = "no answer from the receiver within " + std::to_string(timeoutMs) + " ms";
        return Sent::Failed;
    }

    std::string folder_;
    unsigned user_;
    Server* server_ = nullptr;
};

}  // namespace

std::string Socket_Folder() {
    // The runtime folder counts only when it is the user's own.
    const QByteArray run = qgetenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (run.startsWith('/') && ::lstat(run.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid())
        return run.toStdString() + "/zavo";
    // Qt gives no temporary folder when TMPDIR names one that does not exist.
    const QString temp = QDir::tempPath();
    return (temp.isEmpty() ? std::string("/tmp") : QFile::encodeName(temp).toStdString()) +
           "/zavo-" + std::to_string(::geteuid());
}

std::unique_ptr<MagTransport> MagTransport_Local(const std::string& folder, unsigned user) {
    return std::make_unique<LocalTransport>(folder, user);
}

std::unique_ptr<MagTransport> MagTransport_System() {
    return MagTransport_Local(Socket_Folder(), ::geteuid());
}

}  // namespace zavo

#endif
