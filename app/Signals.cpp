#include "app/Signals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iterator>
#endif

namespace zavo {

#ifdef Q_OS_UNIX
namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
// The handler may only write a byte: both ends of a socket pair.
int pipeEnds[2] = {-1, -1};
struct sigaction previous[3];

extern "C" void Signal_Note(int sig) {
    const int saved = errno;
    const char c = char(sig);
    [[maybe_unused]] const ssize_t n = ::write(pipeEnds[0], &c, 1);
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pipeEnds) != 0) return;
    for (int fd : pipeEnds) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    notifier_ = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char c = 0;
        while (::read(pipeEnds[1], &c, 1) == 1)
            if (onSignal_) onSignal_(int(c));
    });
    struct sigaction sa {};
    sa.sa_handler = Signal_Note;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &sa, &previous[i]);
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) return;
    for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &previous[i], nullptr);
    delete notifier_;
    for (int& fd : pipeEnds) {
        ::close(fd);
        fd = -1;
    }
}
#else
TerminationSignals::TerminationSignals(std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)) {}
TerminationSignals::~TerminationSignals() = default;
#endif

}  // namespace zavo
