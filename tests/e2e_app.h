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
#include <random>
#include <sstream>

#include "e2e_harness.h"
#include "maglink/MagTransport.h"
#include "operations/Journal.h"
#include "support/XDisplay.h"

namespace e2e {

inline const std::string kMainWindow = "ZAVO - ver.";

// A settings file: the defaults, a frequency optimization done today (so that the start-up does
// not ask for one), and the fields given ({"ZAVMODE", "2"}).
inline std::string SettingsText(std::map<std::string, std::string> fields = {}) {
    fields.try_emplace("FREQDATE", QDate::currentDate().toString("dd-MM-yyyy").toStdString());
    std::istringstream defaults(
        "COMM 1 FREQDATE - ZAVMODE 1 DMODE 7 DMGFD 0 DMGER 1 DMGES 2 DMGET 5 REKMODE 0 REKFD 0 "
        "REKFM 0 REKFA 0 REKER 1 REKES 2 REKET 5 TOVMODE 0 TOVFP 0 TOVET 5 TOVDIR 1 TOVNUM 1 "
        "SERVMODE 0 ZAVORIENT 0 SIMULMODE 0 TOUCHMODE 0 SOUNDMODE 0");
    std::string out;
    for (std::string key, value; defaults >> key >> value;) {
        value = fields.try_emplace(key, value).first->second;
        value.resize(11, ' '), key.resize(9, ' ');
        out += value + key + "|\r\n";
    }
    return out;
}

// Where the pixels that are `is` lie (empty: none).
inline QRect Box(const QImage& img, const std::function<bool(QRgb)>& is) {
    int left = img.width(), top = img.height(), right = -1, bottom = -1;
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if (is(row[x] & 0xFFFFFF))
                left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
                bottom = y;
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// A journal row's field by column name.
inline std::string Field(const QStringList& row, const char* column) {
    return row.value(int(zavo::Journal::Columns().indexOf(column))).toStdString();
}

class App {
  public:
    // settings: the settings file ("": none). controller: its options ({}: not started now).
    explicit App(const std::string& settings = SettingsText(),
                 const std::string& screen = "1600x1000",
                 const std::vector<std::string>& controller = {"--speed", "20"}) {
        fs::create_directories(Dir() / "mon");
        fs::create_directories(Path("elsewhere"));
        fs::create_directories(Temp());
        fs::permissions(Temp(), fs::perms::owner_all);
        for (const char* f : {"zavo", "sounds", "pics"})
            fs::copy(fs::path(ZAVO_PROGRAM_DIR) / f, Dir() / f, fs::copy_options::recursive);
        if (!settings.empty()) std::ofstream(Dir() / "ZAVO.sav", std::ios::binary) << settings;
        xvfb_ = Proc({"Xvfb", "-displayfd", "1", "-screen", "0", screen + "x24", "-nolisten", "tcp",
                      "-noreset"});
        display_ = ":" + xvfb_.Line();
        x_ = std::make_unique<zavo::test::XDisplay>(display_);
        Xdotool({"mousemove", "0", "0"});  // the pointer hovers over nothing
        if (!controller.empty()) StartController(controller);
    }

    // A file of the test's own; the program folder; the temporary folder of the program and the
    // tools; where the program's output goes.
    fs::path Path(const char* name) const { return fs::path(tmp_.path().toStdString()) / name; }
    fs::path Dir() const { return Path("zavo"); }
    fs::path Temp() const { return Path("tmp"); }
    fs::path Output() const { return Path("zavo.out"); }
    std::vector<std::string> Env() const {
        return {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "TMPDIR=" + Temp().string(),
                "XDG_RUNTIME_DIR=" + Temp().string()};
    }
    // What a failed check shows: the commands the controller saw and what the program printed.
    std::string Why() const { return Commands() + "\n" + FileBytes(Output()); }

    // The virtual controller, linked as ports/COM<com>.
    void StartController(std::vector<std::string> args, int com = 1) {
        const std::string link = (Dir() / "ports" / ("COM" + std::to_string(com))).string();
        args.insert(args.end(), {"--link", link, "--transcript", Path("vc.log").string(),
                                 "--control", Path("vc.ctl").string()});
        controller_ = std::make_unique<Tool>(args);
    }
    // The controller goes away as an unplugged adapter does: its line hangs up.
    void Unplug() { controller_->Wait(5, SIGKILL); }
    // A line for the controller's control channel ("yul off", "fault tumbler-break").
    void Control(const std::string& line) { std::ofstream(Path("vc.ctl")) << line << "\n"; }
    // Every command the controller recognised, each followed by a blank.
    std::string Commands() const { return e2e::Commands(Path("vc.log")); }

    // The program, started from a working directory that is not its folder.
    void Start() {
        program_ = Proc({(Dir() / "zavo").string()}, Env(), Path("elsewhere"), Output());
    }
    // Started and initialized up to "INSTRUMENT IS READY".
    bool StartReady() { return Start(), WaitReady(60); }
    int WaitExit(double timeout) { return program_.Wait(timeout); }
    void Signal(int sig) { kill(program_.Pid(), sig); }
    long RssKb() const { return e2e::RssKb(program_.Pid()); }

    std::string Log() const {  // the daily log
        for (const auto& f : fs::directory_iterator(Dir() / "mon"))
            if (f.path().extension() == ".mon") return FileBytes(f.path());
        return {};
    }
    std::string SettingsFile() const { return FileBytes(Dir() / "ZAVO.sav"); }
    std::vector<QStringList> Journal() const {
        return zavo::Journal::Rows_Read(Dir() / "journal.csv", -1);
    }

    // The magnetometer program: the companion tool with the program's environment.
    Proc Companion(const std::vector<std::string>& args) {
        std::vector<std::string> argv{ZAVO_BINARY_DIR "/tools/magnetometer-link"};
        argv.insert(argv.end(), args.begin(), args.end());
        return Proc(argv, Env(), {}, Path("companion.out"));
    }
    int Send(const std::string& step) { return Companion({"send", step}).Wait(15); }
    // The program's link as the magnetometer program reaches it from this test.
    std::unique_ptr<zavo::MagTransport> Link() const {
        return zavo::MagTransport_Local((Temp() / "zavo").string(), geteuid());
    }
    // It listens for time stamps from now on; Stamps() counts them.
    void Listen() {
        listener_ = Companion({"listen"});
        WaitUntil(
            [&] { return FileBytes(Path("companion.out")).find("listening") != std::string::npos; },
            5);
    }
    int Stamps() const {
        const std::string said = FileBytes(Path("companion.out"));
        return int(std::count(said.begin(), said.end(), '\t'));  // "<time>\t<bytes>" each
    }

    std::vector<unsigned long> Windows(const std::string& title) { return x_->Windows(title); }
    unsigned long FindWindow(const std::string& title) {
        return Windows(title).empty() ? 0 : Windows(title).front();
    }
    QRect WindowBox() { return x_->Geometry(FindWindow(kMainWindow)); }
    // Waits until the window is shown and painted (the screen no longer black).
    bool WaitWindow(const std::string& title, double timeout = 15) {
        return WaitUntil([&] { return FindWindow(title) != 0; }, timeout) &&
               WaitUntil(
                   [&] { return Box(Screen(), [](QRgb c) { return c != 0; }).height() > 100; },
                   timeout);
    }
    // A key (xdotool's name: "F2", "Return", "alt+r") to the window whose title holds `title`,
    // focused first. False when no such window is shown.
    bool Key(const std::string& key, const std::string& title = kMainWindow) {
        const unsigned long w = FindWindow(title);
        if (!w) return false;
        Xdotool({"windowfocus", "--sync", std::to_string(w)});
        Sleep(0.1);
        Xdotool({"key", key});
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
    // Where the status lamp is green (empty: not shown so): the program is ready.
    QRect Lamp() {
        return Box(Screen(), [](QRgb c) { return c == 0x00FF00; });
    }
    // The status lamp is green: the program says "INSTRUMENT IS READY".
    bool WaitReady(double timeout = 30) {
        return WaitUntil([this] { return Lamp().width() > 10; }, timeout);
    }
    // The screen (or a picture) as build/screenshots/<name>.png.
    void Screenshot(const std::string& name, const QImage& picture = {}) {
        fs::create_directories(ZAVO_BINARY_DIR "/screenshots");
        (picture.isNull() ? Screen() : picture)
            .save(QString(ZAVO_BINARY_DIR "/screenshots/%1.png").arg(name.c_str()));
    }
    // The window as the operator's guide shows it: painted to the end (the same picture twice in
    // a row), cut to what the program drew (the X server's background is black), in the
    // screenshots and docs/images/. That copy is rewritten only when the window looks different,
    // so an unchanged window leaves the working tree clean.
    void GuideImage(const std::string& name) {
        QImage screen = Screen(), before;
        for (const double end = Now() + 10; screen != before && Now() < end;)
            Sleep(0.3), before = std::exchange(screen, Screen());
        const QImage window = screen.copy(Box(screen, [](QRgb c) { return c != 0; }));
        Screenshot(name, window);
        const QString doc = QString(ZAVO_SOURCE_DIR "/docs/images/%1.png").arg(name.c_str());
        if (QImage(doc).convertToFormat(QImage::Format_RGB32) != window) window.save(doc);
    }
    void Xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        Proc(args, {"DISPLAY=" + display_}, {}, "/dev/null").Wait(10);
    }

  private:
    QTemporaryDir tmp_;
    Proc xvfb_;
    std::string display_;
    std::unique_ptr<zavo::test::XDisplay> x_;
    std::unique_ptr<Tool> controller_;
    Proc program_, listener_;
};

// Sends n type-1 payloads of 16 random bytes (two doubles that are not 0 and 1, failing their
// check): how many the program took.
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
        return WaitUntil([&] { return (*this)().find(part) != std::string::npos; }, timeout);
    }
};

}  // namespace e2e
