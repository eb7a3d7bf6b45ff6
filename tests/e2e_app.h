#pragma once
// The real program as an operator starts it: a program folder of its own (the
// built executable with its sounds and pictures, an empty mon/), the virtual
// controller linked as ports/COM<n>, an X server of its own (Xvfb), the
// program started from another working directory. Keys go in with xdotool;
// what happened is read from the controller's transcript, the daily log, the
// settings file and the screen.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDate>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "e2e_harness.h"
#include "support/XDisplay.h"

namespace e2e {

namespace fs = std::filesystem;

inline std::string FileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Starts a program with arguments, environment additions and a working
// directory; stdout and stderr go to `output` (appended).
inline pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   const fs::path& cwd, const fs::path& output) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    setpgid(0, 0);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    for (const std::string& e : env) putenv(strdup(e.c_str()));
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) dup2(out, STDOUT_FILENO), dup2(out, STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(strdup(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

// Waits for a child; its exit status, or -1 when it did not exit normally in time.
inline int Reap(pid_t& pid, double timeout) {
    int status = 0;
    for (const double end = Now() + timeout; pid > 0 && Now() < end; poll(nullptr, 0, 10))
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
    return -1;
}

// Polls cond every 50 ms until it holds or timeout seconds pass.
inline bool WaitUntil(const std::function<bool()>& cond, double timeout) {
    for (const double end = Now() + timeout; Now() < end; poll(nullptr, 0, 50))
        if (cond()) return true;
    return cond();
}

// A settings file: the defaults, a frequency optimization done today (so that the start-up does
// not ask for one), and the fields given ({"ZAVMODE", "2"}).
inline std::string SettingsText(const std::map<std::string, std::string>& fields = {}) {
    static const char* const keys[] = {
        "COMM", "FREQDATE", "ZAVMODE", "DMODE", "DMGFD", "DMGER", "DMGES", "DMGET", "REKMODE",
        "REKFD", "REKFM", "REKFA", "REKER", "REKES", "REKET", "TOVMODE", "TOVFP", "TOVET",
        "TOVDIR", "TOVNUM", "SERVMODE", "ZAVORIENT", "SIMULMODE", "TOUCHMODE", "SOUNDMODE"};
    static const char* const defaults[] = {"1", "", "1", "7", "0", "1", "2", "5", "0", "0", "0",
                                           "0", "1", "2", "5", "0", "0", "5", "1", "1", "0",
                                           "0", "0", "0", "0"};
    const std::string today = QDate::currentDate().toString("dd-MM-yyyy").toStdString();
    std::string out;
    for (size_t i = 0; i < 25; ++i) {
        const auto it = fields.find(keys[i]);
        std::string v = it != fields.end() ? it->second : i == 1 ? today : defaults[i];
        v.resize(11, ' ');
        std::string key = keys[i];
        key.resize(9, ' ');
        out += v + key + "|\r\n";
    }
    return out;
}

struct AppOptions {
    // Extra options of the virtual controller (none: it is not started).
    std::vector<std::string> controller{"--speed", "20"};
    bool withController = true;
    // The COM number the controller's line is linked as.
    int comPort = 1;
    // The settings file to start with ("": none, the program writes its defaults).
    std::string settings;
    // The X server's screen, width x height.
    std::string screen = "1600x1000";
};

// A rectangle on the screen.
struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    bool Empty() const { return width <= 0 || height <= 0; }
    int Right() const { return x + width; }    // one past the last column
    int Bottom() const { return y + height; }  // one past the last row
    bool Inside(const Box& outer) const {
        return x >= outer.x && y >= outer.y && Right() <= outer.Right() &&
               Bottom() <= outer.Bottom();
    }
};

// Where the pixels of exactly this colour are (empty: none).
inline Box ColourBox(const QImage& img, QRgb colour) {
    int left = img.width(), top = img.height(), right = -1, bottom = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) | 0xFF000000u) == (colour | 0xFF000000u))
                left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
                bottom = std::max(bottom, y);
    return right < 0 ? Box{} : Box{left, top, right - left + 1, bottom - top + 1};
}

