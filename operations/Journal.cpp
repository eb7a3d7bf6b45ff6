#include "operations/Journal.h"

#include <QDir>
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

Journal::Journal(std::filesystem::path file, std::function<bool(int)> sync)
    : file_(std::move(file)), sync_(sync ? std::move(sync) : Disk_Sync) {}

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
    if (!Rows_Write(file_)) return false;
    pending_.clear();
    return true;
}

bool Journal::Rows_Write(const std::filesystem::path& file) const {
    // Unbuffered: a write that fails half-way is cut back below, and Qt's
    // own buffer would refuse the cut while it still holds the rest.
    QFile f(QString::fromStdString(file.string()));
    if (!f.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) return false;
    QByteArray out;
    const qint64 size = f.size();
    if (size == 0) {
        out = Record(Columns());
    } else {
        // A row torn by a crash must not swallow the next one.
        char last = '\n';
        if (f.seek(size - 1) && f.read(&last, 1) == 1 && last != '\n') out = "\r\n";
    }
    for (const QByteArray& r : pending_) out += r;
    const qint64 written = f.write(out);
    if (written == out.size() && sync_(f.handle())) return true;
    // A full disk or a failed sync: nothing of this write stays, so that
    // the retry neither finds a torn row nor writes a row twice.
    if (f.resize(size)) {
        sync_(f.handle());
        return false;
    }
    // Not cut back: rows that are in the file whole count as written.
    return written == out.size();
}

Journal::Unsaved Journal::Unsaved_Save() {
    Unsaved u;
    u.journal = file_;
    if (Flush()) return u;
    u.rows = Pending();
    const std::filesystem::path beside = file_.parent_path() / "journal-unsaved.csv";
    const std::filesystem::path temp =
        std::filesystem::path(QDir::tempPath().toStdString()) / "zavo-journal-unsaved.csv";
    for (const auto& file : {beside, temp})
        if (Rows_Write(file)) {
            u.file = file;
            break;
        }
    pending_.clear();
    return u;
}

QString Journal::Unsaved::Text() const {
    const bool one = rows == 1;
    const QString head = (one ? QString("1 journal row") : QString("%1 journal rows").arg(rows)) +
                         " could not be written to\n" + QString::fromStdString(journal.string()) +
                         ".\n\n";
    if (file.empty())
        return head + (one ? "It could not be saved elsewhere either: it is lost."
                           : "They could not be saved elsewhere either: they are lost.");
    return head + (one ? "It is saved in\n" : "They are saved in\n") +
           QString::fromStdString(file.string()) + ".";
}

}  // namespace zavo
