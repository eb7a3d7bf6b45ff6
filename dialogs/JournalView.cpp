#include "dialogs/JournalView.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>
#include <vector>

#include "operations/Journal.h"

namespace zavo {

namespace {

QString Native(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

struct Column {
    const char* name;    // in the file
    const char* header;  // on the screen
};

// What a reader looks at first comes first: when, what, the fields, how it
// ended; the file keeps its own order.
constexpr Column kShown[] = {
    {"started", "Started"},
    {"mode", "Mode"},
    {"ac_peak_set_mT", "Peak set\n[mT]"},
    {"ac_peak_reached_mT", "Peak reached\n[mT]"},
    {"ac_min_mT", "AC min\n[mT]"},
    {"dc_field_uT", "DC\n[uT]"},
    {"pulse_field_mT", "Pulse\n[mT]"},
    {"pulse_time", "Pulse time\n[s]"},
    {"pulses", "Pulses"},
    {"outcome", "Outcome"},
    {"duration_s", "Duration\n[s]"},
    {"axes", "Axes or position"},
    {"rate", "Rate"},
    {"course", "Course"},
    {"ramp_time_s", "Time at max\n[s]"},
    {"passes", "Passes"},
    {"first_direction", "First pulse"},
    {"coil_temp_C", "Coil\n[C]"},
    {"step", "Step"},
    {"method_codes", "MagIC method"},
    {"finished", "Finished"},
};

// A time stamp of the file in the viewer's local time, to the minute; the
// text as stored when it is not one.
QString Time_Shown(const QString& stored) {
    const QDateTime t = QDateTime::fromString(stored, Qt::ISODate);
    return t.isValid() ? t.toLocalTime().toString("dd-MM-yyyy HH:mm") : stored;
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
    QHeaderView* header = table_->horizontalHeader();
    for (int visual = 0; visual < int(std::size(kShown)); ++visual) {
        const int c = int(Journal::Columns().indexOf(kShown[visual].name));
        if (c < 0) continue;
        auto* item = new QTableWidgetItem(kShown[visual].header);
        item->setToolTip(kShown[visual].name);
        table_->setHorizontalHeaderItem(c, item);
        header->moveSection(header->visualIndex(c), visual);
    }
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

int JournalView::FirstColumnsWidth() const {
    const QHeaderView* header = table_->horizontalHeader();
    const int outcome = header->visualIndex(int(Journal::Columns().indexOf("outcome")));
    int width = table_->frameWidth() * 2 + table_->verticalScrollBar()->sizeHint().width();
    for (int visual = 0; visual <= outcome; ++visual)
        width += header->sectionSize(header->logicalIndex(visual));
    return width;
}

void JournalView::Rows_Load() {
    const std::vector<QStringList> rows = Journal::Rows_Read(file_, kRows);
    table_->setRowCount(int(rows.size()));
    const QStringList& columns = Journal::Columns();
    const int outcome = int(columns.indexOf("outcome"));
    std::vector<bool> used(size_t(table_->columnCount()), false);
    for (int r = 0; r < int(rows.size()); ++r) {
        const QStringList& row = rows[rows.size() - 1 - r];  // newest first
        for (int c = 0; c < table_->columnCount(); ++c) {
            const QString stored = c < row.size() ? row[c] : QString();
            const bool time = columns.value(c) == "started" || columns.value(c) == "finished";
            auto* item = new QTableWidgetItem(time ? Time_Shown(stored) : stored);
            if (time || c == outcome) item->setToolTip(stored);
            bool number = false;
            stored.toDouble(&number);
            if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(r, c, item);
            used[size_t(c)] = used[size_t(c)] || !stored.isEmpty();
        }
    }
    // A column no run of the list fills (the pulse columns of AC runs) is
    // left out; the file keeps it.
    for (int c = 0; c < table_->columnCount(); ++c)
        table_->setColumnHidden(c, !rows.empty() && !used[size_t(c)]);
    table_->resizeColumnsToContents();
    // A long error stays readable in its tooltip.
    const int outcomeWidth = fontMetrics().horizontalAdvance(QString(28, 'x'));
    if (table_->columnWidth(outcome) > outcomeWidth) table_->setColumnWidth(outcome, outcomeWidth);
    // Wide enough for the columns up to the outcome, as far as the screen allows.
    const int wanted = FirstColumnsWidth() + layout()->contentsMargins().left() +
                       layout()->contentsMargins().right();
    if (width() < wanted) {
        const QScreen* sc = screen();
        resize(sc ? std::min(wanted, sc->availableGeometry().width()) : wanted, height());
    }
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
