#pragma once
// The real program as an operator starts it: a program folder of its own (the built executable
// with its sounds and pictures), the virtual controller linked as ports/COM<n>, an X server of its
// own (Xvfb), the program started from another working directory. Keys go in with xdotool; what
// happened is read from the controller's transcript, the daily log, the settings file, the
// journal and the screen.

#include <QDate>
#include <QTemporaryDir>
#include <map>
#include <memory>

#include "e2e_harness.h"
#include "operations/Journal.h"
#include "support/XDisplay.h"

namespace e2e {

inline const std::string kMainWindow = "ZAVO - ver.";

// A settings file: the defaults, a frequency optimization done today (so that the start-up does
// not ask for one), and the fields given ({"ZAVMODE", "2"}).
inline std::string SettingsText(std::map<std::string, std::string> fields = {}) {
    static const char* const keys[25][2] = {
        {"COMM", "1"},    {"FREQDATE", ""}, {"ZAVMODE", "1"},  {"DMODE", "7"},   {"DMGFD", "0"},
        {"DMGER", "1"},   {"DMGES", "2"},   {"DMGET", "5"},    {"REKMODE", "0"}, {"REKFD", "0"},
        {"REKFM", "0"},   {"REKFA", "0"},   {"REKER", "1"},    {"REKES", "2"},   {"REKET", "5"},
        {"TOVMODE", "0"}, {"TOVFP", "0"},   {"TOVET", "5"},    {"TOVDIR", "1"},  {"TOVNUM", "1"},
        {"SERVMODE", "0"}, {"ZAVORIENT", "0"}, {"SIMULMODE", "0"}, {"TOUCHMODE", "0"},
        {"SOUNDMODE", "0"}};
    fields.try_emplace("FREQDATE", QDate::currentDate().toString("dd-MM-yyyy").toStdString());
    std::string out;
    for (const auto& [key, fallback] : keys) {
        std::string v = fields.try_emplace(key, fallback).first->second, k = key;
        v.resize(11, ' '), k.resize(9, ' ');
        out += v + k + "|\r\n";
    }
    return out;
}

// How many pixels have exactly this colour.
inline int Pixels(const QImage& img, QRgb colour) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) n += (row[x] & 0xFFFFFF) == (colour & 0xFFFFFF);
    }
    return n;
}

// A journal row's field by column name.
inline std::string Field(const QStringList& row, const char* column) {
    return row.value(int(zavo::Journal::Columns().indexOf(column))).toStdString();
}

struct AppOptions {
    std::vector<std::string> controller{"--speed", "20"};  // its options
    bool withController = true;                            // started with the App
    int comPort = 1;                                       // linked as ports/COM<n>
    std::string settings;                                  // the settings file ("": none)
    std::string screen = "1600x1000";
};

class App {
  public:
    explicit App(AppOptions o = {}) : opt_(std::move(o)) {
        fs::create_directories(Dir() / "mon");
        fs::create_directories(work_);
        fs::create_directories(Temp());
        fs::permissions(Temp(), fs::perms::owner_all);
        for (const char* f : {"zavo", "sounds", "pics"})
            fs::copy(fs::path(ZAVO_PROGRAM_DIR) / f, Dir() / f, fs::copy_options::recursive);
        if (!opt_.settings.empty()) std::ofstream(Dir() / "ZAVO.sav", std::ios::binary) << opt_.settings;
        xvfb_ = Proc({"Xvfb", "-displayfd", "1", "-screen", "0", opt_.screen + "x24", "-nolisten",
                      "tcp", "-noreset"});
        display_ = ":" + xvfb_.Line();
        x_ = std::make_unique<zavo::test::XDisplay>(display_);
        Xdotool({"mousemove", "0", "0"});  // the pointer hovers over nothing
        if (opt_.withController) StartController();
    }

    fs::path Dir() const { return Path("zavo"); }  // the program folder
    fs::path Temp() const { return Path("tmp"); }  // the temporary folder of the program and its tools
    fs::path Path(const char* name) const { return fs::path(tmp_.path().toStdString()) / name; }
    fs::path Output() const { return Path("zavo.out"); }  // the program's stdout and stderr
    std::vector<std::string> Env() const {
        return {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "TMPDIR=" + Temp().string(),
                "XDG_RUNTIME_DIR=" + Temp().string()};
    }
    // What a failed check shows: the commands the controller saw and what the program printed.
    std::string Why() const { return Commands() + "\n" + FileBytes(Output()); }

    void StartController() {
        std::vector<std::string> args = opt_.controller;
        args.insert(args.end(), {"--link", (Dir() / "ports" / ("COM" + std::to_string(opt_.comPort))).string(),
                                 "--transcript", Path("vc.log").string(), "--control", Path("vc.ctl").string()});
        controller_ = std::make_unique<Tool>(args);
    }
    // The controller goes away as an unplugged adapter does: its line hangs up.
    void Unplug() { controller_->Wait(5, SIGKILL); }
    // A line for the controller's control channel ("yul off", "fault tumbler-break").
    void Control(const std::string& line) { std::ofstream(Path("vc.ctl")) << line << "\n"; }
    // Every command the controller recognised, each followed by a blank.
    std::string Commands() const { return Transcript(Path("vc.log"), "CMD", " "); }

