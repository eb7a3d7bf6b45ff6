// The settings file: each field's rule, the fixed-width file, saves that never damage a file.
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "panel/SettingsFile.h"
#include "support/TestProgram.h"

using namespace zavo;
namespace fs = std::filesystem;
using Lines = std::vector<std::pair<int, std::string>>;  // line number from 1, value column

// The default file with some values replaced: an 11-character value column, the key in 9, "|".
static std::string FileWith(const Lines& values = {}) {
    std::istringstream in(
        "1 COMM 01-01-1900 FREQDATE 1 ZAVMODE 7 DMODE 0 DMGFD 1 DMGER 2 DMGES 5 DMGET 0 REKMODE "
        "0 REKFD 0 REKFM 0 REKFA 1 REKER 2 REKES 5 REKET 0 TOVMODE 0 TOVFP 5 TOVET 1 TOVDIR "
        "1 TOVNUM 0 SERVMODE 0 ZAVORIENT 0 SIMULMODE 0 TOUCHMODE 0 SOUNDMODE");
    std::string s, v, key;
    for (int n = 1; in >> v >> key; ++n) {
        for (const auto& [ln, given] : values) v = ln == n ? given : v;
        s += (v + std::string(11, ' ')).substr(0, 11) + (key + "         ").substr(0, 9) + "|\r\n";
    }
    return s;
}

struct SettingsTest : ::testing::Test {
    QTemporaryDir tmp;
    fs::path dir = tmp.path().toStdString(), file = dir / "ZAVO.sav";
    test::ScriptedDialogs dialogs;
    Ctx ctx;

    SettingsTest() {
        ctx.paths.dir = dir, ctx.dialogs = &dialogs;
        fs::permissions(dir, fs::perms(0755));
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // "." whatever the locale says
    }
    void Write(const fs::path& p, const std::string& b) { std::ofstream(p, std::ios::binary) << b; }
    // File permissions bind even root: 65534 is nobody, 0 back.
    static void FsUser(int id) {
        if (geteuid() == 0 && setfsgid(id) >= 0) setfsuid(id);
    }
    std::string Reload(const std::string& bytes) {
        Settings s;
        Write(file, bytes);
        if (!Settings_Load(file, s)) return "not loaded";
        return Settings_Save(file, s) ? test::ReadBytes(file) : "not saved";
    }
    fs::perms Mode(const fs::path& p) const { return fs::status(p).permissions() & fs::perms::all; }
};

TEST_F(SettingsTest, LoadChecksValuesKeepsFixedWidthAndRejectsDamagedFiles) {
    // clang-format off
    struct Check { int n; const char *in, *out; int n2 = 0; const char *in2 = "", *out2 = ""; };
    const Check checks[] = {  // out null: does not load
        {1, "17", "1"}, {1, "0", "0"}, {1, "-1", "1"}, {3, "4", "1"}, {3, "0", "1"}, {4, "0", "7"},
        {4, "9", "7"}, {4, "word", "7"}, {4, "5abc", "5"}, {4, " 2.5", "2"}, {4, "3.5", "4"},
        {5, "201", "0"}, {5, "  -12.5xyz", "-12"}, {6, "-1", "1"}, {7, "0", "2"}, {8, "31", "5"},
        {11, "501", "0"}, {13, "4", "1"}, {14, "0", "2"}, {18, "100", "5"}, {19, "0", "1"},
        {19, "3", "1"}, {22, "1e3", "1000"}, {22, "1e", "1"}, {22, "1e-x", "1"}, {22, "2D2", "200"},
        {22, ".5e1", "5"}, {22, "+7 8", "7"}, {1, "1e-999", "0"}, {1, "-", "0"},
        {22, "32767.4", "32767"}, {22, "-32768.5", "-32768"},
        // Booleans are true only for a value of 1.
        {21, "1.0", "1"}, {21, "-1", "0"}, {21, "2", "0"}, {21, "yes", "0"}, {21, "0.5", "0"},
        // Dates carry over, two-digit years fall in 1930..2029, all zeros is 1 Jan 2000.
        {2, "31-02-2024", "02-03-2024"}, {2, "31-02-2023", "03-03-2023"}, {2, "", "01-01-2000"},
        {2, "15-13-2023", "15-01-2024"}, {2, "00-03-2024", "29-02-2024"},
        {2, "07-00-2024", "07-12-2023"}, {2, "00-00-2024", "30-11-2023"},
        {2, "00-00-0000", "01-01-2000"}, {2, "07/03/2024", "07-03-2024"},
        {2, "15-06-29", "15-06-2029"}, {2, "15-06-30", "15-06-1930"},
        {2, "15-06-0099", "15-06-1999"}, {2, "15-06-0100", "15-06-0100"}, {2, "01-01--5", nullptr},
        // Outside 16 bits anywhere, the first 10 characters counting.
        {5, "32768", nullptr}, {22, "-32769", nullptr}, {21, "99999", nullptr}, {1, "1e9", nullptr},
        {3, "12345678901", nullptr}, {2, "01-13-9999", nullptr}, {22, "1e999", nullptr},
        // AC min is checked against AC max of the same file, itself checked first.
        {10, "100", "100", 12, "150", "0"}, {10, "100", "100", 12, "100", "100"},
        {10, "200", "200", 12, "201", "0"}, {10, "201", "0", 12, "50", "0"}};
    // Every field away from its default, at the edges of what it accepts.
    const Lines full = {{1, "16"}, {2, "07-03-2024"}, {3, "3"}, {4, "8"}, {5, "200"}, {6, "0"},
        {7, "3"}, {8, "30"}, {9, "7"}, {10, "150"}, {11, "500"}, {12, "150"}, {13, "3"}, {14, "1"},
        {15, "0"}, {16, "6"}, {17, "20"}, {18, "99"}, {19, "2"}, {20, "10"}, {21, "1"},
        {22, "-32768"}, {23, "1"}, {24, "1"}, {25, "1"}};
    // clang-format on
    for (const Check& c : checks)
        EXPECT_EQ(Reload(FileWith({{c.n, c.in}, {c.n2, c.in2}})),
                  c.out ? FileWith({{c.n, c.out}, {c.n2, c.out2}}) : "not loaded")
            << "line " << c.n << " '" << c.in << "'";
    EXPECT_EQ(Reload(FileWith(full)), FileWith(full));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);  // no temporary file left
    // Other line ends and extra lines are fine; an empty or short file does not load.
    const std::string last = FileWith({{25, "1"}});
    EXPECT_EQ(Reload(QString::fromStdString(last).remove('\r').toStdString()), last);
    EXPECT_EQ(Reload(last + "garbage\r\nmore\r\n"), last);
    EXPECT_EQ(Reload(last.substr(0, last.size() - 2)), last);
    EXPECT_EQ(Reload(""), "not loaded");
    // What a short file held stays read, the rest keeps its old value.
    Settings s{.SOUNDMODE = true};
    Write(file, FileWith({{1, "5"}}).substr(0, 23 * 24));
    EXPECT_TRUE(!Settings_Load(file, s) && s.COMM == 5 && s.SOUNDMODE);
}

