#pragma once
// The treatment journal: one CSV row per run that reached "G", appended to
// journal.csv beside the settings file. Comma-separated, quoted where needed,
// UTF-8, "." decimals whatever the locale, CRLF line ends.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <vector>

namespace zavo {

struct ProgramPaths;

class Journal {
  public:
    explicit Journal(std::filesystem::path file);

    static std::filesystem::path File(const ProgramPaths& paths);
    // The column names, in file order.
    static const QStringList& Columns();
    // A field as written: quoted when it holds a comma, a quote or a line
    // break, inner quotes doubled.
    static QString Field_Quote(const QString& field);
    // One record with its CRLF.
    static QByteArray Record(const QStringList& fields);
    // Every record of a CSV text, quoted fields undone.
    static std::vector<QStringList> Records_Parse(const QByteArray& text);
    // The last `count` rows of a journal file (header left out), oldest first.
    static std::vector<QStringList> Rows_Read(const std::filesystem::path& file, int count);

    // Appends the row (and any rows an earlier failure kept back), with the
    // header first when the file is new, and forces it to the disk. False
    // when the file cannot be written; the rows are then kept for the next try.
    bool Append(const QStringList& row);
    // Writes the rows kept back; true when none is left.
    bool Flush();
    // Rows waiting for a file that could not be written.
    int Pending() const { return int(pending_.size()); }
    const std::filesystem::path& Path() const { return file_; }

  private:
    std::filesystem::path file_;
    std::vector<QByteArray> pending_;
};

}  // namespace zavo
