#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "core/Context.h"
#include "panel/SettingsFile.h"
#include "support/ScriptedDialogs.h"

using namespace zavo;
namespace fs = std::filesystem;

namespace {

const char* const kDefaultLines[25] = {
    "1          COMM     |", "01-01-1900 FREQDATE |", "1          ZAVMODE  |",
    "7          DMODE    |", "0          DMGFD    |", "1          DMGER    |",
    "2          DMGES    |", "5          DMGET    |", "0          REKMODE  |",
    "0          REKFD    |", "0          REKFM    |", "0          REKFA    |",
    "1          REKER    |", "2          REKES    |", "5          REKET    |",
    "0          TOVMODE  |", "0          TOVFP    |", "5          TOVET    |",
    "1          TOVDIR   |", "1          TOVNUM   |", "0          SERVMODE |",
    "0          ZAVORIENT|", "0          SIMULMODE|", "0          TOUCHMODE|",
    "0          SOUNDMODE|"};

std::string DefaultFile() {
    std::string s;
    for (const char* l : kDefaultLines) s += std::string(l) + "\r\n";
    return s;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// The default file with some value columns replaced (line numbers from 1).
std::string FileWith(std::initializer_list<std::pair<int, std::string>> values) {
    std::string s;
    for (int n = 1; n <= 25; ++n) {
        std::string line = kDefaultLines[n - 1];
        for (const auto& [ln, v] : values)
            if (ln == n) line = Field_Pad(v, 11) + line.substr(11);
        s += line + "\r\n";
    }
    return s;
}

// File permissions bind even when the tests run as root.
struct Unprivileged {
    Unprivileged() {
        if (geteuid() != 0) return;
        setfsgid(65534);
        setfsuid(65534);
        active = true;
    }
    ~Unprivileged() {
        if (!active) return;
        setfsuid(0);
        setfsgid(0);
    }
    bool active = false;
};

struct SettingsTest : ::testing::Test {
    QTemporaryDir tmp;
    fs::path dir = tmp.path().toStdString();
    fs::path file = dir / "ZAVO.sav";
    test::ScriptedDialogs dialogs;
    Ctx ctx;

    SettingsTest() {
        ctx.paths.dir = dir;
        ctx.dialogs = &dialogs;
    }
    Settings Load(const std::string& bytes, bool expectOk = true) {
        WriteAll(file, bytes);
        Settings s;
        EXPECT_EQ(Settings_Load(file, s), expectOk);
        return s;
    }
    // A folder others can enter but not write, holding a settings file.
    fs::path ReadOnlyFolder(const std::string& content) {
        fs::permissions(dir, fs::perms(0755));
        const fs::path ro = dir / "ro";
        fs::create_directory(ro);
        WriteAll(ro / "ZAVO.sav", content);
        fs::permissions(ro / "ZAVO.sav", fs::perms(0644));
        fs::permissions(ro, fs::perms(0555));
        return ro;
    }
    ~SettingsTest() override {
        if (fs::exists(dir / "ro")) fs::permissions(dir / "ro", fs::perms(0755));
    }
};

TEST_F(SettingsTest, DefaultFileIsExactBytes) {
    Settings s;
    s.COMM = 9;
    s.SIMULMODE = true;
    InstrumentState instr;
    instr.MagMode = 3;
    ASSERT_TRUE(Settings_Default(file, s, instr));
    EXPECT_EQ(ReadAll(file), DefaultFile());
    EXPECT_EQ(instr.MagMode, 2);
    Settings expected;
    expected.FREQDATE = QDate(1900, 1, 1);
    EXPECT_EQ(s, expected);
}

TEST_F(SettingsTest, RoundTripKeepsEveryFieldAndFixedWidth) {
    Settings s;
    s.COMM = 16;
    s.FREQDATE = QDate(2024, 3, 7);
    s.ZAVMODE = 3;
    s.DMODE = 8;
    s.DMGFD = 200;
    s.DMGER = 0;
    s.DMGES = 3;
    s.DMGET = 30;
    s.REKMODE = 7;
    s.REKFD = 150;
    s.REKFM = 500;
    s.REKFA = 150;
    s.REKER = 3;
    s.REKES = 1;
    s.REKET = 0;
    s.TOVMODE = 6;
    s.TOVFP = 20;
    s.TOVET = 99;
    s.TOVDIR = 2;
    s.TOVNUM = 10;
    s.SERVMODE = true;
    s.ZAVORIENT = -32768;
    s.SIMULMODE = true;
    s.TOUCHMODE = true;
    s.SOUNDMODE = true;
    ASSERT_TRUE(Settings_Save(file, s));
    const std::string bytes = ReadAll(file);
    EXPECT_NE(bytes.find("16         COMM     |\r\n07-03-2024 FREQDATE |\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("-32768     ZAVORIENT|\r\n"), std::string::npos);
    EXPECT_EQ(bytes.size(), 25u * 23u);
    for (size_t i = 0; i < 25; ++i) EXPECT_EQ(bytes.substr(i * 23 + 21, 2), "\r\n");
    Settings back;
    back.COMM = 2;
    ASSERT_TRUE(Settings_Load(file, back));
    EXPECT_EQ(back, s);
    // A save replaces the file; no temporary file is left behind.
    s.COMM = 4;
    ASSERT_TRUE(Settings_Save(file, s));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(SettingsTest, LoadChecksReplaceOutOfRangeValues) {
    struct Case {
        int line;
        std::string text;
        std::function<int(const Settings&)> field;
        int expected;
    };
    auto COMM = [](const Settings& s) { return s.COMM; };
    auto ZAV = [](const Settings& s) { return s.ZAVMODE; };
    auto DMODE = [](const Settings& s) { return s.DMODE; };
    const std::vector<Case> cases = {
        {1, "17", COMM, 1},
        {1, "16", COMM, 16},
        {1, "0", COMM, 0},
        {1, "-1", COMM, 1},
        {3, "4", ZAV, 1},
        {3, "0", ZAV, 1},
        {3, "2", ZAV, 2},
        {4, "0", DMODE, 7},
        {4, "9", DMODE, 7},
        {4, "8", DMODE, 8},
        {4, "word", DMODE, 7},
        {4, " 2.5", DMODE, 2},  // ties to even
        {4, "3.5", DMODE, 4},
        {4, "5abc", DMODE, 5},
        {5, "201", [](const Settings& s) { return s.DMGFD; }, 0},
        {5, "-5", [](const Settings& s) { return s.DMGFD; }, -5},  // no lower bound
        {6, "-1", [](const Settings& s) { return s.DMGER; }, 1},
        {6, "0", [](const Settings& s) { return s.DMGER; }, 0},
        {7, "0", [](const Settings& s) { return s.DMGES; }, 2},
        {8, "31", [](const Settings& s) { return s.DMGET; }, 5},
        {11, "501", [](const Settings& s) { return s.REKFM; }, 0},
        {13, "4", [](const Settings& s) { return s.REKER; }, 1},
        {14, "0", [](const Settings& s) { return s.REKES; }, 2},
        {18, "100", [](const Settings& s) { return s.TOVET; }, 5},
        {19, "0", [](const Settings& s) { return s.TOVDIR; }, 1},
        {19, "3", [](const Settings& s) { return s.TOVDIR; }, 1},
        {20, "1e1", [](const Settings& s) { return s.TOVNUM; }, 10},
        {22, "-32768", [](const Settings& s) { return s.ZAVORIENT; }, -32768},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("line " + std::to_string(c.line) + " '" + c.text + "'");
        EXPECT_EQ(c.field(Load(FileWith({{c.line, c.text}}))), c.expected);
    }
    EXPECT_EQ(Load(FileWith({{2, "31-02-2024"}})).FREQDATE, QDate(2024, 3, 2));
    EXPECT_EQ(Load(FileWith({{2, ""}})).FREQDATE, QDate(2000, 1, 1));
}

TEST_F(SettingsTest, AcMinIsCheckedAgainstAcMaxOfTheSameFile) {
    auto fa = [&](const std::string& fd, const std::string& faText) {
        return Load(FileWith({{10, fd}, {12, faText}})).REKFA;
    };
    EXPECT_EQ(fa("100", "150"), 0);
    EXPECT_EQ(fa("100", "100"), 100);
    EXPECT_EQ(fa("200", "201"), 0);
    EXPECT_EQ(fa("300", "50"), 0);  // AC max itself replaced by 0 first
}

TEST_F(SettingsTest, BooleansAreTrueOnlyForOne) {
    for (int line : {21, 23, 24, 25}) {
        for (const auto& [text, expected] :
             std::vector<std::pair<std::string, bool>>{{"1", true},
                                                       {"1.0", true},
                                                       {"-1", false},
                                                       {"2", false},
                                                       {"yes", false},
                                                       {"0.5", false}}) {
            SCOPED_TRACE(std::to_string(line) + " " + text);
            const Settings s = Load(FileWith({{line, text}}));
            const bool v = line == 21   ? s.SERVMODE
                           : line == 23 ? s.SIMULMODE
                           : line == 24 ? s.TOUCHMODE
                                        : s.SOUNDMODE;
            EXPECT_EQ(v, expected);
        }
    }
}

TEST_F(SettingsTest, DamagedFilesDoNotLoad) {
    // Short file: what was read stays, the rest keeps its old value.
    std::string shortFile = FileWith({{1, "5"}});
    shortFile.resize(shortFile.size() - 23);
    Settings s;
    s.SOUNDMODE = true;
    WriteAll(file, shortFile);
    EXPECT_FALSE(Settings_Load(file, s));
    EXPECT_EQ(s.COMM, 5);
    EXPECT_TRUE(s.SOUNDMODE);

    // Values outside 16 bits anywhere, the first 10 characters counting.
    for (const auto& [line, text] : std::vector<std::pair<int, std::string>>{{5, "32768"},
                                                                             {22, "-32769"},
                                                                             {21, "99999"},
                                                                             {1, "1e9"},
                                                                             {3, "12345678901"},
                                                                             {2, "01-13-9999"}}) {
        SCOPED_TRACE(text);
        Load(FileWith({{line, text}}), false);
    }
    Load(FileWith({{22, "32767.4"}}));
    EXPECT_EQ(Load(FileWith({{22, "-32768.5"}})).ZAVORIENT, -32768);

    EXPECT_FALSE(Settings_Load(dir / "missing.sav", s));
    fs::create_directory(dir / "folder.sav");
    EXPECT_FALSE(Settings_Load(dir / "folder.sav", s));
    Load("", false);
}

TEST_F(SettingsTest, LineEndsAndExtraLinesAreTolerated) {
    std::string lf = FileWith({{1, "3"}});
    std::erase(lf, '\r');
    EXPECT_EQ(Load(lf).COMM, 3);
    const std::string longer = FileWith({{25, "1"}}) + "garbage\r\nmore\r\n";
    EXPECT_TRUE(Load(longer).SOUNDMODE);
    std::string noLastEnd = FileWith({{25, "1"}});
    noLastEnd.resize(noLastEnd.size() - 2);
    EXPECT_TRUE(Load(noLastEnd).SOUNDMODE);
}

TEST_F(SettingsTest, UnreadableFileDoesNotLoad) {
    WriteAll(file, DefaultFile());
    fs::permissions(dir, fs::perms(0755));
    fs::permissions(file, fs::perms::none);
    Settings s;
    Unprivileged as;
    EXPECT_FALSE(Settings_Load(file, s));
}

TEST_F(SettingsTest, StartupWritesDefaultsForMissingOrDamagedFile) {
    Settings_Startup(ctx);
    EXPECT_EQ(ReadAll(file), DefaultFile());

    WriteAll(file, "5          COMM     |\r\n");
    ctx.settings.SIMULMODE = true;
    ctx.instr.MagMode = 3;
    Settings_Startup(ctx);
    EXPECT_EQ(ctx.settings.COMM, 1);
    EXPECT_FALSE(ctx.settings.SIMULMODE);
    EXPECT_EQ(ctx.instr.MagMode, 2);
    EXPECT_EQ(ReadAll(file), DefaultFile());

    const std::string good = FileWith({{1, "4"}, {23, "1"}});
    WriteAll(file, good);
    Settings_Startup(ctx);
    EXPECT_EQ(ctx.settings.COMM, 4);
    EXPECT_TRUE(ctx.settings.SIMULMODE);
    EXPECT_EQ(ReadAll(file), good);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(SettingsTest, FailedSaveIsReportedAndChangesNothing) {
    const std::string old = FileWith({{1, "3"}});
    ctx.paths.dir = ReadOnlyFolder(old);
    ctx.settings.COMM = 7;
    ctx.settings.FREQDATE = QDate(2025, 1, 2);
    const Settings before = ctx.settings;
    {
        Unprivileged as;
        std::string why;
        EXPECT_FALSE(Settings_Save(ctx.paths.SettingsFile(), ctx.settings, &why));
        EXPECT_FALSE(why.empty());
        EXPECT_FALSE(Settings_SaveChecked(ctx));
    }
    EXPECT_EQ(ctx.settings, before);
    EXPECT_EQ(ReadAll(ctx.paths.SettingsFile()), old);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    const test::AskedBox& box = dialogs.boxes[0];
    EXPECT_EQ(box.title, "Settings not saved");
    EXPECT_EQ(box.style, 48);
    EXPECT_EQ(box.captions, QStringList{"OK"});
    EXPECT_TRUE(box.prompt.contains(QString::fromStdString(ctx.paths.SettingsFile().string())));
}

TEST_F(SettingsTest, StartupInReadOnlyFolderGoesOnWithDefaults) {
    ctx.paths.dir = ReadOnlyFolder("damaged");
    ctx.settings.COMM = 9;
    {
        Unprivileged as;
        Settings_Startup(ctx);
    }
    EXPECT_EQ(ctx.settings.COMM, 1);
    EXPECT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(ReadAll(ctx.paths.SettingsFile()), "damaged");
}

TEST_F(SettingsTest, WriteFailingMidwayLeavesOldFileIntact) {
    const std::string old = FileWith({{1, "3"}});
    WriteAll(file, old);
    Settings s;
    s.COMM = 12;
    // A full disk: writes past 100 bytes fail.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 100;
    setrlimit(RLIMIT_FSIZE, &small);
    std::string why;
    const bool ok = Settings_Save(file, s, &why);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(ReadAll(file), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(SettingsTest, SaveThroughLinkReplacesTheLinkedFile) {
    const fs::path real = dir / "real.sav";
    WriteAll(real, DefaultFile());
    fs::permissions(real, fs::perms(0640));
    fs::create_symlink(real, file);
    Settings s;
    s.COMM = 2;
    ASSERT_TRUE(Settings_Save(file, s));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(ReadAll(real).substr(0, 1), "2");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms(0640));
}

TEST(SettingsDates, TextRules) {
    EXPECT_EQ(Date_FromText("00-00-0000"), QDate(2000, 1, 1));
    EXPECT_EQ(Date_FromText("          "), QDate(2000, 1, 1));
    EXPECT_EQ(Date_FromText(""), QDate(2000, 1, 1));
    EXPECT_EQ(Date_FromText("31-02-2024"), QDate(2024, 3, 2));
    EXPECT_EQ(Date_FromText("31-02-2023"), QDate(2023, 3, 3));
    EXPECT_EQ(Date_FromText("15-13-2023"), QDate(2024, 1, 15));
    EXPECT_EQ(Date_FromText("00-03-2024"), QDate(2024, 2, 29));
    EXPECT_EQ(Date_FromText("07-00-2024"), QDate(2023, 12, 7));
    EXPECT_EQ(Date_FromText("00-00-2024"), QDate(2023, 11, 30));
    EXPECT_EQ(Date_FromText(" 07-03-2024 "), QDate(2024, 3, 7));
    EXPECT_EQ(Date_FromText("07/03/2024"), QDate(2024, 3, 7));
    EXPECT_EQ(Date_FromText("15-06-29"), QDate(2029, 6, 15));
    EXPECT_EQ(Date_FromText("15-06-30"), QDate(1930, 6, 15));
    EXPECT_EQ(Date_FromText("15-06-0099"), QDate(1999, 6, 15));
    EXPECT_EQ(Date_FromText("15-06-0100"), QDate(100, 6, 15));
    EXPECT_FALSE(Date_FromText("01-01--5").isValid());
    EXPECT_EQ(Date_ToText(QDate(2024, 3, 7)), "07-03-2024");
    EXPECT_EQ(Date_ToText(QDate(100, 12, 31)), "31-12-0100");
}

TEST(SettingsText, NumericPrefixAndPadding) {
    bool found = true;
    EXPECT_EQ(Numeric_Prefix("  -12.5xyz"), -12.5);
    EXPECT_EQ(Numeric_Prefix("abc", &found), 0);
    EXPECT_FALSE(found);
    EXPECT_EQ(Numeric_Prefix("-", &found), 0);
    EXPECT_FALSE(found);
    EXPECT_EQ(Numeric_Prefix("1e3"), 1000);
    EXPECT_EQ(Numeric_Prefix("1e"), 1);
    EXPECT_EQ(Numeric_Prefix("1e-x"), 1);
    EXPECT_EQ(Numeric_Prefix("2D2"), 200);
    EXPECT_EQ(Numeric_Prefix(".5"), 0.5);
    EXPECT_EQ(Numeric_Prefix("+7 8"), 7);
    EXPECT_EQ(Numeric_Prefix("1e999"), HUGE_VAL);
    EXPECT_EQ(Numeric_Prefix("1e-999"), 0);
    EXPECT_EQ(Field_Pad("abc", 5), "abc  ");
    EXPECT_EQ(Field_Pad("abcdefghijkl", 11), "abcdefghijk");
    EXPECT_EQ(Field_Pad(-12, 6), "-12   ");
    // The decimal point is "." whatever the process locale says.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        EXPECT_EQ(Numeric_Prefix("2.5"), 2.5);
        std::setlocale(LC_NUMERIC, "C");
    }
}

}  // namespace
