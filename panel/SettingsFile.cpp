#include "panel/SettingsFile.h"

#include <QFile>
#include <QTemporaryFile>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "core/Context.h"
#include "dialogs/Dialogs.h"

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zavo {

namespace fs = std::filesystem;

namespace {

enum class Kind { Int, Date, Bool };

// One line of the file. Values outside lo..hi are replaced by repl; lo is
// INT_MIN where only the upper bound matters.
struct Field {
    const char* key;
    Kind kind;
    Int16 Settings::*num = nullptr;
    bool Settings::*flag = nullptr;
    int lo = INT_MIN;
    int hi = INT_MAX;
    int repl = 0;
};

constexpr int kLines = 25;
constexpr int kValueWidth = 11;

// Panel-button fields also reject values below their lowest button, which
// only a hand-edited file can hold, so the panel always shows a choice.
const std::array<Field, kLines> kFields{{
    {"COMM     |", Kind::Int, &Settings::COMM, nullptr, 0, 16, 1},
    {"FREQDATE |", Kind::Date},
    {"ZAVMODE  |", Kind::Int, &Settings::ZAVMODE, nullptr, 1, 3, 1},
    {"DMODE    |", Kind::Int, &Settings::DMODE, nullptr, 1, 8, 7},
    {"DMGFD    |", Kind::Int, &Settings::DMGFD, nullptr, INT_MIN, 200, 0},
    {"DMGER    |", Kind::Int, &Settings::DMGER, nullptr, 0, 3, 1},
    {"DMGES    |", Kind::Int, &Settings::DMGES, nullptr, 1, 3, 2},
    {"DMGET    |", Kind::Int, &Settings::DMGET, nullptr, INT_MIN, 30, 5},
    {"REKMODE  |", Kind::Int, &Settings::REKMODE, nullptr, INT_MIN, 7, 0},
    {"REKFD    |", Kind::Int, &Settings::REKFD, nullptr, INT_MIN, 200, 0},
    {"REKFM    |", Kind::Int, &Settings::REKFM, nullptr, INT_MIN, 500, 0},
    {"REKFA    |", Kind::Int, &Settings::REKFA, nullptr, INT_MIN, 200, 0},
    {"REKER    |", Kind::Int, &Settings::REKER, nullptr, 0, 3, 1},
    {"REKES    |", Kind::Int, &Settings::REKES, nullptr, 1, 3, 2},
    {"REKET    |", Kind::Int, &Settings::REKET, nullptr, INT_MIN, 30, 5},
    {"TOVMODE  |", Kind::Int, &Settings::TOVMODE, nullptr, INT_MIN, 7, 0},
    {"TOVFP    |", Kind::Int, &Settings::TOVFP, nullptr, INT_MIN, 20, 0},
    {"TOVET    |", Kind::Int, &Settings::TOVET, nullptr, INT_MIN, 99, 5},
    {"TOVDIR   |", Kind::Int, &Settings::TOVDIR, nullptr, 1, 2, 1},
    {"TOVNUM   |", Kind::Int, &Settings::TOVNUM, nullptr, INT_MIN, 10, 1},
    {"SERVMODE |", Kind::Bool, nullptr, &Settings::SERVMODE},
    {"ZAVORIENT|", Kind::Int, &Settings::ZAVORIENT, nullptr},
    {"SIMULMODE|", Kind::Bool, nullptr, &Settings::SIMULMODE},
    {"TOUCHMODE|", Kind::Bool, nullptr, &Settings::TOUCHMODE},
    {"SOUNDMODE|", Kind::Bool, nullptr, &Settings::SOUNDMODE},
}};

// A settings file is a few hundred bytes; anything past this is not read.
constexpr std::streamsize kMaxRead = 1 << 16;

// The file's bytes (at most kMaxRead); false when it cannot be read.
bool ReadBytes(const fs::path& file, std::string& data) {
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    data.assign(size_t(kMaxRead), '\0');
    in.read(data.data(), kMaxRead);
    if (in.bad()) return false;
    data.resize(size_t(in.gcount()));
    return true;
}

// Lines ended by CR LF, LF or CR (a file edited by hand on another system
// still reads); a last line without an end counts when it holds anything.
std::vector<std::string> SplitLines(const std::string& data) {
    std::vector<std::string> lines;
    std::string cur;
    for (size_t i = 0; i < data.size() && lines.size() < size_t(kLines); ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(cur);
            cur.clear();
            if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
        } else {
            cur += c;
        }
    }
    if (!cur.empty() && lines.size() < size_t(kLines)) lines.push_back(cur);
    return lines;
}

// The numeric prefix rounded ties-to-even; false when it leaves 16 bits.
bool ReadInt16(const std::string& text, Int16& out) {
    const double r = std::nearbyint(Numeric_Prefix(text));
    if (!(r >= -32768.0 && r <= 32767.0)) return false;
    out = Int16(r);
    return true;
}

int RoundInt(double v) {
    const double r = std::nearbyint(v);
    if (!(r > double(INT_MIN) / 2 && r < double(INT_MAX) / 2)) return 0;
    return int(r);
}

QString NativeName(const fs::path& p) {
    return QFile::decodeName(p.string().c_str());
}

std::string SystemReason() {
    const int e = errno;
    return e ? std::generic_category().message(e) : "no reason given";
}

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

// Writes bytes over file without ever leaving a half-written file there.
bool WriteAtomically(const fs::path& file, const std::string& bytes, std::string* error) {
    std::error_code ec;
    fs::path target = file;
    // A link keeps pointing at the real file: replace that one.
    if (fs::is_symlink(file, ec)) {
        const fs::path real = fs::canonical(file, ec);
        if (!ec) target = real;
    }
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");

    QTemporaryFile tmp(NativeName(dir / (target.filename().string() + ".XXXXXX")));
    if (!tmp.open())
        return Fail(error, "cannot create a file in the folder " + dir.string() + " (" +
                               tmp.errorString().toStdString() + ")");
    // Written through the descriptor so that the system's own reason (disk
    // full, quota) reaches the operator.
    auto writeFailed = [&] {
        return Fail(error,
                    "cannot write to the folder " + dir.string() + " (" + SystemReason() + ")");
    };
    const int fd = tmp.handle();
    size_t done = 0;
    while (done < bytes.size()) {
#ifdef _WIN32
        const long n = _write(fd, bytes.data() + done, unsigned(bytes.size() - done));
#else
        const long n = long(::write(fd, bytes.data() + done, bytes.size() - done));
#endif
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return writeFailed();
        done += size_t(n);
    }
#ifdef _WIN32
    const bool synced = _commit(fd) == 0;
#else
    const bool synced = ::fsync(fd) == 0;
#endif
    if (!synced) return writeFailed();
    const QString targetName = NativeName(target);
    // The owner can always read and write what the program wrote: a copied
    // mode without them would make the next start lose the settings.
    if (QFile::exists(targetName))
        tmp.setPermissions(QFile::permissions(targetName) | QFile::ReadOwner |
                           QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    else
        tmp.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                           QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);
    const fs::path tmpPath = QFile::encodeName(tmp.fileName()).toStdString();
    tmp.close();
    fs::rename(tmpPath, target, ec);
    if (ec) return Fail(error, "cannot replace the file (" + ec.message() + ")");
    tmp.setAutoRemove(false);
#ifndef _WIN32
    // The rename itself reaches the disk only with its folder.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
#endif
    return true;
}

// Tells the operator about the settings file: text holds %1 for the file's
// name and %2 for the reason.
void ShowFileProblem(Ctx& ctx, const char* text, const std::string& reason, const char* title) {
    if (!ctx.dialogs) return;
    const QString prompt = QString(text).arg(NativeName(ctx.paths.SettingsFile()),
                                             QString::fromStdString(reason));
    ctx.dialogs->MsgBox_Custom(prompt, kOKOnly | kExclamation, title, 0, "OK");
}

void ShowSaveFailure(Ctx& ctx, const std::string& reason) {
    ShowFileProblem(ctx,
                    "The settings could not be saved to the file\n%1\n\nReason: %2.\n\n"
                    "The program goes on with its current settings, but they are not kept "
                    "on disk.",
                    reason, "Settings not saved");
}

void ShowReadFailure(Ctx& ctx, const std::string& reason) {
    ShowFileProblem(ctx,
                    "The settings file\n%1\ncannot be read.\n\nReason: %2.\n\n"
                    "The program runs on the default settings and leaves the file as it is: "
                    "nothing is saved over it.",
                    reason, "Settings not read");
}

}  // namespace

