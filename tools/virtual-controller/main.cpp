// virtual-controller: plays the coil unit's controller on a pseudo-terminal.
// Prints the path of the terminal's serial end on stdout, then answers what
// arrives there until SIGTERM/SIGINT (or until a "vanish" fault).

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "Controller.h"

namespace fs = std::filesystem;

namespace {

volatile sig_atomic_t g_quit = 0;
int g_wake[2] = {-1, -1};

void OnSignal(int) {
    g_quit = 1;
    const char b = 1;
    [[maybe_unused]] auto r = write(g_wake[1], &b, 1);
}

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void Usage(FILE* to) {
    std::fprintf(to,
                 "usage: virtual-controller [options]\n"
                 "  --link PATH        make PATH a symlink to the serial end (removed on exit)\n"
                 "  --transcript FILE  write every byte received and sent, with times\n"
                 "  --speed X          run courses, tumbler and relays X times faster\n"
                 "  --cold N           the coil needs N s to reach working temperature\n"
                 "  --no-tumbler       no tumbler connected\n"
                 "  --yul on|off|absent  state of the YUL1 unit (default on)\n"
                 "  --no-pacing        send replies at once instead of at 9600 baud\n"
                 "  --control FIFO     take lines while running: yul on|off|absent,\n"
                 "                     tumbler on|off, fault NAME[@CMD][*N]\n"
                 "  --fault NAME[@CMD][*N]  misbehave on the next N commands beginning with CMD\n"
                 "                     (N 0: always; CMD default G; ESC and ^P name those keys)\n"
                 "                     NAME: ");
    for (const auto& [name, cmd] : vc::FaultNames()) std::fprintf(to, "%s ", name.c_str());
    std::fprintf(to, "\n");
}

class Transcript {
  public:
    explicit Transcript(const std::string& path, double start) : start_(start) {
        if (!path.empty()) out_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    }
    ~Transcript() { FlushSent(); }
    bool Failed(const std::string& path) const { return !path.empty() && !out_.is_open(); }
    void Write(double now, const char* what, const std::string& bytes) {
        FlushSent();
        Line(now, what, bytes);
    }
    // Bytes leave the line one at a time; the transcript keeps them together
    // as long as they follow each other closely and no line has ended.
    static constexpr double kTogether = 0.1;
    void Sent(double now, const std::string& bytes) {
        if (!sent_.empty() && now - lastSent_ > kTogether) FlushSent();
        if (sent_.empty()) sentAt_ = now;
        sent_ += bytes;
        lastSent_ = now;
        if (sent_.back() == '\n') FlushSent();
    }
    void FlushSent() {
        if (sent_.empty()) return;
        Line(sentAt_, "TX ", sent_);
        sent_.clear();
    }

  private:
    void Line(double now, const char* what, const std::string& bytes) {
        if (!out_.is_open() || bytes.empty()) return;
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%10.3f ", now - start_);
        out_ << stamp << what << " \"" << vc::Escape(bytes) << "\"\n";
        out_.flush();
    }

    std::ofstream out_;
    double start_;
    std::string sent_;
    double sentAt_ = 0, lastSent_ = 0;
};

// The symlink that makes the terminal appear as the program's port.
class Link {
  public:
    bool Make(const std::string& path, const std::string& target, std::string& error) {
        std::error_code ec;
        const fs::path p(path);
        if (fs::is_symlink(fs::symlink_status(p, ec))) {
            fs::remove(p, ec);  // stale link of an earlier run
        } else if (fs::exists(p, ec)) {
            error = path + " exists and is not a link; not replacing it";
            return false;
        }
        if (p.has_parent_path()) fs::create_directories(p.parent_path(), ec);
        fs::create_symlink(target, p, ec);
        if (ec) {
            error = "cannot create link " + path + ": " + ec.message();
            return false;
        }
        path_ = path;
        target_ = target;
        return true;
    }
    ~Link() {
        std::error_code ec;
        if (!path_.empty() && fs::read_symlink(path_, ec) == target_) fs::remove(path_, ec);
    }

