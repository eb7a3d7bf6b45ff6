#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
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
    // Every field away from its default, at the edges of what it accepts.
    const std::string full =
        FileWith({{1, "16"},   {2, "07-03-2024"}, {3, "3"},   {4, "8"},  {5, "200"},
                  {6, "0"},    {7, "3"},          {8, "30"},  {9, "7"},  {10, "150"},
                  {11, "500"}, {12, "150"},       {13, "3"},  {14, "1"}, {15, "0"},
                  {16, "6"},   {17, "20"},        {18, "99"}, {19, "2"}, {20, "10"},
                  {21, "1"},   {22, "-32768"},    {23, "1"},  {24, "1"}, {25, "1"}});
    const Settings s = Load(full);
    EXPECT_EQ(s.FREQDATE, QDate(2024, 3, 7));
    EXPECT_EQ(s.ZAVORIENT, -32768);
    EXPECT_TRUE(s.SERVMODE && s.SIMULMODE && s.TOUCHMODE && s.SOUNDMODE);
    ASSERT_TRUE(Settings_Save(file, s));
    EXPECT_EQ(ReadAll(file), full);
    Settings back;
    ASSERT_TRUE(Settings_Load(file, back));
    EXPECT_EQ(back, s);
    // A save replaces the file; no temporary file is left behind.
    ASSERT_TRUE(Settings_Save(file, Settings{}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(SettingsTest, LoadChecksReplaceOutOfRangeValues) {
    struct Check {
        int line;
        Int16 Settings::*field;
        std::vector<std::pair<std::string, int>> readAs;
    };
    // " 2.5" and "3.5": ties to even. DMGFD has no lower bound to check.
    const std::vector<Check> checks = {
        {1, &Settings::COMM, {{"17", 1}, {"16", 16}, {"0", 0}, {"-1", 1}}},
        {3, &Settings::ZAVMODE, {{"4", 1}, {"0", 1}, {"2", 2}}},
        {4,
         &Settings::DMODE,
         {{"0", 7}, {"9", 7}, {"8", 8}, {"word", 7}, {" 2.5", 2}, {"3.5", 4}, {"5abc", 5}}},
        {5, &Settings::DMGFD, {{"201", 0}, {"-5", -5}}},
        {6, &Settings::DMGER, {{"-1", 1}, {"0", 0}}},
        {7, &Settings::DMGES, {{"0", 2}}},
        {8, &Settings::DMGET, {{"31", 5}}},
        {11, &Settings::REKFM, {{"501", 0}}},
        {13, &Settings::REKER, {{"4", 1}}},
        {14, &Settings::REKES, {{"0", 2}}},
        {18, &Settings::TOVET, {{"100", 5}}},
        {19, &Settings::TOVDIR, {{"0", 1}, {"3", 1}}},
        {20, &Settings::TOVNUM, {{"1e1", 10}}},
        {22, &Settings::ZAVORIENT, {{"-32768", -32768}}},
    };
    for (const Check& c : checks)
        for (const auto& [text, expected] : c.readAs) {
            SCOPED_TRACE("line " + std::to_string(c.line) + " '" + text + "'");
            EXPECT_EQ(Load(FileWith({{c.line, text}})).*c.field, expected);
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
    const std::pair<int, bool Settings::*> flags[] = {{21, &Settings::SERVMODE},
                                                      {23, &Settings::SIMULMODE},
                                                      {24, &Settings::TOUCHMODE},
                                                      {25, &Settings::SOUNDMODE}};
    for (const auto& [line, flag] : flags)
        for (const char* text : {"1", "1.0", "-1", "2", "yes", "0.5"}) {
            SCOPED_TRACE(std::to_string(line) + " " + text);
            EXPECT_EQ(Load(FileWith({{line, text}})).*flag, Numeric_Prefix(text) == 1);
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
    const std::pair<int, const char*> tooLarge[] = {{5, "32768"},       {22, "-32769"},
                                                    {21, "99999"},      {1, "1e9"},
                                                    {3, "12345678901"}, {2, "01-13-9999"}};
    for (const auto& [line, text] : tooLarge) {
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
