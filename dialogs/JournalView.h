#pragma once
// The treatment journal's last rows, newest first, read-only, with a button
// that opens the folder the file lies in.

#include <QDialog>
#include <QUrl>
#include <filesystem>
#include <functional>

class QLabel;
class QPushButton;
class QTableWidget;

namespace zavo {

class JournalView : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kRows = 500;

    JournalView(std::filesystem::path file, bool touch, QWidget* parent = nullptr);

    // Reads the file again.
    void Rows_Load();
    void cmdFolder_Click();

    QTableWidget* Table() const { return table_; }
    // The table's width from its left edge through the outcome column.
    int FirstColumnsWidth() const;
    QLabel* Note() const { return note_; }
    // Opens a folder on the desktop; tests replace it.
    std::function<bool(const QUrl&)> Folder_Open;

  private:
    std::filesystem::path file_;
    QLabel* note_;
    QTableWidget* table_;
    QPushButton* cmdFolder_;
    QPushButton* cmdClose_;
};

}  // namespace zavo
