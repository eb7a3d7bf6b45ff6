// The program as the lab gets it: the demo of scripts/run.sh beside a real program folder, and a
// program folder installed with `cmake --install`, its package and its menu entry. The operator's
// guide shows the windows the installed program draws here.

#include <gtest/gtest.h>

#include <set>

#include "e2e_app.h"

namespace {

namespace fs = std::filesystem;

// Every file and folder below dir, relative, folders ending in "/".
std::set<std::string> Tree(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.insert(fs::relative(e.path(), dir).string() + (e.is_directory() ? "/" : ""));
    return names;
}

// The window as the operator's guide shows it: the screen cut to what the program drew (the X
// server's background is black), in build/screenshots/ and docs/images/. The source tree's copy is
// rewritten only when the window looks different, so an unchanged window leaves it clean.
void GuideImage(e2e::App& app, const std::string& name) {
    QImage screen = app.Screen(), before;  // painted to the end: the same picture twice in a row
    for (const double end = e2e::Now() + 10; screen != before && e2e::Now() < end;)
        e2e::Sleep(0.3), before = std::exchange(screen, app.Screen());
    QRect drawn;
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x)
            if ((screen.pixel(x, y) & 0xFFFFFF) != 0) drawn |= QRect(x, y, 1, 1);
    const QImage window = screen.copy(drawn);
    app.Screenshot(name);
    const QString doc = QString(ZAVO_SOURCE_DIR "/docs/images/%1.png").arg(name.c_str());
    if (QImage(doc).convertToFormat(QImage::Format_RGB32) != window) window.save(doc);
}

}  // namespace

// scripts/run.sh, as the README gives it, in a checkout whose build is done and whose program
// folder build/zavo/ has ports/COM1 linked to the real adapter: the demo runs in build/demo/
// against the virtual controller, and the engineer's link outlives it.
TEST(InstallE2E, TheDemoLeavesTheRealProgramFolderAlone) {
    e2e::AppOptions o;
    o.withController = false;
    e2e::App app(o);
    const fs::path tree = app.Path("checkout"), built = tree / "build" / "zavo",
                   demo = tree / "build" / "demo";
    fs::create_directories(tree / "scripts");
    fs::copy_file(ZAVO_SOURCE_DIR "/scripts/run.sh", tree / "scripts" / "run.sh");
    std::ofstream(tree / "scripts" / "setup.sh") << "#!/bin/sh\n";  // the build is done
    fs::permissions(tree / "scripts" / "setup.sh", fs::perms::owner_exec, fs::perm_options::add);
    fs::create_directories(tree / "build" / "tools");
    fs::create_symlink(ZAVO_BINARY_DIR "/tools/virtual-controller", tree / "build" / "tools" / "virtual-controller");
    fs::copy(app.Dir(), built, fs::copy_options::recursive);
    fs::create_directories(built / "ports");
    fs::create_symlink("/dev/ttyUSB0", built / "ports" / "COM1");
    fs::create_directories(demo);  // a demo folder used before: its frequency search is done
    std::ofstream(demo / "ZAVO.sav", std::ios::binary) << e2e::SettingsText();

    e2e::Proc script({(tree / "scripts" / "run.sh").string()}, app.Env(), app.Temp(), app.Output());
    ASSERT_TRUE(app.WaitReady(60)) << e2e::FileBytes(app.Output());
    EXPECT_EQ(fs::read_symlink(built / "ports" / "COM1"), "/dev/ttyUSB0");
    EXPECT_NE(e2e::FileBytes(demo / "virtual-controller.log").find("CMD \"IP\""), std::string::npos)
        << "the demo talks to the virtual controller";
    app.Close();
    ASSERT_TRUE(app.Answer("Exiting ", "alt+y"));
    EXPECT_EQ(script.Wait(30), 0) << e2e::FileBytes(app.Output());
    EXPECT_EQ(fs::read_symlink(built / "ports" / "COM1"), "/dev/ttyUSB0");
    EXPECT_TRUE(!fs::exists(built / "ZAVO.sav") && fs::is_empty(built / "mon"))
        << "the real program folder was not used";
    EXPECT_FALSE(fs::is_symlink(demo / "ports" / "COM1")) << "the controller's link went with it";
}