class App {
  public:
    explicit App(AppOptions o = {}) : opt_(std::move(o)) {
        fs::create_directories(Dir() / "mon");
        fs::create_directories(work_);
        const fs::path built = ZAVO_PROGRAM_DIR;
        fs::copy_file(built / "zavo", Dir() / "zavo");
        for (const char* media : {"sounds", "pics"})
            if (fs::exists(built / media)) fs::copy(built / media, Dir() / media,
                                                     fs::copy_options::recursive);
        if (!opt_.settings.empty()) std::ofstream(Dir() / "ZAVO.sav", std::ios::binary)
                                        << opt_.settings;
        StartX();
        if (opt_.withController) StartController();
    }
    App(const App&) = delete;
    App& operator=(const App&) = delete;
    ~App() {
        Kill(program_);
        if (controller_) controller_->Wait(5, SIGTERM);
        x_.reset();
        Kill(xserver_);
    }

    fs::path Dir() const { return fs::path(tmp_.path().toStdString()) / "zavo"; }
    fs::path Transcript() const { return fs::path(tmp_.path().toStdString()) / "vc.log"; }
    fs::path ControlFifo() const { return fs::path(tmp_.path().toStdString()) / "vc.ctl"; }
    // Where the program's own standard output and error go.
    fs::path Output() const { return fs::path(tmp_.path().toStdString()) / "zavo.out"; }
    // The temporary folder the program (and the companion tools of a test) use.
    fs::path Temp() const { return fs::path(tmp_.path().toStdString()) / "tmp"; }
    std::string DisplayName() const { return ":" + std::to_string(displayNumber_); }
    // The environment a program on this display and in this temporary folder needs.
    std::vector<std::string> Env() const {
        return {"DISPLAY=" + DisplayName(), "QT_QPA_PLATFORM=xcb", "TMPDIR=" + Temp().string(),
                "XDG_RUNTIME_DIR=" + Temp().string()};
    }

    // Starts the program, from a working directory that is not its folder.
    void Start() {
        fs::create_directories(Temp());
        fs::permissions(Temp(), fs::perms::owner_all);
        program_ = Spawn({(Dir() / "zavo").string()}, Env(), work_, Output());
    }
    bool Running() {
        int status = 0;
        if (program_ > 0 && waitpid(program_, &status, WNOHANG) == program_) {
            exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            program_ = -1;
        }
        return program_ > 0;
    }
    // Waits for the program to end: its exit status, or -1 (still running, or killed).
    int WaitExit(double timeout) {
        WaitUntil([this] { return !Running(); }, timeout);
        return Running() ? -1 : exitStatus_;
    }

    // A signal to the running program (SIGTERM as at logout).
    void Signal(int sig) {
        if (program_ > 0) kill(program_, sig);
    }
    // The controller goes away as an unplugged adapter does: its line hangs up.
    void Unplug() {
        if (controller_) controller_->Wait(5, SIGKILL);
    }
    // A line for the controller's control channel ("yul on", "fault no-reply@IP").
    void Control(const std::string& line) {
        std::ofstream(ControlFifo()) << line << "\n";
    }
    // Every command the controller recognised, each followed by a blank.
    std::string Commands() const { return e2e::Transcript(Transcript(), "CMD", " "); }
    // Waits until the commands seen contain `text`.
    bool WaitCommands(const std::string& text, double timeout) {
        return WaitUntil([&] { return Commands().find(text) != std::string::npos; }, timeout);
    }
    // Today's communication log (the first .mon file), and the settings file.
    std::string Log() const {
        for (const auto& f : fs::directory_iterator(Dir() / "mon"))
            if (f.path().extension() == ".mon") return FileBytes(f.path());
        return {};
    }
    std::string SettingsFile() const { return FileBytes(Dir() / "ZAVO.sav"); }

