#pragma once
// The programs an end-to-end test starts (the virtual controller, the program, Xvfb, xdotool, the
// companion tool): each in a process group of its own, ended with the test; every wait timed.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

inline double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

inline void Sleep(double seconds) {
    poll(nullptr, 0, int(seconds * 1000));
}

// Polls cond every 50 ms until it holds or timeout seconds pass.
inline bool WaitUntil(const std::function<bool()>& cond, double timeout) {
    for (const double end = Now() + timeout; Now() < end; Sleep(0.05))
        if (cond()) return true;
    return cond();
}

inline std::string FileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The resident memory of a process, in kB.
inline long RssKb(pid_t pid = getpid()) {
    long pages = 0, resident = 0;
    std::ifstream("/proc/" + std::to_string(pid) + "/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE) / 1024;
}

class Proc {
  public:
    Proc() = default;
    // env: added to this process's environment. out: where stdout and stderr go (appended);
    // empty: stdout into a pipe that Line() reads, stderr nowhere.
    explicit Proc(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                  const fs::path& cwd = {}, const fs::path& out = {}) {
        int fds[2] = {-1, -1};
        if (out.empty() && pipe2(fds, O_CLOEXEC) != 0) return;
        if ((pid_ = fork()) == 0) {
            setpgid(0, 0);
            if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
            for (const std::string& e : env) putenv(strdup(e.c_str()));
            const int o =
                out.empty() ? fds[1] : open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            dup2(o, STDOUT_FILENO),
                dup2(out.empty() ? open("/dev/null", O_WRONLY) : o, STDERR_FILENO);
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(strdup(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        setpgid(pid_, pid_);  // before any signal to the group, whoever runs first
        if (out.empty()) close(fds[1]), pipe_ = fds[0];
    }
    Proc(Proc&& o) noexcept { *this = std::move(o); }
    Proc& operator=(Proc&& o) noexcept {
        Stop();
        std::swap(pid_, o.pid_), std::swap(pipe_, o.pipe_), std::swap(code_, o.code_);
        return *this;
    }
    ~Proc() {
        Stop();
        if (pipe_ >= 0) close(pipe_);
    }

    pid_t Pid() const { return pid_; }
    // Sends sig (0: none) to its group and waits: its exit status, -1 while it runs or when a
    // signal ended it.
    int Wait(double timeout, int sig = 0) {
        if (pid_ > 0 && sig) kill(-pid_, sig);
        for (const double end = Now() + timeout; pid_ > 0; Sleep(0.01)) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_)
                pid_ = -1, code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            else if (Now() >= end)
                return -1;
        }
        return code_;
    }
    void Stop() {
        if (Wait(5, SIGTERM) == -1 && pid_ > 0) Wait(5, SIGKILL);
    }
    // The next line of its output, without the line end ("" after timeout s).
    std::string Line(double timeout = 10) {
        std::string got;
        for (const double end = Now() + timeout; pipe_ >= 0 && Now() < end;) {
            pollfd p{pipe_, POLLIN, 0};
            char c = 0;
            if (poll(&p, 1, 50) > 0 && read(pipe_, &c, 1) != 1) break;
            if (c == '\n') return got;
            if (c) got += c;
        }
        return {};
    }

  private:
    pid_t pid_ = -1;
    int pipe_ = -1;
    int code_ = -1;
};

// The virtual controller; its first output line is the serial end's path.
struct Tool : Proc {
    explicit Tool(std::vector<std::string> args)
        : Proc((args.insert(args.begin(), ZAVO_BINARY_DIR "/tools/virtual-controller"), args)),
          slave(Line(5)) {}
    std::string slave;
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

// The commands a controller's transcript records as recognised, escaped, each followed by a blank.
inline std::string Commands(const fs::path& transcript) {
    std::string out;
    std::ifstream in(transcript, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        if (const size_t at = line.find(" CMD \""); at != std::string::npos)
            out += line.substr(at + 6, line.size() - at - 7) + " ";
    return out;
}

}  // namespace e2e
