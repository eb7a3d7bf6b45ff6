// The program as the lab gets it: the demo of scripts/run.sh beside a real
// program folder, and a program folder installed with `cmake --install`, its
// package and its menu entry. The operator's guide shows the windows these
// tests draw.

#include <gtest/gtest.h>

#include <set>

#include "Version.h"
#include "e2e_app.h"
#include "operations/Journal.h"

namespace {

namespace fs = std::filesystem;

fs::path TempPath(const QTemporaryDir& t) {
    return t.path().toStdString();
}

// A process group started by a test, ended with the test whatever happens.
struct Child {
    pid_t pid = -1;
    ~Child() { Stop(); }
    void Stop() {
        if (pid <= 0) return;
        kill(-pid, SIGTERM);
        if (e2e::Reap(pid, 5) == -1 && pid > 0) kill(-pid, SIGKILL), e2e::Reap(pid, 5);
    }
};

// Runs a command to its end: its exit status, -1 when it did not end in time.
int RunToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const fs::path& output, double timeout = 120) {
    pid_t pid = e2e::Spawn(argv, env, {}, output);
    return e2e::Reap(pid, timeout);
}

// `cmake --install` of the build into dir; false (and the tool's words in output) when it fails.
bool Install(const fs::path& dir, const fs::path& output) {
    return RunToEnd({ZAVO_CMAKE_COMMAND, "--install", ZAVO_BINARY_DIR, "--prefix", dir.string()},
                    {}, output) == 0;
}

// Every file and folder below dir, relative, folders ending in "/".
std::set<std::string> Tree(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.insert(fs::relative(e.path(), dir).string() + (e.is_directory() ? "/" : ""));
    return names;
}

// The value of a key of a desktop entry ("" when missing).
std::string EntryValue(const std::string& entry, const std::string& key) {
    const size_t at = entry.find("\n" + key + "=");
    if (at == std::string::npos) return {};
    const size_t begin = at + key.size() + 2;
    return entry.substr(begin, entry.find('\n', begin) - begin);
}

// Sets line `line` (1-based) of a settings file to `value`, keeping its key.
void SettingsLine_Set(const fs::path& file, int line, const std::string& value) {
    std::string text = e2e::FileBytes(file);
    size_t at = 0;
    for (int i = 1; i < line; ++i) at = text.find("\r\n", at) + 2;
    std::string column = value;
    column.resize(11, ' ');
    text.replace(at, 11, column);
    std::ofstream(file, std::ios::binary) << text;
}

// What App::Start prepares for the program, for one started otherwise; the
// pointer goes to a corner, where it hovers over nothing.
void Session_Prepare(e2e::App& app) {
    fs::create_directories(app.Temp());
    fs::permissions(app.Temp(), fs::perms::owner_all);
    pid_t pid = e2e::Spawn({"/usr/bin/xdotool", "mousemove", "0", "0"},
                           {"DISPLAY=" + app.DisplayName()}, {}, "/dev/null");
    e2e::Reap(pid, 10);
}

// The window as the operator's guide shows it: the screen cut to what the
// program drew (the X server's background is black), in build/screenshots/
// and docs/images/. The source tree's copy is rewritten only when the window
// looks different, so an unchanged window leaves the working tree clean.
void GuideImage(e2e::App& app, const std::string& name) {
    // Painted to the end: the same picture twice in a row.
    QImage screen = app.Screen().convertToFormat(QImage::Format_RGB32), before;
    for (const double end = e2e::Now() + 10; screen != before && e2e::Now() < end;) {
        poll(nullptr, 0, 300);
        before = std::exchange(screen, app.Screen().convertToFormat(QImage::Format_RGB32));
    }
    QRect drawn;
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x)
            if ((screen.pixel(x, y) & 0xFFFFFF) != 0) drawn |= QRect(x, y, 1, 1);
    const QImage window = screen.copy(drawn);
    const fs::path shots = fs::path(ZAVO_BINARY_DIR) / "screenshots";
    fs::create_directories(shots);
    window.save(QString::fromStdString((shots / (name + ".png")).string()));
    const QString doc = QString::fromStdString(
        (fs::path(ZAVO_SOURCE_DIR) / "docs" / "images" / (name + ".png")).string());
    if (QImage(doc).convertToFormat(QImage::Format_RGB32) != window) window.save(doc);
}

}  // namespace

