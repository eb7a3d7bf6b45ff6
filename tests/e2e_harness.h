#pragma once
// End-to-end tests start the built virtual controller and talk to it over
// its pseudo-terminal with plain POSIX I/O.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

inline double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

inline std::filesystem::path ToolPath() {
    return std::filesystem::path(ZAVO_BINARY_DIR) / "tools" / "virtual-controller";
}

// A fresh folder for one test, removed with it.
class TempDir {
  public:
    TempDir() {
        static int n = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("zavo-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++n));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The tool as a child process. The first line it prints is the path of the
// pseudo-terminal's serial end.
class Tool {
  public:
    explicit Tool(std::vector<std::string> args) {
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        const std::string exe = ToolPath().string();
        std::vector<char*> argv{const_cast<char*>(exe.c_str())};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, exe.c_str(), &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        // Read the path line, giving up after a few seconds.
        const double end = Now() + 5;
        char c;
        while (pid_ > 0 && Now() < end) {
            pollfd p{out[0], POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            if (read(out[0], &c, 1) != 1 || c == '\n') break;
            slave_ += c;
        }
        close(out[0]);
    }
    ~Tool() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    const std::string& slave() const { return slave_; }
    pid_t pid() const { return pid_; }

    // Sends `sig` and waits (up to `timeout` s) for the exit; returns the
    // exit status, or -1 when it did not exit normally in time.
    int Stop(int sig = SIGTERM, double timeout = 5) {
        if (pid_ <= 0) return -1;
        if (sig) kill(pid_, sig);
        return Wait(timeout);
    }
    int Wait(double timeout) {
        const double end = Now() + timeout;
        int status = 0;
        while (Now() < end) {
            const pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            poll(nullptr, 0, 10);
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    std::string slave_;
};

// The program's end of the line: raw, 9600 8N1, read with time-outs.
class Line {
  public:
    explicit Line(const std::string& device) {
        fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Line() {
        if (fd_ >= 0) close(fd_);
    }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool ok() const { return fd_ >= 0; }
    bool hungUp() const { return hungUp_; }

    void Send(const std::string& bytes) {
        if (fd_ >= 0) [[maybe_unused]]
            auto n = write(fd_, bytes.data(), bytes.size());
    }
    // Everything up to and including the first line feed; what came so far
    // when `timeout` seconds pass first (or the line hangs up).
    std::string ReadLine(double timeout = 2) { return Read(timeout, true); }
    // The next `n` lines (fewer when `timeout` passes first).
    std::string ReadLines(int n, double timeout = 3) {
        std::string got;
        const double end = Now() + timeout;
        for (int i = 0; i < n && Now() < end; ++i) got += ReadLine(end - Now());
        return got;
    }
    // Everything that arrives within `seconds`.
    std::string ReadFor(double seconds) { return Read(seconds, false); }
    std::string Ask(const std::string& cmd, double timeout = 2) {
        Send(cmd);
        return ReadLine(timeout);
    }

  private:
    std::string Read(double timeout, bool untilLf) {
        std::string got;
        const double end = Now() + timeout;
        while (fd_ >= 0 && !hungUp_) {
            const double left = end - Now();
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, int(left * 1000) + 1) <= 0) continue;
            char c;
            const ssize_t n = read(fd_, &c, 1);
            if (n == 1) {
                got += c;
                if (untilLf && c == '\n') break;
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                hungUp_ = true;
            }
        }
        return got;
    }

    int fd_ = -1;
    bool hungUp_ = false;
};

// A field course as a readable list: each in-band code with its value
// ("24 175:30 170:3 25 174:0 ").
inline std::string CourseCodes(const std::string& reply) {
    std::string out, digits;
    for (unsigned char c : reply) {
        if (c >= '0' && c <= '9') {
            digits += char(c);
        } else if (c == 24 || c == 25 || c == 170 || c == 174 || c == 175 || c == 246) {
            out += std::to_string(int(c)) + (digits.empty() ? "" : ":" + digits) + " ";
            digits.clear();
        } else {
            digits.clear();
        }
    }
    return out;
}

inline std::string ReadText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The entries of one kind ("CMD", "RX ", "TX ") a transcript recorded, in
// order (their escaped text).
inline std::vector<std::string> TranscriptEntries(const std::filesystem::path& p,
                                                  const std::string& kind = "CMD") {
    std::vector<std::string> out;
    std::istringstream in(ReadText(p));
    const std::string mark = " " + kind + " \"";
    for (std::string line; std::getline(in, line);) {
        const size_t at = line.find(mark);
        if (at != std::string::npos)
            out.push_back(line.substr(at + mark.size(), line.size() - at - mark.size() - 1));
    }
    return out;
}
inline std::vector<std::string> TranscriptCommands(const std::filesystem::path& p) {
    return TranscriptEntries(p, "CMD");
}
// Everything received or sent, joined: how it was cut into pieces depends on timing.
inline std::string TranscriptStream(const std::filesystem::path& p, const std::string& kind) {
    std::string all;
    for (const std::string& e : TranscriptEntries(p, kind)) all += e;
    return all;
}

}  // namespace e2e