  private:
    std::string path_, target_;
};

bool ParseYul(const std::string& v, vc::Yul& out) {
    if (v == "on")
        out = vc::Yul::On;
    else if (v == "off")
        out = vc::Yul::Off;
    else if (v == "absent")
        out = vc::Yul::Absent;
    else
        return false;
    return true;
}

// One line of the control channel; false when it is not understood.
bool Control(vc::Controller& ctl, const std::string& line, std::string& error) {
    const size_t sp = line.find(' ');
    const std::string word = line.substr(0, sp);
    const std::string arg = sp == std::string::npos ? "" : line.substr(sp + 1);
    vc::Yul yul{};
    if (word == "yul" && ParseYul(arg, yul)) {
        ctl.SetYul(yul);
        return true;
    }
    if (word == "tumbler" && (arg == "on" || arg == "off")) {
        ctl.SetTumbler(arg == "on");
        return true;
    }
    if (word == "fault") {
        vc::Fault f;
        if (!vc::ParseFault(arg, f, error)) return false;
        ctl.AddFault(f);
        return true;
    }
    error = "unknown control line";
    return false;
}

bool ParseDouble(const char* text, double& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && std::isfinite(out) && out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    vc::Options opt;
    std::string linkPath, transcriptPath, controlPath;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "virtual-controller: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--link") {
            linkPath = value();
        } else if (a == "--transcript") {
            transcriptPath = value();
        } else if (a == "--speed" || a == "--cold") {
            double v = 0;
            const char* text = value();
            if (!ParseDouble(text, v) || (a == "--speed" && v <= 0)) {
                std::fprintf(stderr, "virtual-controller: bad number for %s: %s\n", a.c_str(),
                             text);
                return 2;
            }
            (a == "--speed" ? opt.speed : opt.coldSeconds) = v;
        } else if (a == "--no-tumbler") {
            opt.tumbler = false;
        } else if (a == "--yul") {
            if (!ParseYul(value(), opt.yul)) {
                std::fprintf(stderr, "virtual-controller: --yul takes on, off or absent\n");
                return 2;
            }
        } else if (a == "--control") {
            controlPath = value();
        } else if (a == "--no-pacing") {
            opt.byteTime = 0;
        } else if (a == "--fault") {
            vc::Fault f;
            std::string error;
            if (!vc::ParseFault(value(), f, error)) {
                std::fprintf(stderr, "virtual-controller: %s\n", error.c_str());
                return 2;
            }
            opt.faults.push_back(f);
        } else if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "virtual-controller: unknown option %s\n", a.c_str());
            Usage(stderr);
            return 2;
        }
    }

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("virtual-controller: pseudo-terminal");
        return 1;
    }
    const char* name = ptsname(master);
    if (!name) {
        std::perror("virtual-controller: ptsname");
        return 1;
    }
    const std::string slavePath = name;
    // Raw both ways: no echo of what the program writes, no CR/LF mapping.
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(master, TCSANOW, &tio);
    // Our own handle on the serial end keeps the line up while the program
    // closes and reopens its port (port search); we never read from it.
    const int keep = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    if (pipe(g_wake) != 0) return 1;
    fcntl(g_wake[0], F_SETFL, O_NONBLOCK);
    fcntl(g_wake[1], F_SETFL, O_NONBLOCK);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const double start = Now();
    Transcript transcript(transcriptPath, start);
    if (transcript.Failed(transcriptPath)) {
        std::fprintf(stderr, "virtual-controller: cannot write %s\n", transcriptPath.c_str());
        return 1;
    }
    Link link;
    std::string error;
    if (!linkPath.empty() && !link.Make(linkPath, slavePath, error)) {
        std::fprintf(stderr, "virtual-controller: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);

    // The control channel: a FIFO held open for writing by ourselves too, so
    // that it never reads end-of-file between two writers.
    int control = -1;
    if (!controlPath.empty()) {
        std::error_code ec;
        fs::remove(controlPath, ec);
        if (mkfifo(controlPath.c_str(), 0600) != 0 ||
            (control = open(controlPath.c_str(), O_RDWR | O_NONBLOCK)) < 0) {
            std::fprintf(stderr, "virtual-controller: cannot make FIFO %s: %s\n",
                         controlPath.c_str(), std::strerror(errno));
            return 1;
        }
    }
    std::string controlLine;

    vc::Controller ctl(opt, start);
    std::string pending;  // taken from the controller, not yet accepted by the terminal
    while (!g_quit) {
        const double now = Now();
        pending += ctl.TakeOutput(now);
        for (const std::string& cmd : ctl.TakeCommands()) transcript.Write(now, "CMD", cmd);
        if (!pending.empty()) {
            const ssize_t n = write(master, pending.data(), pending.size());
            if (n > 0) {
                transcript.Sent(now, pending.substr(0, size_t(n)));
                pending.erase(0, size_t(n));
            }
        }
        if (ctl.Vanished() && pending.empty()) {
            transcript.Write(Now(), "END", "device vanished");
            break;
        }
        const double due = ctl.NextDue();
        int timeout = -1;
        if (due != vc::Controller::kNever)
            timeout = int(std::ceil(std::max(0.0, due - now) * 1000));
        if (timeout < 0 || timeout > 100) transcript.FlushSent();
        pollfd fds[3] = {{master, short(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0},
                         {g_wake[0], POLLIN, 0},
                         {control, POLLIN, 0}};
        if (poll(fds, control >= 0 ? 3 : 2, timeout) < 0 && errno != EINTR) break;
        if (control >= 0 && (fds[2].revents & POLLIN)) {
            char buf[256];
            const ssize_t n = read(control, buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] != '\n') {
                    controlLine += buf[i];
                    continue;
                }
                std::string why;
                transcript.Write(Now(), "CTL", controlLine);
                if (!Control(ctl, controlLine, why))
                    std::fprintf(stderr, "virtual-controller: control: %s: %s\n",
                                 controlLine.c_str(), why.c_str());
                controlLine.clear();
            }
        }
        if (fds[0].revents & POLLIN) {
            char buf[512];
            const ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) {
                const std::string in(buf, size_t(n));
                const double t = Now();
                transcript.Write(t, "RX ", in);
                ctl.Receive(in, t);
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            poll(nullptr, 0, 10);  // nobody on the serial end: do not spin
        }
    }
    if (keep >= 0) close(keep);
    close(master);
    if (control >= 0) {
        close(control);
        std::error_code ec;
        fs::remove(controlPath, ec);
    }
    return 0;
}