// `cmake --install` into a folder whose path has a blank, packed by `cpack` into one folder of
// the same files. The menu entry starts the folder's program from another working directory: the
// first start asks for the frequency search, the companion tool presets a step, a run is made;
// settings, log and journal are written inside the folder and nowhere else. A second start, in
// the tablet layout, reads its settings from there.
TEST(InstallE2E, AnInstalledFolderRunsFromItsMenuEntryAndKeepsItsFilesInside) {
    e2e::AppOptions o;
    o.withController = false;
    e2e::App app(o);
    const fs::path dir = app.Path("lab programs") / "ZAVO", home = app.Path("home"),
                   out = app.Path("out.txt"), pack = app.Path("pack"), unpacked = app.Path("unpacked");
    fs::create_directories(home);
    fs::create_directories(unpacked);
    ASSERT_EQ(e2e::Proc({ZAVO_CMAKE_COMMAND, "--install", ZAVO_BINARY_DIR, "--prefix", dir.string()}, {}, {}, out)
                  .Wait(120), 0) << e2e::FileBytes(out);
    for (const char* media : {"sounds", "pics"})
        EXPECT_EQ(Tree(dir / media), Tree(app.Dir() / media)) << media;
    EXPECT_TRUE(fs::is_directory(dir / "mon"));
    ASSERT_EQ(e2e::Proc({ZAVO_CPACK_COMMAND, "-G", "TGZ", "--config", ZAVO_BINARY_DIR "/CPackConfig.cmake",
                         "-B", pack.string()}, {}, {}, out).Wait(120), 0) << e2e::FileBytes(out);
    for (const auto& e : fs::directory_iterator(pack))
        if (e.path().string().ends_with(".tar.gz")) e2e::Proc({"tar", "-xzf", e.path().string(), "-C", unpacked.string()}).Wait(60);
    ASSERT_EQ(std::distance(fs::directory_iterator(unpacked), fs::directory_iterator()), 1) << "one folder";
    EXPECT_EQ(Tree(fs::directory_iterator(unpacked)->path()), Tree(dir));

    ASSERT_EQ(e2e::Proc({(dir / "install-desktop-entry.sh").string()},
                        {"XDG_DATA_HOME=" + app.Path("share").string()}, {}, out).Wait(30), 0)
        << e2e::FileBytes(out);
    const std::string entry = e2e::FileBytes(app.Path("share") / "applications" / "zavo.desktop");
    const size_t exec = entry.find("\nExec=\""), icon = entry.find("\nIcon=");
    ASSERT_NE(exec, std::string::npos) << entry;
    const fs::path program = entry.substr(exec + 7, entry.find("\"\n", exec) - exec - 7);
    EXPECT_EQ(program, dir / "zavo") << entry;
    EXPECT_TRUE(icon != std::string::npos && fs::exists(entry.substr(icon + 6, entry.find('\n', icon + 1) - icon - 6)))
        << entry;

    e2e::Proc controller({(dir / "virtual-controller").string(), "--speed", "20", "--link",
                          (dir / "ports" / "COM1").string()}, {}, {}, app.Path("vc.out"));
    ASSERT_TRUE(e2e::WaitUntil([&] { return fs::exists(dir / "ports" / "COM1"); }, 10));
    e2e::Proc zavo({program.string()}, app.Env(), home, app.Output());
    ASSERT_TRUE(app.Answer("Warning", "alt+c", 30)) << "no frequency search yet: it is asked for";
    ASSERT_TRUE(app.Answer("Frequency optimalization", "Return", 60));
    ASSERT_TRUE(app.WaitReady(60));
    ASSERT_EQ(e2e::Proc({(dir / "magnetometer-link").string(), "send", "AD-020"}, app.Env(), {}, out).Wait(15), 0)
        << e2e::FileBytes(out);
    GuideImage(app, "operator-desktop");
    app.Key("Return");
    const fs::path journal = dir / "journal.csv";
    ASSERT_TRUE(e2e::WaitUntil([&] { return zavo::Journal::Rows_Read(journal, 5).size() == 1; }, 60));
    EXPECT_EQ(e2e::Field(zavo::Journal::Rows_Read(journal, 5).front(), "step"), "AD-020");
    ASSERT_TRUE(app.WaitReady(10));
    app.Close();
    ASSERT_TRUE(app.Answer("Exiting ", "alt+y"));
    EXPECT_EQ(zavo.Wait(30), 0);

    const std::string today = QDate::currentDate().toString("dd-MM-yyyy").toStdString();
    std::string settings = e2e::FileBytes(dir / "ZAVO.sav");
    EXPECT_EQ(settings.substr(23, 10) + "|" + settings.substr(4 * 23, 2), today + "|20")
        << "the search's date and the step's AC max: " << settings;
    const std::string log = e2e::FileBytes(dir / "mon" / (today + ".mon"));
    EXPECT_NE(log.find("** ZAVO"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(home)) << "nothing in the working directory";

    // The tablet window may reach below the screen, the status lamp with it: the initialization's
    // last reply in the log tells that it is done.
    settings.replace(settings.find("0          TOUCHMODE"), 1, "1");
    std::ofstream(dir / "ZAVO.sav", std::ios::binary) << settings;
    zavo = e2e::Proc({program.string()}, app.Env(), home, app.Output());
    ASSERT_TRUE(app.WaitWindow("[Tablet Mode]", 30));
    ASSERT_TRUE(e2e::WaitUntil([&] {
        const std::string now = e2e::FileBytes(dir / "mon" / (today + ".mon"));
        return now.find("** Tumbler Ready", log.size()) != std::string::npos;
    }, 60));
    GuideImage(app, "operator-tablet");
}