TEST_F(SettingsTest, StartupAndSaveKeepTheFileOrReportWhyNot) {
    Settings_Startup(ctx);  // none: the defaults, written
    EXPECT_EQ(test::ReadBytes(file), FileWith());
    Write(file, FileWith({{1, "4"}, {23, "1"}}));
    Settings_Startup(ctx);
    EXPECT_TRUE(ctx.settings.COMM == 4 && ctx.settings.SIMULMODE && dialogs.boxes.empty());
    EXPECT_EQ(test::ReadBytes(file), FileWith({{1, "4"}, {23, "1"}}));

    // A link keeps pointing at the real file, which keeps its permissions.
    const fs::path real = dir / "real.sav";
    fs::rename(file, real);
    fs::permissions(real, fs::perms(0640));
    fs::create_symlink(real, file);
    ASSERT_TRUE(Settings_Save(file, Settings{}));
    EXPECT_EQ(std::pair(test::ReadBytes(real), Mode(real)), std::pair(FileWith(), fs::perms(0640)));

    // A full disk: writes past 100 bytes fail, the old file stays whole, nothing is left over.
    Write(file, FileWith({{1, "3"}}));
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small{100, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    std::string why;
    const bool ok = Settings_Save(file, Settings{}, &why);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(ok || why.empty());
    EXPECT_EQ(test::ReadBytes(file), FileWith({{1, "3"}}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2);  // with the link
}

TEST_F(SettingsTest, UnreadableFileIsToldAndNeverOverwritten) {
    const std::string mine = FileWith({{1, "4"}, {5, "120"}});
    Write(file, mine);
    fs::permissions(file, fs::perms::none);
    ctx.settings.COMM = 9, ctx.instr.MagMode = 3;
    FsUser(65534);
    Settings_Startup(ctx);
    const bool saved = Settings_SaveChecked(ctx);
    FsUser(0);
    // The session runs on the defaults; the file keeps its bytes and its mode.
    EXPECT_TRUE(ctx.settings == Settings{} && ctx.instr.MagMode == 2 && !saved);
    EXPECT_EQ(std::pair(test::ReadBytes(file), Mode(file)), std::pair(mine, fs::perms::none));
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    const test::AskedBox &told = dialogs.boxes[0], &notSaved = dialogs.boxes[1];
    EXPECT_EQ(std::pair(told.title, notSaved.title),
              std::pair(QString("Settings not read"), QString("Settings not saved")));
    EXPECT_TRUE(told.prompt.contains(file.c_str()) && told.prompt.contains("Permission denied") &&
                notSaved.prompt.contains("cannot be read"))
        << told.prompt.toStdString();

    // Mended by the operator, the file is read again and saved with the owner's read and
    // write kept; a fresh file gets ordinary permissions.
    fs::permissions(file, fs::perms(0444));
    Settings_Startup(ctx);
    EXPECT_TRUE(ctx.settings.COMM == 4 && Settings_SaveChecked(ctx));
    EXPECT_EQ(Mode(file), fs::perms(0644));
    fs::remove(file);
    Settings_Startup(ctx);
    EXPECT_EQ(std::pair(test::ReadBytes(file), Mode(file)), std::pair(FileWith(), fs::perms(0644)));
}
