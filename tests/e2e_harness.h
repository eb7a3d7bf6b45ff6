#pragma once
// End-to-end tests start the built virtual controller and talk to it over its
// pseudo-terminal with plain POSIX I/O; every read has a time-out.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

namespace e2e {

inline double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Reads `fd` until `stop` arrives (kept), `timeout` s pass or the other end hangs up.
inline std::string ReadFd(int fd, double timeout, int stop, bool& hungUp) {
    std::string got;
    for (const double end = Now() + timeout; fd >= 0 && Now() < end;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, int((end - Now()) * 1000) + 1) <= 0) continue;
        char c;
        const ssize_t n = read(fd, &c, 1);
        if (n == 1 && (got += c, (unsigned char)c == stop)) break;
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return hungUp = true, got;
    }
    return got;
}

// The tool as a child process; its first output line is the serial end's path.
struct Tool {
    explicit Tool(std::vector<std::string> args) {
        std::string exe = std::string(ZAVO_BINARY_DIR) + "/tools/virtual-controller";
        std::vector<char*> argv{exe.data()};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return;
        if ((pid = fork()) == 0) {
            dup2(out[1], STDOUT_FILENO), close(out[0]), execv(exe.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        bool gone = false;
        slave = ReadFd(pid > 0 ? out[0] : -1, 5, '\n', gone);
        slave = slave.substr(0, slave.find('\n'));
        close(out[0]);
    }
    ~Tool() { Wait(5, SIGKILL); }
    // Sends `sig` (if any) and waits: the exit status, or -1 when it did not exit normally in time.
    int Wait(double timeout, int sig = 0) {
        int status = 0;
        if (pid > 0 && sig) kill(pid, sig);
        for (const double end = Now() + timeout; pid > 0 && Now() < end; poll(nullptr, 0, 10))
            if (waitpid(pid, &status, WNOHANG) == pid)
                return pid = -1, WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return -1;
    }
    pid_t pid = -1;
    std::string slave;
};

// The program's end of the line, raw.
struct Line {
    explicit Line(const std::string& dev) : fd(open(dev.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    ~Line() { close(fd); }
    void Send(const std::string& s) { [[maybe_unused]] auto n = write(fd, s.data(), s.size()); }
    // The next `n` pieces ending in `stop`, or what came until `timeout` s passed or a hang-up.
    std::string Read(int n = 1, double timeout = 2, int stop = '\n') {
        std::string got;
        for (const double end = Now() + timeout; n-- > 0;)
            got += ReadFd(fd, end - Now(), stop, hungUp);
        return got;
    }
    std::string ReadFor(double seconds) { return Read(1, seconds, -1); }
    std::string Ask(const std::string& cmd, double timeout = 2) {
        return Send(cmd), Read(1, timeout);
    }
    int fd;
    bool hungUp = false;
};

// A field course as a readable list of its in-band codes with their values ("24 175:30 25 174:0 ").
inline std::string CourseCodes(const std::string& reply) {
    std::string out, digits;
    for (unsigned char c : reply) {
        if (c >= '0' && c <= '9') digits += char(c);
        if (c == 24 || c == 25 || c == 170 || c == 174 || c == 175 || c == 246)
            out += std::to_string(c) + (digits.empty() ? "" : ":" + digits) + " ";
        if (c < '0' || c > '9') digits.clear();
    }
    return out;
}

// The escaped texts of one kind of transcript entry ("CMD", "RX ", "TX "), each followed by `sep`.
inline std::string Transcript(const std::filesystem::path& p, std::string kind, const char* sep) {
    std::string out;
    std::ifstream in(p, std::ios::binary);
    kind = " " + kind + " \"";
    for (std::string line; std::getline(in, line);)
        if (const size_t at = line.find(kind); at != std::string::npos)
            out += line.substr(at + kind.size(), line.size() - at - kind.size() - 1) + sep;
    return out;
}

}  // namespace e2e
