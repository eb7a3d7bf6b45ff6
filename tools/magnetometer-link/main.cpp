// magnetometer-link: plays the magnetometer program beside a running ZAVO.
// It sends step messages to "ZAVO Receive Data" and serves "Tervok Receive
// Data", printing the time stamps that ZAVO sends after each treatment.

#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#include <QSocketNotifier>
#include <csignal>
#endif

#include "maglink/MagTransport.h"

namespace {

using zavo::MagTransport;

// Exit codes.
constexpr int kDelivered = 0;
constexpr int kNobody = 1;
constexpr int kFailed = 2;
constexpr int kUsage = 64;

// A step has to pass the receiver's checks; seconds are plenty.
constexpr int kSendTimeoutMs = 5000;

int Usage() {
    std::fputs(
        "usage: magnetometer-link send TEXT\n"
        "       magnetometer-link send --type N FILE\n"
        "       magnetometer-link listen [--count N]\n"
        "send: delivers a step message (type 3: TEXT and a zero byte) or the bytes of FILE as\n"
        "      a type-N payload to \"ZAVO Receive Data\". Exit 0 delivered, 1 no program\n"
        "      listens, 2 refused or no answer.\n"
        "listen: serves \"Tervok Receive Data\" and prints each message as <text>TAB<bytes>\n"
        "      (a non-text payload as (type N)TAB<bytes>); ends after N messages when given.\n"
#ifndef _WIN32
        "The sockets live in the user's own folder: $XDG_RUNTIME_DIR/zavo, else\n"
        "$TMPDIR/zavo-<uid> (/tmp when TMPDIR is not set); ZAVO and this tool must agree.\n"
#endif
        ,
        stderr);
    return kUsage;
}

#ifndef _WIN32
int quitPipe[2] = {-1, -1};

void Quit_Signal(int) {
    const char c = 0;
    (void)!::write(quitPipe[1], &c, 1);
}

// Ctrl-C and termination end the event loop, so that the socket goes.
void Quit_OnSignals(QCoreApplication& app) {
    if (::pipe(quitPipe) != 0) return;
    auto* n = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(n, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction sa {};
    sa.sa_handler = Quit_Signal;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
}
#endif

bool Number(const QString& s, long& out) {
    bool ok = false;
    out = s.toLong(&ok);
    return ok && out >= 0;
}

int Send(const QStringList& args) {
    zavo::CopyData data;
    if (args.size() == 1) {
        data = zavo::Text_Payload(args[0].toLocal8Bit().toStdString());
        if (data.bytes.empty()) data.bytes.push_back(0);
    } else if (args.size() == 3 && args[0] == "--type") {
        long type = 0;
        if (!Number(args[1], type) || type > 0xFFFFFFFFL) return Usage();
        QFile f(args[2]);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "magnetometer-link: cannot read %s: %s\n", qPrintable(args[2]),
                         qPrintable(f.errorString()));
            return kFailed;
        }
        const QByteArray bytes = f.readAll();
        data.type = std::uint32_t(type);
        data.bytes.assign(bytes.begin(), bytes.end());
    } else {
        return Usage();
    }
    auto link = zavo::MagTransport_System();
    const auto sent = link->Send(zavo::kReceiveName, data,
                                 std::uint64_t(QCoreApplication::applicationPid()), kSendTimeoutMs);
    switch (sent) {
        case MagTransport::Sent::Delivered:
            return kDelivered;
        case MagTransport::Sent::NoReceiver:
            if (link->Why().empty())
                std::fprintf(stderr, "magnetometer-link: no program listens on \"%s\"\n",
                             zavo::kReceiveName);
            else
                std::fprintf(stderr, "magnetometer-link: %s\n", link->Why().c_str());
            return kNobody;
        case MagTransport::Sent::Rejected:
        case MagTransport::Sent::Failed:
            break;
    }
    std::string why = link->Why();
    if (why.empty())
        why = sent == MagTransport::Sent::Rejected ? "the receiver refused the message"
                                                   : "no answer from the receiver";
    std::fprintf(stderr, "magnetometer-link: %s\n", why.c_str());
    return kFailed;
}

int Listen(QCoreApplication& app, const QStringList& args) {
    long count = -1;
    if (args.size() == 2 && args[0] == "--count") {
        if (!Number(args[1], count) || count == 0) return Usage();
    } else if (!args.isEmpty()) {
        return Usage();
    }
    long seen = 0;
    std::string detail;
    auto link = zavo::MagTransport_System();
    const auto served = link->Serve(
        zavo::kSendName,
        [&](const zavo::CopyData& d) {
            const zavo::Payload p = zavo::CopyData_Read(d);
            if (p.kind == zavo::Payload::Kind::Text)
                std::printf("%s\t%zu\n", p.text.c_str(), d.bytes.size());
            else
                std::printf("(type %u)\t%zu\n", unsigned(d.type), d.bytes.size());
            std::fflush(stdout);
            if (++seen == count) QCoreApplication::quit();
        },
        detail);
    if (served == MagTransport::Served::Taken) {
        std::fprintf(stderr, "magnetometer-link: another program serves \"%s\" already\n",
                     zavo::kSendName);
        return kFailed;
    }
    if (served == MagTransport::Served::Failed) {
        std::fprintf(stderr, "magnetometer-link: cannot serve \"%s\": %s\n", zavo::kSendName,
                     detail.c_str());
        return kFailed;
    }
    std::fprintf(stderr, "magnetometer-link: listening on \"%s\"\n", zavo::kSendName);
#ifndef _WIN32
    Quit_OnSignals(app);
#endif
    const int rc = app.exec();
    link->Stop();
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return Usage();
    const QString command = args.takeFirst();
    if (command == "send") return Send(args);
    if (command == "listen") return Listen(app, args);
    return Usage();
}