// scripts/run.sh, as the README gives it, in a checkout whose build is done and whose
// program folder build/zavo/ has ports/COM1 linked to the real adapter: the demo runs
// in build/demo/ against the virtual controller, and the engineer's link outlives it.
TEST(RunScriptE2E, TheDemoLeavesTheRealProgramFolderAlone) {
    e2e::AppOptions o;
    o.withController = false;
    e2e::App app(o);
    QTemporaryDir tmp;
    const fs::path tree = TempPath(tmp) / "checkout", built = tree / "build" / "zavo",
                   demo = tree / "build" / "demo", out = TempPath(tmp) / "run.out";
    fs::create_directories(tree / "scripts");
    fs::copy_file(fs::path(ZAVO_SOURCE_DIR) / "scripts" / "run.sh", tree / "scripts" / "run.sh");
    std::ofstream(tree / "scripts" / "setup.sh") << "#!/bin/sh\n";  // the build is done
    fs::permissions(tree / "scripts" / "setup.sh", fs::perms::owner_exec, fs::perm_options::add);
    fs::create_directories(tree / "build" / "tools");
    fs::create_symlink(fs::path(ZAVO_BINARY_DIR) / "tools" / "virtual-controller",
                       tree / "build" / "tools" / "virtual-controller");
    fs::create_directories(built / "ports");
    for (const char* f : {"zavo", "sounds", "pics"})
        fs::copy(fs::path(ZAVO_PROGRAM_DIR) / f, built / f, fs::copy_options::recursive);
    fs::create_symlink("/dev/ttyUSB0", built / "ports" / "COM1");
    // A demo folder used before: its frequency search is done.
    fs::create_directories(demo);
    std::ofstream(demo / "ZAVO.sav", std::ios::binary) << e2e::SettingsText();
    Session_Prepare(app);

    Child script{
        e2e::Spawn({(tree / "scripts" / "run.sh").string()}, app.Env(), TempPath(tmp), out)};
    ASSERT_TRUE(app.WaitReady(60)) << e2e::FileBytes(out);
    EXPECT_EQ(fs::read_symlink(built / "ports" / "COM1"), "/dev/ttyUSB0");
    EXPECT_NE(e2e::FileBytes(demo / "virtual-controller.log").find("CMD \"IP\""), std::string::npos)
        << "the demo talks to the virtual controller";
    app.Close();
    ASSERT_TRUE(app.WaitWindow("Exiting ", 10));
    app.Key("alt+y", "Exiting ");
    EXPECT_EQ(e2e::Reap(script.pid, 30), 0) << e2e::FileBytes(out);

    EXPECT_EQ(fs::read_symlink(built / "ports" / "COM1"), "/dev/ttyUSB0");
    EXPECT_FALSE(fs::exists(built / "ZAVO.sav") || fs::exists(built / "mon"))
        << "the real program folder was not used";
    EXPECT_FALSE(fs::is_symlink(demo / "ports" / "COM1")) << "the controller's link went with it";
}

