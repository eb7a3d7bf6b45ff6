#include "dialogs/JournalView.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "operations/Journal.h"

namespace zavo {

namespace {

QString Native(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

}  // namespace

JournalView::JournalView(std::filesystem::path file, bool touch, QWidget* parent)
    : QDialog(parent),
      Folder_Open([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      file_(std::move(file)),
      note_(new QLabel),
      table_(new QTableWidget(0, int(Journal::Columns().size()))),
      cmdFolder_(new QPushButton("&Open folder")),
      cmdClose_(new QPushButton("&Close")) {
    setObjectName("frmJournal");
    setWindowTitle("Journal");
    table_->setObjectName("grdJournal");
    table_->setHorizontalHeaderLabels(Journal::Columns());
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setAlternatingRowColors(true);
    table_->verticalHeader()->hide();
    cmdFolder_->setObjectName("cmdFolder");
    cmdClose_->setObjectName("cmdClose");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(note_, 1);
    buttons->addWidget(cmdFolder_);
    buttons->addWidget(cmdClose_);
    auto* page = new QVBoxLayout(this);
    page->addWidget(table_, 1);
    page->addLayout(buttons);
    connect(cmdFolder_, &QPushButton::clicked, this, [this] { cmdFolder_Click(); });
    connect(cmdClose_, &QPushButton::clicked, this, &QDialog::close);

    if (touch) {
        QFont f = font();
        f.setPointSize(13);
        setFont(f);
        for (QPushButton* b : {cmdFolder_, cmdClose_}) b->setMinimumSize(180, 60);
        table_->verticalHeader()->setDefaultSectionSize(40);
    }
    resize(parent ? parent->size() * 0.9 : QSize(1000, 500));
}

void JournalView::Rows_Load() {
    const std::vector<QStringList> rows = Journal::Rows_Read(file_, kRows);
    table_->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const QStringList& row = rows[rows.size() - 1 - r];  // newest first
        for (int c = 0; c < table_->columnCount(); ++c)
            table_->setItem(r, c, new QTableWidgetItem(c < row.size() ? row[c] : QString()));
    }
    table_->resizeColumnsToContents();
    const QString where = Native(file_);
    if (rows.empty())
        note_->setText("No run has been recorded in " + where + " yet.");
    else if (rows.size() == 1)
        note_->setText("The one run of " + where + ".");
    else
        note_->setText(
            QString("The last %1 runs of %2, newest first.").arg(rows.size()).arg(where));
}

void JournalView::cmdFolder_Click() {
    const QString dir = Native(file_.parent_path());
    if (!Folder_Open(QUrl::fromLocalFile(dir)))
        note_->setText("The folder " + dir + " could not be opened.");
}

}  // namespace zavo