    // The top-level window whose title begins with `prefix` (0: none shown).
    unsigned long FindWindow(const std::string& prefix) { return x_ ? x_->FindWindow(prefix) : 0; }
    // Waits until the window is shown and the screen no longer black (painted).
    bool WaitWindow(const std::string& prefix, double timeout) {
        return WaitUntil([&] { return FindWindow(prefix) != 0; }, timeout) &&
               WaitUntil(
                   [&] {
                       const QImage img = Screen();
                       return img.width() * img.height() - Pixels(qRgb(0, 0, 0)) > 20000;
                   },
                   timeout);
    }
    // Keys (xdotool names, e.g. "F2", "Return", "alt+r"; several apart by blanks) to the
    // window whose title begins with `prefix`, focused first. False when no such window is shown.
    bool Key(const std::string& keys, const std::string& prefix = "ZAVO - ver.") {
        const unsigned long w = FindWindow(prefix);
        if (!w) return false;
        const std::string id = std::to_string(w);
        Xdotool({"windowfocus", "--sync", id});
        poll(nullptr, 0, 100);
        std::vector<std::string> args{"key", "--delay", "40"};
        for (size_t at = 0, end; at < keys.size(); at = end + 1) {
            end = std::min(keys.find(' ', at), keys.size());
            if (end > at) args.push_back(keys.substr(at, end - at));
        }
        Xdotool(args);
        return true;
    }
    // The window's place and size on the screen (empty: no such window shown).
    Box WindowBox(const std::string& prefix = "ZAVO - ver.") {
        const unsigned long w = FindWindow(prefix);
        if (!w) return {};
        const fs::path out = fs::path(tmp_.path().toStdString()) / "geometry";
        fs::remove(out);
        pid_t pid = Spawn({"/usr/bin/xdotool", "getwindowgeometry", "--shell", std::to_string(w)},
                          {"DISPLAY=" + DisplayName()}, {}, out);
        Reap(pid, 10);
        std::map<std::string, int> v;
        std::ifstream in(out);
        for (std::string line; std::getline(in, line);)
            if (const size_t eq = line.find('='); eq != std::string::npos)
                v[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
        return {v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]};
    }
    // The screen's size.
    Box ScreenBox() {
        const QImage img = Screen();
        return {0, 0, img.width(), img.height()};
    }
    // A click of the left mouse button at a point of the screen.
    void Click(int x, int y) {
        // (Without --sync: xdotool waits forever when the pointer is already there.)
        Xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
        poll(nullptr, 0, 150);
    }
    // Asks the window to close as a window manager's close button does.
    bool Close(const std::string& prefix = "ZAVO - ver.") {
        const unsigned long w = FindWindow(prefix);
        if (w) x_->CloseRequest(w);
        return w != 0;
    }
    // The whole screen as an image.
    QImage Screen() { return x_ ? x_->Screen() : QImage(); }
    // How many pixels of the screen have exactly this colour.
    int Pixels(QRgb colour) {
        const QImage img = Screen();
        int n = 0;
        for (int y = 0; y < img.height(); ++y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            for (int x = 0; x < img.width(); ++x) n += (row[x] | 0xFF000000u) == (colour | 0xFF000000u);
        }
        return n;
    }
    // The status lamp is green: the program says "INSTRUMENT IS READY".
    bool WaitReady(double timeout) {
        return WaitUntil([this] { return Pixels(qRgb(0, 255, 0)) > 200; }, timeout);
    }
    // Saves the screen as build/screenshots/<name>.png.
    void Screenshot(const std::string& name) {
        const fs::path dir = fs::path(ZAVO_BINARY_DIR) / "screenshots";
        fs::create_directories(dir);
        Screen().save(QString::fromStdString((dir / (name + ".png")).string()));
    }

  private:
    void StartX() {
        int fds[2];
        if (pipe(fds) != 0) return;
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            setpgid(0, 0);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO), dup2(null, STDERR_FILENO);
            const std::string fd = std::to_string(fds[1]);
            const std::string screen = opt_.screen + "x24";
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
                   "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        xserver_ = pid;
        bool gone = false;
        const std::string number = ReadFd(fds[0], 10, '\n', gone);
        close(fds[0]);
        displayNumber_ = std::atoi(number.c_str());
        x_ = std::make_unique<zavo::test::XDisplay>(DisplayName());
    }
    void StartController() {
        std::vector<std::string> args = opt_.controller;
        const std::string port = "COM" + std::to_string(opt_.comPort);
        args.insert(args.end(), {"--link", (Dir() / "ports" / port).string(), "--transcript",
                                 Transcript().string(), "--control", ControlFifo().string()});
        controller_ = std::make_unique<Tool>(args);
    }
    void Xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "/usr/bin/xdotool");
        pid_t pid = Spawn(args, {"DISPLAY=" + DisplayName()}, {}, "/dev/null");
        Reap(pid, 10);
    }
    static void Kill(pid_t& pid) {
        if (pid <= 0) return;
        kill(-pid, SIGTERM);
        if (Reap(pid, 5) == -1 && pid > 0) {
            kill(-pid, SIGKILL);
            Reap(pid, 5);
        }
    }

    AppOptions opt_;
    QTemporaryDir tmp_;
    fs::path work_ = fs::path(tmp_.path().toStdString()) / "elsewhere";
    pid_t xserver_ = -1;
    pid_t program_ = -1;
    int exitStatus_ = -1;
    int displayNumber_ = 0;
    std::unique_ptr<zavo::test::XDisplay> x_;
    std::unique_ptr<Tool> controller_;
};

}  // namespace e2e