// `cmake --install` into a folder whose path has a blank: the menu entry starts the
// folder's program from another working directory; the first start asks for the
// frequency search, the companion tool presets a step, a run is made; settings, log and
// journal are written inside the folder and nowhere else. A second start in the tablet
// layout reads the settings from there. Both windows go into the operator's guide.
TEST(InstallE2E, AnInstalledFolderRunsFromItsMenuEntryAndKeepsItsFilesInside) {
    e2e::AppOptions o;
    o.withController = false;
    e2e::App app(o);
    QTemporaryDir tmp;
    const fs::path dir = TempPath(tmp) / "lab programs" / "ZAVO", home = TempPath(tmp) / "home",
                   share = TempPath(tmp) / "share", out = TempPath(tmp) / "out.txt";
    fs::create_directories(home);
    Session_Prepare(app);
    ASSERT_TRUE(Install(dir, out)) << e2e::FileBytes(out);
    for (const char* media : {"sounds", "pics"})
        EXPECT_EQ(Tree(dir / media), Tree(fs::path(ZAVO_PROGRAM_DIR) / media)) << media;
    EXPECT_TRUE(fs::is_directory(dir / "mon"));

    ASSERT_EQ(RunToEnd({(dir / "install-desktop-entry.sh").string()},
                       {"XDG_DATA_HOME=" + share.string()}, out),
              0)
        << e2e::FileBytes(out);
    const std::string entry = e2e::FileBytes(share / "applications" / "zavo.desktop");
    const std::string exec = EntryValue(entry, "Exec");
    ASSERT_EQ(exec, "\"" + (dir / "zavo").string() + "\"") << entry;
    EXPECT_TRUE(fs::exists(EntryValue(entry, "Icon"))) << entry;
    const std::string program = exec.substr(1, exec.size() - 2);

    Child controller{e2e::Spawn({(dir / "virtual-controller").string(), "--speed", "20", "--link",
                                 (dir / "ports" / "COM1").string()},
                                {}, {}, TempPath(tmp) / "vc.out")};
    ASSERT_TRUE(e2e::WaitUntil([&] { return fs::exists(dir / "ports" / "COM1"); }, 10));
    Child zavo{e2e::Spawn({program}, app.Env(), home, TempPath(tmp) / "zavo.out")};
    ASSERT_TRUE(app.WaitWindow("Warning", 30)) << "no frequency search yet: it is asked for";
    app.Key("alt+c", "Warning");
    ASSERT_TRUE(app.WaitWindow("Frequency optimalization", 60));
    app.Key("Return", "Frequency optimalization");
    ASSERT_TRUE(app.WaitReady(60));
    ASSERT_EQ(RunToEnd({(dir / "magnetometer-link").string(), "send", "AD-020"}, app.Env(), out), 0)
        << e2e::FileBytes(out);
    GuideImage(app, "operator-desktop");
    app.Key("Return");
    const fs::path journal = dir / "journal.csv";
    ASSERT_TRUE(
        e2e::WaitUntil([&] { return zavo::Journal::Rows_Read(journal, 5).size() == 1; }, 60));
    ASSERT_TRUE(app.WaitReady(10));
    app.Close();
    ASSERT_TRUE(app.WaitWindow("Exiting ", 10));
    app.Key("alt+y", "Exiting ");
    EXPECT_EQ(e2e::Reap(zavo.pid, 30), 0);

    const std::string today = QDate::currentDate().toString("dd-MM-yyyy").toStdString();
    const std::string settings = e2e::FileBytes(dir / "ZAVO.sav");
    EXPECT_EQ(settings.substr(23, 10) + "|" + settings.substr(4 * 23, 2), today + "|20")
        << "the search's date and the step's AC max: " << settings;
    EXPECT_NE(e2e::FileBytes(dir / "mon" / (today + ".mon")).find("** ZAVO"), std::string::npos);
    const QStringList row = zavo::Journal::Rows_Read(journal, 5).front();
    EXPECT_EQ(row[zavo::Journal::Columns().indexOf("step")], "AD-020");
    EXPECT_TRUE(fs::is_empty(home)) << "nothing in the working directory";

    // The tablet window may reach below the screen, the status lamp with it: the
    // initialization's last reply in the log tells that it is done.
    const auto tumblerReady = [&] {
        const std::string log = e2e::FileBytes(dir / "mon" / (today + ".mon"));
        size_t n = 0;
        for (size_t at = 0; (at = log.find("** Tumbler Ready", at)) != std::string::npos; ++at) ++n;
        return n;
    };
    const size_t readyBefore = tumblerReady();
    SettingsLine_Set(dir / "ZAVO.sav", 24, "1");  // TOUCHMODE
    zavo.pid = e2e::Spawn({program}, app.Env(), home, TempPath(tmp) / "zavo.out");
    const std::string title = "ZAVO - ver. " + std::to_string(zavo::kVersionMajor) + "." +
                              std::to_string(zavo::kVersionMinor) + "." +
                              std::to_string(zavo::kVersionRevision) + "  [Tablet Mode]";
    ASSERT_TRUE(app.WaitWindow(title, 30));
    ASSERT_TRUE(e2e::WaitUntil([&] { return tumblerReady() > readyBefore; }, 60));
    GuideImage(app, "operator-tablet");
}

// `cpack` packs the same folder that `cmake --install` makes, inside one folder.
TEST(InstallE2E, ThePackageHoldsTheInstalledFolder) {
    QTemporaryDir tmp;
    const fs::path dir = TempPath(tmp) / "installed", pack = TempPath(tmp) / "pack",
                   unpacked = TempPath(tmp) / "unpacked", out = TempPath(tmp) / "out.txt";
    ASSERT_TRUE(Install(dir, out)) << e2e::FileBytes(out);
    ASSERT_EQ(RunToEnd({ZAVO_CPACK_COMMAND, "-G", "TGZ", "--config",
                        std::string(ZAVO_BINARY_DIR) + "/CPackConfig.cmake", "-B", pack.string()},
                       {}, out),
              0)
        << e2e::FileBytes(out);
    fs::path tarball;
    for (const auto& e : fs::directory_iterator(pack))
        if (e.path().string().ends_with(".tar.gz")) tarball = e.path();
    fs::create_directories(unpacked);
    ASSERT_EQ(RunToEnd({"/usr/bin/env", "tar", "-xzf", tarball.string(), "-C", unpacked.string()},
                       {}, out),
              0)
        << e2e::FileBytes(out);
    ASSERT_EQ(std::distance(fs::directory_iterator(unpacked), fs::directory_iterator()), 1)
        << "one folder";
    EXPECT_EQ(Tree(fs::directory_iterator(unpacked)->path()), Tree(dir));
}