double Numeric_Prefix(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::string num;
    size_t digits = 0;
    auto takeDigits = [&] {
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            num += text[i++];
            ++digits;
        }
    };
    takeDigits();
    if (i < text.size() && text[i] == '.') {
        num += text[i++];
        takeDigits();
    }
    if (digits == 0) return 0;
    // An exponent counts only when at least one digit follows it.
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        size_t j = i + 1;
        std::string exp = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j] == '-';
            exp += text[j++];
        }
        if (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            while (j < text.size() && text[j] >= '0' && text[j] <= '9') exp += text[j++];
            num += exp;
        } else {
            negativeExponent = false;
        }
    }
    // from_chars ignores the locale: "." is the decimal point everywhere.
    double v = 0;
    const auto [ptr, ec] = std::from_chars(num.data(), num.data() + num.size(), v);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) v = negativeExponent ? 0.0 : HUGE_VAL;
    return negative ? -v : v;
}

std::string Field_Pad(const std::string& value, int width) {
    if (width <= 0) return {};
    std::string s = value.substr(0, size_t(width));
    s.resize(size_t(width), ' ');
    return s;
}

std::string Field_Pad(long long value, int width) {
    return Field_Pad(std::to_string(value), width);
}

std::string Date_ToText(const QDate& d) {
    auto pad = [](int v, int n) {
        std::string s = std::to_string(v < 0 ? -v : v);
        if (int(s.size()) < n) s.insert(0, size_t(n) - s.size(), '0');
        return v < 0 ? "-" + s : s;
    };
    return pad(d.day(), 2) + "-" + pad(d.month(), 2) + "-" + pad(d.year(), 4);
}

