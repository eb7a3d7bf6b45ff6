#include "operations/Journal.h"

#include <QFile>

#include "core/Paths.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zavo {

namespace {

// Rows kept back while the file cannot be written (a spreadsheet holding it
// open); beyond this the oldest go.
constexpr size_t kPendingMax = 10000;

bool Disk_Sync(int fd) {
#ifdef _WIN32
    return _commit(fd) == 0;
#else
    return ::fsync(fd) == 0;
#endif
}

}  // namespace

Journal::Journal(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path Journal::File(const ProgramPaths& paths) {
    return paths.dir / "journal.csv";
}

const QStringList& Journal::Columns() {
    static const QStringList columns{"started",      "finished",       "mode",
                                     "method_codes", "ac_peak_set_mT", "ac_peak_reached_mT",
                                     "ac_min_mT",    "dc_field_uT",    "pulse_field_mT",
                                     "pulse_time",   "pulses",         "first_direction",
                                     "rate",         "course",         "ramp_time_s",
                                     "axes",         "passes",         "coil_temp_C",
                                     "step",         "outcome",        "duration_s"};
    return columns;
}

QString Journal::Field_Quote(const QString& field) {
    static const QString special = QStringLiteral(",\"\r\n");
    bool quote = false;
    for (QChar c : field) quote = quote || special.contains(c);
    if (!quote) return field;
    QString q = field;
    q.replace('"', "\"\"");
    return '"' + q + '"';
}

QByteArray Journal::Record(const QStringList& fields) {
    QStringList quoted;
    for (const QString& f : fields) quoted << Field_Quote(f);
    return quoted.join(',').toUtf8() + "\r\n";
}

std::vector<QStringList> Journal::Records_Parse(const QByteArray& bytes) {
    const QString text = QString::fromUtf8(bytes);
    std::vector<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false, any = false;
    const auto endField = [&] {
        record << field;
        field.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field += c;
                ++i;
            } else {
                quoted = false;
            }
            continue;
        }
        if (c == '"') {
            quoted = any = true;
        } else if (c == ',') {
            endField();
            any = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            if (any || !field.isEmpty()) endField(), records.push_back(record);
            record.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty()) endField(), records.push_back(record);
    return records;
}

std::vector<QStringList> Journal::Rows_Read(const std::filesystem::path& file, int count) {
    QFile f(QString::fromStdString(file.string()));
    if (!f.open(QIODevice::ReadOnly)) return {};
    std::vector<QStringList> rows = Records_Parse(f.readAll());
    if (!rows.empty() && rows.front() == Columns()) rows.erase(rows.begin());
    if (count >= 0 && int(rows.size()) > count) rows.erase(rows.begin(), rows.end() - count);
    return rows;
}

bool Journal::Append(const QStringList& row) {
    pending_.push_back(Record(row));
    if (pending_.size() > kPendingMax) pending_.erase(pending_.begin());
    return Flush();
}

bool Journal::Flush() {
    if (pending_.empty()) return true;
    QFile f(QString::fromStdString(file_.string()));
    if (!f.open(QIODevice::ReadWrite | QIODevice::Append)) return false;
    QByteArray out;
    const qint64 size = f.size();
    if (size == 0) {
        out = Record(Columns());
    } else {
        // A row torn by a crash or a full disk must not swallow the next one.
        char last = '\n';
        if (f.seek(size - 1) && f.read(&last, 1) == 1 && last != '\n') out = "\r\n";
    }
    for (const QByteArray& r : pending_) out += r;
    const bool ok = f.write(out) == out.size() && f.flush() && Disk_Sync(f.handle());
    f.close();
    if (!ok || f.error() != QFileDevice::NoError) return false;
    pending_.clear();
    return true;
}

}  // namespace zavo
