// The program as the lab gets it: the scripts/run.sh demo, and an installed folder with its
// package and menu entry (which draws the operator's guide's desktop picture).

#include <gtest/gtest.h>

#include <set>

#include "e2e_harness.h"

namespace fs = std::filesystem;

// Every file and folder below dir, relative, folders ending in "/".
static std::set<std::string> Tree(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.insert(fs::relative(e.path(), dir).string() + (e.is_directory() ? "/" : ""));
    return names;
}

TEST(InstallE2E, TheDemoAndAnInstalledFolderFromItsMenuEntry) {
    e2e::App app("", "1600x1000", {});  // no controller of its own
    // The demo runs in build/demo/ against the virtual controller; build/zavo/, linked to the real
    // adapter, is left alone.
    const fs::path tree = app.Path("checkout"), built = tree / "build" / "zavo",
                   demo = tree / "build" / "demo";
    for (const fs::path& d : {tree / "scripts", tree / "build" / "tools", built / "ports", demo})
        fs::create_directories(d);
    fs::copy_file(ZAVO_SOURCE_DIR "/scripts/run.sh", tree / "scripts" / "run.sh");
    std::ofstream(tree / "scripts" / "setup.sh") << "#!/bin/sh\n";  // the build is done
    fs::permissions(tree / "scripts" / "setup.sh", fs::perms::owner_exec, fs::perm_options::add);
    fs::create_symlink(ZAVO_BINARY_DIR "/tools/virtual-controller",
                       tree / "build" / "tools" / "virtual-controller");
    fs::copy(app.Dir(), built, fs::copy_options::recursive);
    fs::create_symlink("/dev/ttyUSB0", built / "ports" / "COM1");
    // A demo folder used before: its frequency search is done.
    std::ofstream(demo / "ZAVO.sav", std::ios::binary) << e2e::SettingsText();

    e2e::Proc script({(tree / "scripts" / "run.sh").string()}, app.Env(), app.Temp(), app.Output());
    ASSERT_TRUE(app.WaitReady(60)) << e2e::FileBytes(app.Output());
    EXPECT_TRUE(e2e::Has(e2e::FileBytes(demo / "virtual-controller.log"), "CMD \"IP\""))
        << "the demo talks to the virtual controller";
    app.Close();
    ASSERT_TRUE(app.Answer("Exiting ", "alt+y"));
    EXPECT_EQ(script.Wait(30), 0) << e2e::FileBytes(app.Output());
    EXPECT_EQ(fs::read_symlink(built / "ports" / "COM1"), "/dev/ttyUSB0");
    EXPECT_TRUE(!fs::exists(built / "ZAVO.sav") && fs::is_empty(built / "mon"))
        << "the real program folder was not used";
    EXPECT_FALSE(fs::is_symlink(demo / "ports" / "COM1")) << "the controller's link went with it";

    // Installed into a path with a blank, packed into one folder of the same files; started
    // elsewhere from the menu entry, it takes a step and keeps its files inside its folder.
    const fs::path dir = app.Path("lab programs") / "ZAVO", home = app.Path("home"),
                   out = app.Path("out.txt"), pack = app.Path("pack"),
                   unpacked = app.Path("unpacked");
    fs::create_directories(home), fs::create_directories(unpacked);
    const auto run = [&](const std::vector<std::string>& argv, std::vector<std::string> env = {}) {
        return e2e::Proc(argv, env, {}, out).Wait(120) == 0;
    };
    ASSERT_TRUE(run({ZAVO_CMAKE_COMMAND, "--install", ZAVO_BINARY_DIR, "--prefix", dir.string()}))
        << e2e::FileBytes(out);
    for (const char* media : {"sounds", "pics"})
        EXPECT_EQ(Tree(dir / media), Tree(app.Dir() / media)) << media;
    EXPECT_TRUE(fs::is_directory(dir / "mon"));
    ASSERT_TRUE(run({ZAVO_CPACK_COMMAND, "-G", "TGZ", "--config",
                     ZAVO_BINARY_DIR "/CPackConfig.cmake", "-B", pack.string()}))
        << e2e::FileBytes(out);
    run({"sh", "-c", "tar -xzf \"$0\"/*.tar.gz -C \"$1\"", pack.string(), unpacked.string()});
    ASSERT_EQ(std::distance(fs::directory_iterator(unpacked), fs::directory_iterator()), 1);
    EXPECT_EQ(Tree(fs::directory_iterator(unpacked)->path()), Tree(dir)) << "one folder, the same";

    ASSERT_TRUE(run({(dir / "install-desktop-entry.sh").string()},
                    {"XDG_DATA_HOME=" + app.Path("share").string()}))
        << e2e::FileBytes(out);
    const std::string entry = e2e::FileBytes(app.Path("share") / "applications" / "zavo.desktop");
    EXPECT_TRUE(e2e::Has(entry, "\nExec=\"" + (dir / "zavo").string() + "\"\n")) << entry;
    EXPECT_TRUE(e2e::Has(entry, "\nIcon=" + (dir / "zavo.svg").string() + "\n")) << entry;
    EXPECT_TRUE(fs::exists(dir / "zavo.svg"));

    e2e::Proc controller({(dir / "virtual-controller").string(), "--speed", "20", "--link",
                          (dir / "ports" / "COM1").string()});
    ASSERT_TRUE(e2e::WaitUntil([&] { return fs::exists(dir / "ports" / "COM1"); }, 10));
    e2e::Proc zavo({(dir / "zavo").string()}, app.Env(), home, app.Output());
    ASSERT_TRUE(app.Answer("Warning", "alt+c", 30)) << "no frequency search yet: it is asked for";
    ASSERT_TRUE(app.Answer("Frequency optimalization", "Return", 60));
    ASSERT_TRUE(app.WaitReady(60));
    ASSERT_TRUE(run({(dir / "magnetometer-link").string(), "send", "AD-020"}, app.Env()))
        << e2e::FileBytes(out);
    app.GuideImage("operator-desktop");
    app.Key("Return");  // a run: its journal row and the step's field go inside the folder
    ASSERT_TRUE(e2e::WaitUntil([&] { return fs::exists(dir / "journal.csv"); }, 60));
    ASSERT_TRUE(app.WaitReady(10));
    app.Close();
    ASSERT_TRUE(app.Answer("Exiting ", "alt+y"));
    EXPECT_EQ(zavo.Wait(30), 0);
    const std::string settings = e2e::FileBytes(dir / "ZAVO.sav");
    EXPECT_EQ(settings.substr(23, 10) + "|" + settings.substr(4 * 23, 2), e2e::Today() + "|20")
        << "the search's date and the step's AC max: " << settings;
    EXPECT_TRUE(e2e::Has(e2e::FileBytes(dir / "mon" / (e2e::Today() + ".mon")), "** ZAVO"));
    EXPECT_TRUE(fs::is_empty(home)) << "nothing in the working directory";
}
