// Copy-data messages over Qt's local sockets (frames of MagProtocol.h).
#ifndef _WIN32

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <memory>

#include "maglink/MagTransport.h"

namespace zavo {

namespace {

// A client that stops half-way through a frame is dropped after this long.
constexpr int kStalledMs = 5000;

class LocalTransport : public MagTransport {
  public:
    ~LocalTransport() override { Stop(); }

    Served Serve(const std::string& name, Receiver receiver, std::string& detail) override {
        Stop();
        receiver_ = std::move(receiver);
        const QString qname = QString::fromStdString(name);
        auto server = std::make_unique<QLocalServer>();
        // Only programs of the same user may connect.
        server->setSocketOptions(QLocalServer::UserAccessOption);
        // Asked first: with the access option Qt binds elsewhere and renames
        // the socket into place, which would silently replace a live one.
        if (Answers(qname)) return Served::Taken;
        // Left behind by a program that did not end cleanly.
        QLocalServer::removeServer(qname);
        if (!server->listen(qname)) {
            detail = server->errorString().toStdString();
            return Served::Failed;
        }
        QObject::connect(server.get(), &QLocalServer::newConnection, server.get(),
                         [this, s = server.get()] {
                             while (QLocalSocket* c = s->nextPendingConnection()) Accept(c);
                         });
        server_ = server.release();
        return Served::Serving;
    }

    void Stop() override {
        if (!server_) return;
        server_->close();
        // Later: Stop may be called from a handler of one of its connections.
        server_->deleteLater();
        server_ = nullptr;
    }

    Sent Send(const std::string& name, const CopyData& data, std::uint64_t sender,
              int timeoutMs) override {
        QDeadlineTimer deadline(timeoutMs);
        QLocalSocket s;
        s.connectToServer(QString::fromStdString(name));
        if (!s.waitForConnected(int(deadline.remainingTime()))) {
            const auto e = s.error();
            return e == QLocalSocket::ServerNotFoundError ||
                           e == QLocalSocket::ConnectionRefusedError
                       ? Sent::NoReceiver
                       : Sent::Failed;
        }
        const std::vector<std::uint8_t> frame = Frame_Encode(data, sender);
        s.write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size()));
        while (s.bytesToWrite() > 0)
            if (!s.waitForBytesWritten(int(deadline.remainingTime()))) return Sent::Failed;
        QByteArray reply;
        while (reply.size() < qsizetype(kReplySize)) {
            if (!s.waitForReadyRead(int(deadline.remainingTime()))) return Sent::Failed;
            reply += s.readAll();
        }
        Delivery d;
        if (!Reply_Decode(reinterpret_cast<const std::uint8_t*>(reply.constData()),
                          std::size_t(reply.size()), d))
            return Sent::Failed;
        return d == Delivery::Handled ? Sent::Delivered : Sent::Rejected;
    }

  private:
    static bool Answers(const QString& name) {
        QLocalSocket probe;
        probe.connectToServer(name);
        return probe.waitForConnected(500);
    }

    void Accept(QLocalSocket* c) {
        auto buffer = std::make_shared<QByteArray>();
        auto* stalled = new QTimer(c);
        stalled->setSingleShot(true);
        QObject::connect(stalled, &QTimer::timeout, c, [c] { c->abort(); });
        QObject::connect(c, &QLocalSocket::disconnected, c, &QObject::deleteLater);
        QObject::connect(c, &QLocalSocket::readyRead, c,
                         [this, c, buffer, stalled] { Read(c, *buffer, stalled); });
        stalled->start(kStalledMs);
    }

    void Read(QLocalSocket* c, QByteArray& buffer, QTimer* stalled) {
        buffer += c->readAll();
        while (!buffer.isEmpty()) {
            const FrameRead f = Frame_Decode(reinterpret_cast<const std::uint8_t*>(buffer.data()),
                                             std::size_t(buffer.size()));
            if (f.status == FrameRead::Status::Incomplete) break;
            if (f.status == FrameRead::Status::Malformed) {
                Reply(c, Delivery::Rejected);
                buffer.clear();
                c->disconnectFromServer();
                return;
            }
            buffer.remove(0, qsizetype(f.used));
            // The sender is released before the payload is handled: what the
            // payload starts (an exchange with the instrument) may take long.
            Reply(c, Delivery::Handled);
            stalled->start(kStalledMs);
            // Handled from the event loop, not inside the socket's own signal:
            // the handler's waits may see this connection end and go.
            QTimer::singleShot(0, server_, [this, s = server_, data = f.data] {
                if (s == server_ && receiver_) receiver_(data);
            });
        }
    }

    static void Reply(QLocalSocket* c, Delivery d) {
        const auto r = Reply_Encode(d);
        c->write(reinterpret_cast<const char*>(r.data()), qint64(r.size()));
        c->flush();
    }

    QLocalServer* server_ = nullptr;
    Receiver receiver_;
};

}  // namespace

std::unique_ptr<MagTransport> MagTransport_System() {
    return std::make_unique<LocalTransport>();
}

}  // namespace zavo

#endif
