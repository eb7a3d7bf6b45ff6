#pragma once
// The real program in a folder of its own, started elsewhere on an X server of its own, keys by
// xdotool, the virtual controller as ports/COM<n>; every process ended with the test.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDate>
#include <QImage>
#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "maglink/MagTransport.h"
#include "operations/Journal.h"
#include "panel/SettingsFile.h"

struct _XDisplay;  // Xlib's Display

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
inline bool Has(const std::string& text, const std::string& s) {
    return text.find(s) != text.npos;
}
inline long RssKb(pid_t pid = getpid()) {
    long pages = 0, resident = 0;
    std::ifstream("/proc/" + std::to_string(pid) + "/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE) / 1024;
}

class Proc {
  public:
    Proc() = default;
    // env: added to the environment; out: stdout and stderr appended (none: stdout to Line()).
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
            dup2(o, 1), dup2(out.empty() ? open("/dev/null", O_WRONLY) : o, 2);
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
    // Sends sig (0: none) to its group and waits: the exit status, -1 while it runs or if killed.
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
    int pipe_ = -1, code_ = -1;
};

// The virtual controller; its first output line is the serial end's path.
struct Tool : Proc {
    explicit Tool(std::vector<std::string> args)
        : Proc((args.insert(args.begin(), ZAVO_BINARY_DIR "/tools/virtual-controller"), args)),
          slave(Line(5)) {}
    std::string slave;
};

// The commands a controller's transcript records as recognised, escaped, each followed by a blank.
inline std::string Commands(const fs::path& transcript) {
    std::string out;
    std::ifstream in(transcript, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        if (const size_t at = line.find(" CMD \""); at != std::string::npos)
            out += line.substr(at + 6, line.size() - at - 7) + " ";
    return out;
}

// The tests' X server (Xlib's macros kept in support/XDisplay.cpp).
struct XDisplay {
    explicit XDisplay(const std::string& name);
    ~XDisplay();
    std::vector<unsigned long> Windows(const std::string& part);  // shown, titles holding part
    void CloseRequest(unsigned long window);  // as a window manager's close button
    QImage Screen();
    _XDisplay* display;
};

// Where the pixels that are `is` lie (empty: none).
inline QRect Box(const QImage& img, const std::function<bool(QRgb)>& is) {
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (is(reinterpret_cast<const QRgb*>(img.constScanLine(y))[x] & 0xFFFFFF))
                box |= QRect(x, y, 1, 1);
    return box;
}

// A settings file with a frequency optimization done today (so that the start-up asks for none).
inline std::string SettingsText(zavo::Settings s = {}) {
    s.FREQDATE = QDate::currentDate();
    return zavo::Settings_Bytes(s);
}

inline std::string Field(const QStringList& row, const char* column) {
    return row.value(int(zavo::Journal::Columns().indexOf(column))).toStdString();
}
inline std::string Today() {
    return QDate::currentDate().toString("dd-MM-yyyy").toStdString();
}

inline const std::string kMainWindow = "ZAVO - ver.";

class App {
  public:
    // settings: the settings file ("": none). controller: its options ({}: not started now).
    explicit App(const std::string& settings = SettingsText(),
                 const std::string& screen = "1600x1000",
                 const std::vector<std::string>& controller = {"--speed", "20"}) {
        for (const fs::path& d : {Dir() / "mon", Path("elsewhere"), Temp()})
            fs::create_directories(d);
        fs::permissions(Temp(), fs::perms::owner_all);
        for (const char* f : {"zavo", "sounds", "pics"})
            fs::copy(fs::path(ZAVO_PROGRAM_DIR) / f, Dir() / f, fs::copy_options::recursive);
        if (!settings.empty()) std::ofstream(Dir() / "ZAVO.sav", std::ios::binary) << settings;
        xvfb_ = Proc({"Xvfb", "-displayfd", "1", "-screen", "0", screen + "x24", "-nolisten", "tcp",
                      "-noreset"});
        display_ = ":" + xvfb_.Line();
        x_ = std::make_unique<XDisplay>(display_);
        Xdotool({"mousemove", "0", "0"});  // the pointer hovers over nothing
        if (!controller.empty()) StartController(controller);
    }

    fs::path Path(const char* name) const { return fs::path(tmp_.path().toStdString()) / name; }
    fs::path Dir() const { return Path("zavo"); }
    fs::path Temp() const { return Path("tmp"); }
    fs::path Output() const { return Path("zavo.out"); }
    std::vector<std::string> Env() const {
        return {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "TMPDIR=" + Temp().string(),
                "XDG_RUNTIME_DIR=" + Temp().string()};
    }
    std::string Why() const { return Commands() + "\n" + FileBytes(Output()); }

    void StartController(std::vector<std::string> args, int com = 1) {
        const std::string link = (Dir() / "ports" / ("COM" + std::to_string(com))).string();
        args.insert(args.end(), {"--link", link, "--transcript", Path("vc.log").string(),
                                 "--control", Path("vc.ctl").string()});
        controller_ = std::make_unique<Tool>(args);
    }
    void Unplug() { controller_->Wait(5, SIGKILL); }  // its line hangs up
    // A line for the controller's control channel ("yul off", "fault tumbler-break").
    void Control(const std::string& line) { std::ofstream(Path("vc.ctl")) << line << "\n"; }
    std::string Commands() const { return e2e::Commands(Path("vc.log")); }

    void Start() {
        program_ = Proc({(Dir() / "zavo").string()}, Env(), Path("elsewhere"), Output());
    }
    bool StartReady() { return Start(), WaitReady(60); }
    int WaitExit(double timeout) { return program_.Wait(timeout); }
    void Signal(int sig) { kill(program_.Pid(), sig); }
    long RssKb() const { return e2e::RssKb(program_.Pid()); }

    std::string Log() const { return FileBytes(Dir() / "mon" / (Today() + ".mon")); }
    std::string SettingsFile() const { return FileBytes(Dir() / "ZAVO.sav"); }
    auto Journal() const { return zavo::Journal::Rows_Read(Dir() / "journal.csv", -1); }

    Proc Companion(std::vector<std::string> args) {
        args.insert(args.begin(), ZAVO_BINARY_DIR "/tools/magnetometer-link");
        return Proc(args, Env(), {}, Path("companion.out"));
    }
    std::unique_ptr<zavo::MagTransport> Link() const {
        return zavo::MagTransport_Local((Temp() / "zavo").string(), geteuid());
    }
    // The magnetometer program listens for time stamps from now on ("<time>\t<bytes>" each).
    void Listen() {
        listener_ = Companion({"listen"});
        WaitUntil([&] { return Has(FileBytes(Path("companion.out")), "listening"); }, 5);
    }
    int Stamps() const { return int(std::ranges::count(FileBytes(Path("companion.out")), '\t')); }

    std::vector<unsigned long> Windows(const std::string& title) { return x_->Windows(title); }
    unsigned long FindWindow(const std::string& t) {
        return Windows(t).empty() ? 0 : Windows(t)[0];
    }
    // Waits until the window is shown and painted (the screen no longer black).
    bool WaitWindow(const std::string& title, double timeout = 15) {
        return WaitUntil([&] { return FindWindow(title) != 0; }, timeout) &&
               WaitUntil([&] { return Box(Screen(), [](QRgb c) { return c; }).height() > 100; },
                         timeout);
    }
    // A key ("F2", "alt+r") to the window whose title holds `title`, focused first (false: none).
    bool Key(const std::string& key, const std::string& title = kMainWindow) {
        const unsigned long w = FindWindow(title);
        if (w) Xdotool({"windowfocus", "--sync", std::to_string(w)}), Xdotool({"key", key});
        return w != 0;
    }
    bool Answer(const std::string& title, const std::string& keys, double timeout = 15) {
        return WaitWindow(title, timeout) && Key(keys, title);
    }
    void Click(QPoint p) {  // (without --sync: xdotool waits forever when the pointer is there)
        Xdotool({"mousemove", std::to_string(p.x()), std::to_string(p.y()), "click", "1"});
    }
    bool Close(const std::string& title = kMainWindow) {
        const unsigned long w = FindWindow(title);
        if (w) x_->CloseRequest(w);
        return w != 0;
    }
    QImage Screen() { return x_->Screen(); }
    // Where the status lamp is green: "INSTRUMENT IS READY".
    QRect Lamp() {
        return Box(Screen(), [](QRgb c) { return c == 0x00FF00; });
    }
    bool WaitReady(double timeout = 30) {
        return WaitUntil([this] { return Lamp().width() > 10; }, timeout);
    }
    // The window, painted to the end, in build/screenshots/ and (for the guide) when it changed,
    // docs/images/.
    void GuideImage(const std::string& name, bool guide = true) {
        QImage screen = Screen(), before;
        for (const double end = Now() + 10; screen != before && Now() < end;)
            Sleep(0.3), before = std::exchange(screen, Screen());
        const QImage window = screen.copy(Box(screen, [](QRgb c) { return c; }));
        fs::create_directories(ZAVO_BINARY_DIR "/screenshots");
        window.save(QString(ZAVO_BINARY_DIR "/screenshots/%1.png").arg(name.c_str()));
        const QString doc = QString(ZAVO_SOURCE_DIR "/docs/images/%1.png").arg(name.c_str());
        if (guide && QImage(doc).convertToFormat(QImage::Format_RGB32) != window) window.save(doc);
    }
    void Xdotool(std::vector<std::string> args) {  // and a moment for the program to take it
        args.insert(args.begin(), "xdotool");
        Proc(args, {"DISPLAY=" + display_}, {}, "/dev/null").Wait(10), Sleep(0.1);
    }

  private:
    QTemporaryDir tmp_;
    Proc xvfb_;
    std::string display_;
    std::unique_ptr<XDisplay> x_;
    std::unique_ptr<Tool> controller_;
    Proc program_, listener_;
};

// n payloads of two random doubles, failing their check: how many the program took.
inline int SendBad(zavo::MagTransport& link, int n, std::mt19937& rng) {
    int delivered = 0;
    for (int i = 0; i < n; ++i) {
        zavo::CopyData d{zavo::kTypeDoubles, std::vector<std::uint8_t>(16)};
        for (auto& b : d.bytes) b = std::uint8_t(rng());
        delivered +=
            link.Send(zavo::kReceiveName, d, 1, 5000) == zavo::MagTransport::Sent::Delivered;
    }
    return delivered;
}

// The commands the controller recognised from now on.
struct Since {
    App& app;
    size_t from = app.Commands().size();
    std::string operator()() const { return app.Commands().substr(from); }
    bool Wait(const std::string& part, double timeout = 30) const {
        return WaitUntil([&] { return Has((*this)(), part); }, timeout);
    }
};

}  // namespace e2e
