// The program as the lab gets it: the demo of scripts/run.sh beside a real program folder, and a
// program folder installed with `cmake --install`, its package and its menu entry. The operator's
// guide shows the desktop window the installed program draws here.

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

}  // namespace

// scripts/run.sh, as the README gives it, in a checkout whose build is done and whose program
// folder build/zavo/ has ports/COM1 linked to the real adapter: the demo runs in build/demo/
// against the virtual controller, and the engineer's link outlives it.
TEST(InstallE2E, TheDemoLeavesTheRealProgramFolderAlone) {
    e2e::App app("", "1600x1000", {});  // no controller of its own
    const fs::path tree = app.Path("checkout"), built = tree / "build" / "zavo",
                   demo = tree / "build" / "demo";
    fs::create_directories(tree / "scripts");
    fs::copy_file(ZAVO_SOURCE_DIR "/scripts/run.sh", tree / "scripts" / "run.sh");
    std::ofstream(tree / "scripts" / "setup.sh") << "#!/bin/sh\n";  // the build is done
    fs::permissions(tree / "scripts" / "setup.sh", fs::perms::owner_exec, fs::perm_options::add);
    fs::create_directories(tree / "build" / "tools");
    fs::create_symlink(ZAVO_BINARY_DIR "/tools/virtual-controller",
                       tree / "build" / "tools" / "virtual-controller");
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
// settings, log and journal are written inside the folder and nowhere else.
TEST(InstallE2E, AnInstalledFolderRunsFromItsMenuEntryAndKeepsItsFilesInside) {
    e2e::App app("", "1600x1000", {});  // no controller of its own
    const fs::path dir = app.Path("lab programs") / "ZAVO", home = app.Path("home"),
                   out = app.Path("out.txt"), pack = app.Path("pack"),
                   unpacked = app.Path("unpacked");
    fs::create_directories(home);
    fs::create_directories(unpacked);
    const auto run = [&](const std::vector<std::string>& argv,
                         const std::vector<std::string>& env) {
        return e2e::Proc(argv, env, {}, out).Wait(120) == 0;  // exit status 0
    };
    ASSERT_TRUE(
        run({ZAVO_CMAKE_COMMAND, "--install", ZAVO_BINARY_DIR, "--prefix", dir.string()}, {}))
        << e2e::FileBytes(out);
    for (const char* media : {"sounds", "pics"})
        EXPECT_EQ(Tree(dir / media), Tree(app.Dir() / media)) << media;
    EXPECT_TRUE(fs::is_directory(dir / "mon"));
    ASSERT_TRUE(run({ZAVO_CPACK_COMMAND, "-G", "TGZ", "--config",
                     ZAVO_BINARY_DIR "/CPackConfig.cmake", "-B", pack.string()},
                    {}))
        << e2e::FileBytes(out);
    for (const auto& e : fs::directory_iterator(pack))
        if (e.path().string().ends_with(".tar.gz"))
            run({"tar", "-xzf", e.path().string(), "-C", unpacked.string()}, {});
    ASSERT_EQ(std::distance(fs::directory_iterator(unpacked), fs::directory_iterator()), 1)
        << "one folder";
    EXPECT_EQ(Tree(fs::directory_iterator(unpacked)->path()), Tree(dir));

    ASSERT_TRUE(run({(dir / "install-desktop-entry.sh").string()},
                    {"XDG_DATA_HOME=" + app.Path("share").string()}))
        << e2e::FileBytes(out);
    const std::string entry = e2e::FileBytes(app.Path("share") / "applications" / "zavo.desktop");
    const auto value = [&](const std::string& key) {  // of a key of the entry
        const size_t at = entry.find("\n" + key + "=") + key.size() + 2;
        return entry.substr(at, entry.find('\n', at) - at);
    };
    const fs::path program = dir / "zavo";
    EXPECT_EQ(value("Exec"), "\"" + program.string() + "\"") << entry;
    EXPECT_TRUE(fs::exists(value("Icon"))) << entry;

    e2e::Proc controller({(dir / "virtual-controller").string(), "--speed", "20", "--link",
                          (dir / "ports" / "COM1").string()});
    ASSERT_TRUE(e2e::WaitUntil([&] { return fs::exists(dir / "ports" / "COM1"); }, 10));
    e2e::Proc zavo({program.string()}, app.Env(), home, app.Output());
    ASSERT_TRUE(app.Answer("Warning", "alt+c", 30)) << "no frequency search yet: it is asked for";
    ASSERT_TRUE(app.Answer("Frequency optimalization", "Return", 60));
    ASSERT_TRUE(app.WaitReady(60));
    ASSERT_TRUE(run({(dir / "magnetometer-link").string(), "send", "AD-020"}, app.Env()))
        << e2e::FileBytes(out);
    app.GuideImage("operator-desktop");
    app.Key("Return");
    const fs::path journal = dir / "journal.csv";
    ASSERT_TRUE(
        e2e::WaitUntil([&] { return zavo::Journal::Rows_Read(journal, 5).size() == 1; }, 60));
    EXPECT_EQ(e2e::Field(zavo::Journal::Rows_Read(journal, 5).front(), "step"), "AD-020");
    ASSERT_TRUE(app.WaitReady(10));
    app.Close();
    ASSERT_TRUE(app.Answer("Exiting ", "alt+y"));
    EXPECT_EQ(zavo.Wait(30), 0);

    const std::string today = QDate::currentDate().toString("dd-MM-yyyy").toStdString();
    const std::string settings = e2e::FileBytes(dir / "ZAVO.sav");
    EXPECT_EQ(settings.substr(23, 10) + "|" + settings.substr(4 * 23, 2), today + "|20")
        << "the search's date and the step's AC max: " << settings;
    EXPECT_NE(e2e::FileBytes(dir / "mon" / (today + ".mon")).find("** ZAVO"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(home)) << "nothing in the working directory";
}