    // The program, started from a working directory that is not its folder.
    void Start(const fs::path& exe = {}) {
        program_ = Proc({(exe.empty() ? Dir() / "zavo" : exe).string()}, Env(), work_, Output());
    }
    // Started and initialized up to "INSTRUMENT IS READY".
    bool StartReady() { return Start(), WaitReady(60); }
    int WaitExit(double timeout) { return program_.Wait(timeout); }
    void Signal(int sig) { kill(program_.Pid(), sig); }
    // Its resident memory in kB.
    long RssKb() const {
        std::ifstream status("/proc/" + std::to_string(program_.Pid()) + "/status");
        std::string key;
        long kb = 0;
        while (status >> key && key != "VmRSS:") {}
        return status >> kb, kb;
    }

    std::string Log() const {  // the daily log
        for (const auto& f : fs::directory_iterator(Dir() / "mon"))
            if (f.path().extension() == ".mon") return FileBytes(f.path());
        return {};
    }
    std::string SettingsFile() const { return FileBytes(Dir() / "ZAVO.sav"); }
    std::vector<QStringList> Journal() const { return zavo::Journal::Rows_Read(Dir() / "journal.csv", -1); }
    bool WorkDirEmpty() const { return fs::is_empty(work_); }

    // The magnetometer program: the companion tool with the program's environment.
    Proc Companion(const std::vector<std::string>& args) {
        std::vector<std::string> argv{ZAVO_BINARY_DIR "/tools/magnetometer-link"};
        argv.insert(argv.end(), args.begin(), args.end());
        return Proc(argv, Env(), {}, Path("companion.out"));
    }
    int Send(const std::string& step) { return Companion({"send", step}).Wait(15); }
    // It listens for time stamps from now on; Stamps() counts them.
    void Listen() {
        listener_ = Companion({"listen"});
        WaitUntil([&] { return FileBytes(Path("companion.out")).find("listening") != std::string::npos; }, 5);
    }
    int Stamps() const {
        const std::string said = FileBytes(Path("companion.out"));
        return int(std::count(said.begin(), said.end(), '\t'));  // "<time>\t<bytes>" each
    }

    std::vector<unsigned long> Windows(const std::string& title) { return x_->Windows(title); }
    unsigned long FindWindow(const std::string& title) {
        const auto w = Windows(title);
        return w.empty() ? 0 : w.front();
    }
    QRect WindowBox() { return x_->Geometry(FindWindow(kMainWindow)); }
    // Waits until the window is shown and painted (the screen no longer black).
    bool WaitWindow(const std::string& title, double timeout = 15) {
        return WaitUntil([&] { return FindWindow(title) != 0; }, timeout) &&
               WaitUntil([&] {
                   const QImage s = Screen();
                   return s.width() * s.height() - Pixels(s, qRgb(0, 0, 0)) > 20000;
               }, timeout);
    }
    // Keys (xdotool names: "F2", "Return", "alt+r"; several apart by blanks) to the window whose
    // title holds `title`, focused first. False when no such window is shown.
    bool Key(const std::string& keys, const std::string& title = kMainWindow) {
        const unsigned long w = FindWindow(title);
        if (!w) return false;
        Xdotool({"windowfocus", "--sync", std::to_string(w)});
        Sleep(0.1);
        std::vector<std::string> args{"key", "--delay", "40"};
        for (size_t at = 0, end; at < keys.size(); at = end + 1)
            if ((end = std::min(keys.find(' ', at), keys.size())) > at) args.push_back(keys.substr(at, end - at));
        Xdotool(args);
        return true;
    }
    // A question answered: waits for its window, then the keys.
    bool Answer(const std::string& title, const std::string& keys, double timeout = 15) {
        return WaitWindow(title, timeout) && Key(keys, title);
    }
    void Click(QPoint p) {
        // (Without --sync: xdotool waits forever when the pointer is already there.)
        Xdotool({"mousemove", std::to_string(p.x()), std::to_string(p.y()), "click", "1"});
        Sleep(0.15);
    }
    // Asks the window to close as a window manager's close button does.
    bool Close(const std::string& title = kMainWindow) {
        const unsigned long w = FindWindow(title);
        if (w) x_->CloseRequest(w);
        return w != 0;
    }
    QImage Screen() { return x_->Screen(); }
    // The status lamp is green: the program says "INSTRUMENT IS READY".
    bool WaitReady(double timeout = 30) {
        return WaitUntil([this] { return Pixels(Screen(), qRgb(0, 255, 0)) > 200; }, timeout);
    }
    // The screen as build/screenshots/<name>.png.
    void Screenshot(const std::string& name) {
        const fs::path dir = fs::path(ZAVO_BINARY_DIR) / "screenshots";
        fs::create_directories(dir);
        Screen().save(QString::fromStdString((dir / (name + ".png")).string()));
    }
    void Xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        Proc(args, {"DISPLAY=" + display_}, {}, "/dev/null").Wait(10);
    }

  private:
    AppOptions opt_;
    QTemporaryDir tmp_;
    fs::path work_ = Path("elsewhere");
    Proc xvfb_;
    std::string display_;
    std::unique_ptr<zavo::test::XDisplay> x_;
    std::unique_ptr<Tool> controller_;
    Proc program_, listener_;
};

// The commands the controller recognised from now on.
struct Since {
    App& app;
    size_t from = app.Commands().size();
    std::string operator()() const { return app.Commands().substr(from); }
    bool Wait(const std::string& part, double timeout = 30) const {
        return WaitUntil([&] { return (*this)().find(part) != std::string::npos; }, timeout);
    }
};

}  // namespace e2e