QDate Date_FromText(const std::string& text) {
    const size_t b = text.find_first_not_of(' ');
    const std::string t =
        b == std::string::npos ? std::string() : text.substr(b, text.find_last_not_of(' ') - b + 1);
    auto part = [&t](size_t pos, size_t len) {
        return pos < t.size() ? RoundInt(Numeric_Prefix(t.substr(pos, len))) : 0;
    };
    const int day = part(0, 2);
    const int month = part(3, 2);
    int year = part(6, 4);
    if (day == 0 && month == 0 && year == 0) return QDate(2000, 1, 1);
    if (year >= 0 && year < 30)
        year += 2000;
    else if (year >= 30 && year < 100)
        year += 1900;
    // Months beyond 12 run into the following years, days beyond the month's
    // end into the following months; day 0 is the previous month's last day.
    const long long months = (long long)(year)*12 + (month - 1);
    long long y = months / 12;
    long long m = months % 12;
    if (m < 0) {
        m += 12;
        --y;
    }
    if (y < 100 || y > 9999) return QDate();
    const QDate d = QDate(int(y), int(m) + 1, 1).addDays(qint64(day) - 1);
    if (!d.isValid() || d.year() < 100 || d.year() > 9999) return QDate();
    return d;
}

bool Settings_Load(const fs::path& file, Settings& s) {
    std::string data;
    return ReadBytes(file, data) && Settings_Parse(data, s);
}

bool Settings_Parse(const std::string& data, Settings& s) {
    const std::vector<std::string> lines = SplitLines(data);
    for (size_t n = 0; n < kFields.size(); ++n) {
        if (n >= lines.size()) return false;
        const Field& f = kFields[n];
        const std::string value = lines[n].substr(0, 10);
        if (f.kind == Kind::Date) {
            const QDate d = Date_FromText(value);
            if (!d.isValid()) return false;
            s.FREQDATE = d;
            continue;
        }
        Int16 v = 0;
        if (!ReadInt16(value, v)) return false;
        if (f.kind == Kind::Bool) {
            s.*f.flag = v == 1;
            continue;
        }
        if (v < f.lo || v > f.hi) v = Int16(f.repl);
        // The DC window cannot start above the AC maximum read just before.
        if (f.num == &Settings::REKFA && v > s.REKFD) v = 0;
        s.*f.num = v;
    }
    return true;
}

std::string Settings_Bytes(const Settings& s) {
    std::string bytes;
    for (const Field& f : kFields) {
        std::string value;
        switch (f.kind) {
            case Kind::Date:
                value = Date_ToText(s.FREQDATE);
                break;
            case Kind::Bool:
                value = s.*f.flag ? "1" : "0";
                break;
            case Kind::Int:
                value = std::to_string(s.*f.num);
                break;
        }
        bytes += Field_Pad(value, kValueWidth) + f.key + "\r\n";
    }
    return bytes;
}

bool Settings_Save(const fs::path& file, const Settings& s, std::string* error) {
    // A file that is there but cannot be read holds the operator's settings
    // as far as anyone knows: it is never replaced.
    std::string unused;
    std::error_code ec;
    if (fs::exists(file, ec) && !ReadBytes(file, unused))
        return Fail(error, "the file is there but cannot be read (" + SystemReason() +
                               "), so it is left as it is");
    return WriteAtomically(file, Settings_Bytes(s), error);
}

void Settings_Reset(Settings& s, InstrumentState& instr) {
    s = Settings{};
    s.FREQDATE = Date_FromText("01-01-1900");
    instr.MagMode = 2;
}

bool Settings_Default(const fs::path& file, Settings& s, InstrumentState& instr,
                      std::string* error) {
    Settings_Reset(s, instr);
    return Settings_Save(file, s, error);
}

void Settings_Startup(Ctx& ctx) {
    const fs::path file = ctx.paths.SettingsFile();
    std::error_code ec;
    if (fs::exists(file, ec)) {
        std::string data;
        if (!ReadBytes(file, data)) {
            // Defaults for this session only: the file is left for the
            // operator to mend.
            const std::string why = SystemReason();
            Settings_Reset(ctx.settings, ctx.instr);
            ShowReadFailure(ctx, why);
            return;
        }
        if (Settings_Parse(data, ctx.settings)) return;
    }
    std::string why;
    if (!Settings_Default(file, ctx.settings, ctx.instr, &why)) ShowSaveFailure(ctx, why);
}

bool Settings_SaveChecked(Ctx& ctx) {
    std::string why;
    if (Settings_Save(ctx.paths.SettingsFile(), ctx.settings, &why)) return true;
    ShowSaveFailure(ctx, why);
    return false;
}

}  // namespace zavo
