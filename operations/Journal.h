#pragma once
// The treatment journal: one CSV row per run that reached "G", appended to
// journal.csv beside the settings file. Comma-separated, quoted where needed,
// UTF-8, "." decimals whatever the locale, CRLF line ends.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <vector>

namespace zavo {

struct ProgramPaths;

class Journal {
  public:
    // sync forces a file's bytes to the disk (the system's own when empty).
    explicit Journal(std::filesystem::path file, std::function<bool(int fd)> sync = {});

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
    // when the file cannot be written; the rows are then kept for the next
    // try, in order, and nothing of them stays in the file: each row is in it
    // whole and once, or not at all.
    bool Append(const QStringList& row);
    // Writes the rows kept back; true when none is left.
    bool Flush();
    // Rows waiting for a file that could not be written.
    int Pending() const { return int(pending_.size()); }
    const std::filesystem::path& Path() const { return file_; }

    // Rows the journal could not take by the exit.
    struct Unsaved {
        int rows = 0;
        std::filesystem::path journal;
        std::filesystem::path file;  // where they are now; empty when lost
        QString Text() const;        // what the operator is told
    };
    // At the exit: tries the journal once more, then appends the rows still
    // waiting to journal-unsaved.csv beside it (or in the temporary folder
    // when that cannot be written either). No rows wait afterwards.
    Unsaved Unsaved_Save();

  private:
    bool Rows_Write(const std::filesystem::path& file) const;

    std::filesystem::path file_;
    std::function<bool(int)> sync_;
    std::vector<QByteArray> pending_;
};

}  // namespace zavo
