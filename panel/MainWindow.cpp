#include "panel/MainWindow.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "Version.h"
#include "core/Clock.h"
#include "core/Context.h"
#include "dialogs/Dialogs.h"
#include "dialogs/JournalView.h"
#include "link/CommLog.h"
#include "link/StatusLine.h"
#include "maglink/MagLink.h"
#include "operations/DemagHold.h"
#include "operations/InstrumentInit.h"
#include "operations/Journal.h"
#include "operations/RunTrace.h"
#include "panel/Controls.h"
#include "panel/FieldPlot.h"
#include "panel/Limits.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "panel/SettingsFile.h"

namespace zavo {

namespace fs = std::filesystem;

namespace {

constexpr const char* kServicePassword = "Tolku48e";
constexpr int kLogDays = 10;

QGroupBox* Titled(const QString& caption) {
    return new QGroupBox(caption);
}

void SetPointSize(QWidget* w, int pt, bool bold = false) {
    QFont f = w->font();
    f.setPointSize(pt);
    f.setBold(bold);
    w->setFont(f);
}

}  // namespace

MainWindow::MainWindow(Ctx& ctx) : ctx_(ctx), body_(new QWidget(this)) {
    setCentralWidget(body_);
    setObjectName("frmZAV");
}

int MainWindow::Tw(int twips) const {
    return qRound(twips * logicalDpiX() / 1440.0 * scale_);
}

int MainWindow::Pt(int points) const {
    return qRound(points * scale_);
}

double MainWindow::Tablet_Scale(QSize area) {
    // The tablet layout at scale 1 fits 1280 x 720 pixels: a 1280 x 800 screen
    // less a task bar and the maximized window's title bar.
    constexpr double kWidth = 1280, kHeight = 800, kBars = 80;
    const double s = std::min(area.width() / kWidth, (area.height() - kBars) / (kHeight - kBars));
    return std::clamp(s, 1.0, 2.5);
}

// ---------------------------------------------------------------- building

void MainWindow::ParamRow(QGridLayout* grid, int row, QLabel* caption, QLineEdit* box,
                          QLabel* black) {
    // Room for the black frame between the caption and the box.
    grid->setHorizontalSpacing(Tw(300));
    grid->addWidget(caption, row, 0, Qt::AlignVCenter | Qt::AlignLeft);
    grid->addWidget(box, row, 1, Qt::AlignVCenter | Qt::AlignLeft);
    box->setAlignment(Qt::AlignRight);
    // The black label frames the box while the keypad edits it; it lies
    // behind the box and follows it.
    black->setParent(box->parentWidget());
    black->hide();
    blackFrames_[box] = black;
    box->installEventFilter(this);
}

void MainWindow::BlackFrame_Place(QLineEdit* box) {
    QLabel* black = blackFrames_.at(box);
    const int dx = touch_ ? Tw(975 - 735) / 2 : Tw(855 - 615) / 2;
    const int dy = touch_ ? Tw(540 - 450) / 2 : Tw(495 - 285) / 2;
    if (black->parentWidget() != box->parentWidget()) black->setParent(box->parentWidget());
    black->setGeometry(box->geometry().adjusted(-dx, -dy, dx, dy));
    black->stackUnder(box);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize ||
        event->type() == QEvent::ParentChange) {
        auto* box = qobject_cast<QLineEdit*>(watched);
        if (box && blackFrames_.count(box)) BlackFrame_Place(box);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (ctx_.hold && ctx_.hold->Form_QueryUnload())
        event->ignore();
    else
        event->accept();
}

QWidget* MainWindow::BuildADM() {
    Controls& ui = *ctx_.ui;
    auto* fields = new QGridLayout(ui.fraFields);
    ParamRow(fields, 0, ui.lblFieldsCap[1], ui.txtACMax, ui.lblACMaxBlack);
    ParamRow(fields, 1, ui.lblFieldsCap[3], ui.txtACMin, ui.lblACMinBlack);
    ParamRow(fields, 2, ui.lblFieldsCap[2], ui.txtDCField, ui.lblDCFieldBlack);
    fields->setRowStretch(3, 1);
    fields->setColumnStretch(2, 1);

    auto* ramp = new QGridLayout(ui.fraRampTime);
    ParamRow(ramp, 0, ui.lblRampTime, ui.txtRampTime, ui.lblRampTimeBlack);
    ramp->setRowStretch(1, 1);
    ramp->setColumnStretch(2, 1);

    auto* rate = new QVBoxLayout(ui.fraERate);
    for (auto* o : ui.optERate) rate->addWidget(o);
    rate->addStretch();
    auto* rateT = new QHBoxLayout(ui.fraERateT);
    for (auto* o : ui.optERateT) rateT->addWidget(o);

    auto* shape = new QGridLayout(ui.fraEShape);
    for (int i = 1; i <= 3; ++i) {
        shape->addWidget(ui.optEShape[i], i - 1, 0);
        shape->addWidget(ui.picEShape[i], i - 1, 1);
        ui.picEShape[i]->setAlignment(Qt::AlignCenter);
        ui.picEShape[i]->setFrameShape(QFrame::StyledPanel);
    }
    shape->setColumnStretch(2, 1);
    auto* shapeT = new QHBoxLayout(ui.fraEShapeT);
    for (int i = 1; i <= 3; ++i) shapeT->addWidget(ui.optEShapeT[i]);
    // The picture button of the course frame has no function of its own.
    ui.cmdProperties->hide();

    admGrid_ = new QGridLayout(ui.fraADM);
    admGrid_->setColumnStretch(0, 1);
    admGrid_->setColumnStretch(1, 1);
    ADM_Place(false);
    return ui.fraADM;
}

void MainWindow::ADM_Place(bool touch) {
    Controls& ui = *ctx_.ui;
    QGridLayout* grid = admGrid_;
    for (QWidget* w :
         {ui.fraFields, ui.fraRampTime, ui.fraERate, ui.fraEShape, ui.fraERateT, ui.fraEShapeT})
        grid->removeWidget(w);
    // The tablet twins take the place of the desktop groups (hidden there);
    // the tablet's rate goes beside the fields to leave height to the plot.
    grid->addWidget(ui.fraFields, 0, 0, touch ? 2 : 1, 1);
    grid->addWidget(ui.fraRampTime, 0, 1);
    grid->addWidget(touch ? ui.fraERateT : ui.fraERate, 1, touch ? 1 : 0);
    grid->addWidget(ui.fraEShape, touch ? 3 : 1, 1);
    grid->addWidget(ui.fraEShapeT, 2, 0, 1, 2);
    grid->addWidget(touch ? ui.fraERate : ui.fraERateT, 3, 0);
}

QWidget* MainWindow::BuildTOV() {
    Controls& ui = *ctx_.ui;
    auto* field = new QGridLayout(ui.fraTOVField);
    ParamRow(field, 0, ui.lblTOVField, ui.txtTOVField, ui.lblTOVFieldBlack);
    field->setColumnStretch(2, 1);
    auto* time = new QGridLayout(ui.fraTOVTime);
    ParamRow(time, 0, ui.lblTOVTime, ui.txtTOVTime, ui.lblTOVTimeBlack);
    time->setColumnStretch(2, 1);

    auto* pulses = new QHBoxLayout(ui.fraTOVPulses);
    pulses->addWidget(ui.lblTOVPulsesCap);
    pulses->addStretch();
    pulses->addWidget(ui.cmdTOVMinus);
    pulses->addWidget(ui.lblTOVPulses);
    pulses->addWidget(ui.vslTOVPulses);
    pulses->addWidget(ui.cmdTOVPlus);
    ui.lblTOVPulses->setAlignment(Qt::AlignCenter);
    ui.lblTOVPulses->setFrameShape(QFrame::StyledPanel);
    ui.lblTOVPulses->setAutoFillBackground(true);

    auto* dir = new QHBoxLayout(ui.fraTOVDir);
    dir->addWidget(ui.optTOVDir[1]);
    dir->addWidget(ui.optTOVDir[2]);
    dir->addStretch();
    auto* dirT = new QHBoxLayout(ui.fraTOVDirT);
    dirT->addWidget(ui.optTOVDirT[1]);
    dirT->addWidget(ui.optTOVDirT[2]);

    auto* grid = new QGridLayout(ui.fraTOV);
    grid->addWidget(ui.fraTOVField, 0, 0);
    grid->addWidget(ui.fraTOVTime, 0, 1);
    grid->addWidget(ui.fraTOVPulses, 1, 0, 1, 2);
    grid->addWidget(ui.fraTOVDir, 2, 0, 1, 2);
    grid->addWidget(ui.fraTOVDirT, 3, 0, 1, 2);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    return ui.fraTOV;
}

QWidget* MainWindow::BuildDMode() {
    Controls& ui = *ctx_.ui;
    // Opposite axes side by side, the tumbler's own modes around them.
    auto* desk = new QGridLayout;
    desk->addWidget(ui.optDMode[0], 0, 0);
    desk->addWidget(ui.optDMode[7], 0, 1);
    for (int i = 1; i <= 3; ++i) {
        desk->addWidget(ui.optDMode[i], i, 0);
        desk->addWidget(ui.optDMode[i + 3], i, 1);
    }
    desk->addWidget(ui.optDMode[8], 4, 0, 1, 2);
    desk->setRowStretch(5, 1);

    auto* tablet = new QGridLayout(ui.fraDModeT);
    for (int i = 1; i <= 6; ++i) tablet->addWidget(ui.optDModeT[i], (i - 1) / 3, (i - 1) % 3);
    tablet->addWidget(ui.optDModeT[0], 2, 0);
    tablet->addWidget(ui.optDModeT[7], 2, 1, 1, 2);
    tablet->addWidget(ui.optDModeT[8], 3, 0, 1, 3);
    tablet->setRowStretch(4, 1);

    auto* row = new QHBoxLayout(ui.fraDMode);
    row->addLayout(desk);
    row->addWidget(ui.fraDModeT, 1);
    return ui.fraDMode;
}

QWidget* MainWindow::BuildMMode() {
    Controls& ui = *ctx_.ui;
    auto* grid = new QGridLayout;
    // Single axes in the first column, the position sets in the second.
    for (int i = 0; i <= 12; ++i) {
        if (i <= 6)
            grid->addWidget(ui.optMMode[i], i, 0);
        else
            grid->addWidget(ui.optMMode[i], i - 6, 1);
    }
    grid->setRowStretch(7, 1);
    // Tablet: the axes in two columns, the position sets in two more.
    auto* tablet = new QGridLayout(ui.fraMModeT);
    tablet->addWidget(ui.optMModeT[0], 0, 0, 1, 2);
    for (int i = 1; i <= 3; ++i) {
        tablet->addWidget(ui.optMModeT[i], i, 0);
        tablet->addWidget(ui.optMModeT[i + 3], i, 1);
        tablet->addWidget(ui.optMModeT[i + 6], i, 2);
        tablet->addWidget(ui.optMModeT[i + 9], i, 3);
    }
    tablet->setRowStretch(4, 1);

    ui.lblMMode->setAlignment(Qt::AlignCenter);
    ui.lblMMode->setFrameShape(QFrame::StyledPanel);
    auto* sets = new QHBoxLayout;
    sets->addLayout(grid);
    sets->addWidget(ui.fraMModeT, 1);
    auto* step = new QHBoxLayout;
    step->addWidget(ui.cmdPrevPos);
    step->addWidget(ui.lblMMode, 1);
    step->addWidget(ui.cmdNextPos);
    auto* autoNext = new QHBoxLayout;
    autoNext->addWidget(ui.chkAutoNext);
    autoNext->addWidget(ui.chkAutoNextT);
    autoNext->addStretch();

    auto* column = new QVBoxLayout(ui.fraMMode);
    column->addLayout(sets);
    column->addLayout(step);
    column->addLayout(autoNext);
    return ui.fraMMode;
}

QWidget* MainWindow::BuildFieldMeters() {
    Controls& ui = *ctx_.ui;
    auto* grid = new QGridLayout(ui.fraFieldMeters);
    for (int col = 0; col < 2; ++col) {
        auto& meter = col == 0 ? ui.lblACField : ui.lblDCField;
        meter[1]->setAlignment(Qt::AlignCenter);
        meter[0]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        meter[0]->setFrameShape(QFrame::Panel);
        meter[0]->setFrameShadow(QFrame::Sunken);
        meter[0]->setAutoFillBackground(true);
        QPalette p = meter[0]->palette();
        p.setColor(QPalette::Window, Qt::white);
        meter[0]->setPalette(p);
        grid->addWidget(meter[1], 0, col);
        grid->addWidget(meter[0], 1, col);
    }
    return ui.fraFieldMeters;
}

QWidget* MainWindow::BuildService() {
    Controls& ui = *ctx_.ui;
    auto* port = new QHBoxLayout(ui.fraCommPort);
    port->addWidget(ui.txtCommPort);
    port->addWidget(ui.cmdCommPort);
    port->addStretch();

    auto* stages = new QHBoxLayout;
    const std::pair<const char*, std::array<QPushButton*, 2>*> pairs[] = {
        {"SD", &ui.cmdSD}, {"SM", &ui.cmdSM}, {"SH", &ui.cmdH}, {"Service", &ui.cmdService}};
    for (const auto& [caption, buttons] : pairs) {
        QGroupBox* f = Titled(caption);
        auto* l = new QHBoxLayout(f);
        for (QPushButton* b : *buttons) {
            b->setAutoFillBackground(true);
            l->addWidget(b);
        }
        stages->addWidget(f);
    }

    auto* controls = new QHBoxLayout;
    for (QPushButton* b : ui.cmdControl) controls->addWidget(b);
    ui.cmdControl[0]->setAutoFillBackground(true);

    auto* tumbler = new QHBoxLayout(ui.fraTumbler);
    for (QPushButton* b : ui.cmdTumbler) tumbler->addWidget(b);
    tumbler->addWidget(new QLabel("Position"));
    tumbler->addWidget(ui.txtTumbler);
    tumbler->addStretch();
    ui.txtTumbler->setMaxLength(4);

    auto* extras = new QHBoxLayout;
    extras->addWidget(ui.cmdARMSet);
    extras->addWidget(ui.cmdTestTimes);
    extras->addWidget(ui.cmdSaveClear);
    extras->addStretch();

    auto* right = new QVBoxLayout;
    right->addWidget(ui.fraCommPort);
    right->addLayout(stages);
    right->addLayout(controls);
    right->addWidget(ui.fraTumbler);
    right->addLayout(extras);
    right->addStretch();

    auto* row = new QHBoxLayout(ui.fraSERVMODE);
    row->addWidget(ui.txtTerm, 3);
    row->addLayout(right, 2);
    return ui.fraSERVMODE;
}

QWidget* MainWindow::BuildStatusLine() {
    Controls& ui = *ctx_.ui;
    auto* line = new QWidget;
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(ui.picStat[0]);
    row->addWidget(ui.picStat[1], 1);
    row->addWidget(ui.picFocus);
    ui.picStat[2]->hide();
    statusRow_ = row;
    return line;
}

void MainWindow::Build() {
    Controls& ui = *ctx_.ui;
    setWindowTitle(Title());

    // The groups that get highlighted show their colour.
    for (auto* frame :
         {ui.fraZAVMode, ui.fraERateT, ui.fraEShapeT, ui.fraTOVDirT, ui.fraDModeT, ui.fraMModeT})
        for (auto* o : frame->findChildren<OptionButton*>()) o->setAutoFillBackground(true);
    ui.chkTumblerT->setAutoFillBackground(true);
    ui.chkAutoNextT->setAutoFillBackground(true);

    auto* modes = new QHBoxLayout(ui.fraZAVMode);
    for (int i = 1; i <= 3; ++i) modes->addWidget(ui.optZAVMode[i], 1);

    auto* tumblerRow = new QHBoxLayout;
    tumblerRow->addWidget(ui.chkTumbler);
    tumblerRow->addWidget(ui.chkTumblerT);
    tumblerRow->addStretch();
    tumblerRow->addWidget(ui.cmdInitTumbler);

    auto* right = new QVBoxLayout;
    right->addWidget(BuildFieldMeters());
    right->addLayout(tumblerRow);
    right->addWidget(BuildDMode());
    right->addWidget(BuildMMode());
    right->addStretch();

    auto* cmd = new QHBoxLayout(ui.fraCmd);
    cmdRow_ = cmd;
    cmd->addWidget(ui.cmdInit);
    cmd->addWidget(ui.cmdStart);
    cmd->addWidget(ui.cmdStop);
    // The hold's count under "Auto switch": the row keeps its width.
    auto* hold = new QVBoxLayout;
    hold->setSpacing(0);
    hold->addWidget(ui.chkAutoSwitch);
    hold->addWidget(ui.lblSD);
    cmd->addLayout(hold);
    cmd->addStretch();

    auto* left = new QVBoxLayout;
    left->addWidget(BuildADM());
    left->addWidget(BuildTOV());
    plotBand_ = new QVBoxLayout;
    left->addLayout(plotBand_, 1);
    left->addStretch();
    left->addWidget(ui.fraCmd);

    auto* panels = new QHBoxLayout;
    panels->addLayout(left, 3);
    panels->addLayout(right, 2);

    auto* page = new QVBoxLayout(body_);
    page->addWidget(ui.fraZAVMode);
    page->addLayout(panels, 1);
    plotPanel_ = new QVBoxLayout;
    page->addLayout(plotPanel_);
    page->addWidget(BuildService());
    page->addWidget(BuildStatusLine());

    ui.fraSERVMODE->hide();
    ui.cmdStop->setEnabled(false);

    connect(ui.timLEDBlink, &QTimer::timeout, this, [this] { timLEDBlink_Timer(); });
    connect(ui.cmdInit, &QPushButton::clicked, this, [this] { cmdInit_Click(); });

    fraPlot_ = Titled("Field course");
    fraPlot_->setObjectName("fraPlot");
    auto* plot = new QVBoxLayout(fraPlot_);
    plot->setContentsMargins(2, 2, 2, 2);
    if (FieldPlot* field = ctx_.trace ? ctx_.trace->Plot() : nullptr) {
        plot->addWidget(field);
        for (int i = 1; i <= 3; ++i)
            connect(ui.optZAVMode[i], &QAbstractButton::toggled, field, [field, i](bool on) {
                if (on) field->Mode_Show(i);
            });
    }
    // Space and Enter belong to ABORT and START: these never take the focus.
    cmdPlot_ = new QPushButton("FIELD PLOT", body_);
    cmdPlot_->setObjectName("cmdPlot");
    cmdPlot_->setCheckable(true);
    cmdJournal_ = new QPushButton("JOURNAL", body_);
    cmdJournal_->setObjectName("cmdJournal");
    for (QPushButton* b : {cmdPlot_, cmdJournal_}) b->setFocusPolicy(Qt::NoFocus);
    statusRow_->addWidget(cmdPlot_);
    connect(cmdPlot_, &QPushButton::toggled, this, [this](bool on) { cmdPlot_Click(on); });
    connect(cmdJournal_, &QPushButton::clicked, this, [this] { cmdJournal_Click(); });
    Layout_Apply(ctx_.settings.TOUCHMODE);
}

void MainWindow::Trace_Place(bool touch) {
    if (!fraPlot_) return;
    for (QBoxLayout* l : {plotBand_, plotPanel_}) l->removeWidget(fraPlot_);
    (touch ? plotBand_ : plotPanel_)->addWidget(fraPlot_);
    fraPlot_->setVisible(touch || cmdPlot_->isChecked());
    fraPlot_->setMinimumHeight(touch ? 0 : Tw(3600));
    // The tablet's band gets what the settings leave; it may be low there.
    if (FieldPlot* plot = ctx_.trace ? ctx_.trace->Plot() : nullptr)
        plot->setMinimumHeight(touch ? Tw(1350) : FieldPlot::kMinHeight);
    // On the tablet the band is narrow: the axes say what the plot is.
    fraPlot_->setTitle(touch ? QString() : "Field course");
    cmdPlot_->setVisible(!touch);

    for (QBoxLayout* l : {cmdRow_, statusRow_}) l->removeWidget(cmdJournal_);
    if (touch)
        cmdRow_->insertWidget(cmdRow_->indexOf(ctx_.ui->cmdStop) + 1, cmdJournal_);
    else
        statusRow_->addWidget(cmdJournal_);
    const int statusHeight = ctx_.ui->picStat[1]->minimumHeight();
    for (QPushButton* b : {cmdPlot_, cmdJournal_}) {
        SetPointSize(b, Pt(touch ? 14 : 10), touch);
        b->setMinimumSize(touch ? QSize(Tw(2200), Tw(600)) : QSize(0, statusHeight));
        b->setMaximumHeight(touch ? QWIDGETSIZE_MAX : statusHeight);
    }
}

void MainWindow::cmdPlot_Click(bool show) {
    if (touch_ || !fraPlot_ || fraPlot_->isVisible() == show) return;
    // The window grows by the panel and gives its room back when it goes.
    const int before = fraPlot_->isVisible() ? fraPlot_->height() : 0;
    const int was = height();
    fraPlot_->setVisible(show);
    if (isMaximized() || isFullScreen()) return;
    const int spacing = body_->layout()->spacing();
    // The minimum size must follow before the window can shrink.
    body_->layout()->activate();
    layout()->activate();
    const int room = show ? fraPlot_->minimumHeight() + spacing : -(before + spacing);
    resize(width(), std::max(was + room, minimumSizeHint().height()));
}

void MainWindow::Height_Fit() {
    if (touch_ || !isVisible() || isMaximized() || isFullScreen()) return;
    body_->layout()->activate();
    layout()->activate();
    resize(width(), std::max(sizeHint().height(), minimumSizeHint().height()));
}

JournalView* MainWindow::Journal_View() const {
    return journalView_;
}

void MainWindow::cmdJournal_Click() {
    if (!journalView_) {
        journalView_ = new JournalView(Journal::File(ctx_.paths), touch_, this);
        journalView_->setAttribute(Qt::WA_DeleteOnClose);
    }
    journalView_->Rows_Load();
    journalView_->show();
    journalView_->raise();
    journalView_->activateWindow();
}

// ---------------------------------------------------------------- layouts

void MainWindow::Layout_Apply(bool touch) {
    const QScreen* sc = screen();
    Layout_Apply(touch, sc ? sc->availableGeometry() : QRect(0, 0, 1280, 800));
}

void MainWindow::Layout_Apply(bool touch, const QRect& area) {
    Controls& ui = *ctx_.ui;
    touch_ = touch;
    scale_ = touch ? Tablet_Scale(area.size()) : 1;
    ADM_Place(touch);

    // Fonts in points follow the screen's DPI; sizes in twips are scaled here.
    const int base = Pt(touch ? 12 : 10);
    SetPointSize(body_, base);
    const int boxPt = Pt(touch ? 14 : 10);
    TextBox* const boxes[] = {ui.txtACMax,    ui.txtACMin,    ui.txtDCField,
                              ui.txtRampTime, ui.txtTOVField, ui.txtTOVTime};
    for (TextBox* b : boxes) {
        SetPointSize(b, boxPt);
        const int textWidth = QFontMetrics(b->font()).horizontalAdvance("0000.0") + Tw(180);
        b->setFixedSize(std::max(Tw(touch ? 735 : 615), textWidth),
                        std::max(Tw(touch ? 450 : 285), b->sizeHint().height()));
    }
    SetPointSize(ui.lblTOVPulses, boxPt, true);
    ui.lblTOVPulses->setFixedSize(Tw(touch ? 735 : 615), Tw(touch ? 450 : 405));
    ui.vslTOVPulses->setFixedSize(Tw(255), Tw(405));
    ui.vslTOVPulses->setVisible(!touch);
    for (QPushButton* b : {ui.cmdTOVPlus, ui.cmdTOVMinus}) {
        b->setVisible(touch);
        SetPointSize(b, boxPt, true);
        // Finger-sized, and never narrower than the style draws a button.
        b->setMinimumSize(0, 0);
        b->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        b->setFixedSize(QSize(Tw(750), Tw(600)).expandedTo(b->minimumSizeHint()));
    }

    for (QWidget* w : {static_cast<QWidget*>(ui.fraERateT), static_cast<QWidget*>(ui.fraEShapeT),
                       static_cast<QWidget*>(ui.fraTOVDirT), static_cast<QWidget*>(ui.fraDModeT),
                       static_cast<QWidget*>(ui.fraMModeT), static_cast<QWidget*>(ui.chkTumblerT),
                       static_cast<QWidget*>(ui.chkAutoNextT)})
        w->setVisible(touch);
    // On the tablet the large twins lie over the compact desktop groups.
    std::vector<QWidget*> desk{ui.fraERate, ui.fraEShape, ui.fraTOVDir, ui.chkTumbler,
                               ui.chkAutoNext};
    desk.insert(desk.end(), ui.optDMode.begin(), ui.optDMode.end());
    desk.insert(desk.end(), ui.optMMode.begin(), ui.optMMode.end());
    for (QWidget* w : desk) w->setVisible(!touch);
    // Inside their desktop frames the twins need no caption of their own.
    ui.fraDModeT->setTitle(touch ? QString() : ui.fraDMode->title());
    ui.fraMModeT->setTitle(touch ? QString() : ui.fraMMode->title());

    const int twinHeight = Tw(600);
    for (auto* frame : {ui.fraERateT, ui.fraTOVDirT, ui.fraDModeT, ui.fraMModeT})
        for (auto* o : frame->findChildren<OptionButton*>()) {
            o->setFixedHeight(twinHeight);
            SetPointSize(o, base, true);
        }
    for (int i = 1; i <= 3; ++i) {
        ui.optEShapeT[i]->setIconSize(QSize(Tw(1200), Tw(780)));
        ui.optEShapeT[i]->setFixedHeight(Tw(900));
        const QPixmap pic(QString::fromStdString(
            ctx_.paths.Picture(("EShape" + std::to_string(i) + "-on.gif").c_str()).string()));
        ui.picEShape[i]->setFixedSize(Tw(900), Tw(600));
        ui.picEShape[i]->setPixmap(pic.isNull()
                                       ? QPixmap()
                                       : pic.scaled(ui.picEShape[i]->size(), Qt::KeepAspectRatio,
                                                    Qt::SmoothTransformation));
    }
    for (CheckBox* c : {ui.chkTumblerT, ui.chkAutoNextT}) {
        c->setMinimumHeight(twinHeight);
        SetPointSize(c, base, true);
    }

    for (int i = 1; i <= 3; ++i) {
        OptionButton* b = ui.optZAVMode[i];
        SetPointSize(b, Pt(touch ? 12 : 10), true);
        if (touch)
            b->setMinimumSize(Tw(1450), Tw(1000));
        else
            b->setMinimumSize(0, Tw(480));
        b->setToolTip(touch ? QString() : QString("Shortcut [F%1]").arg(i));
    }
    for (QPushButton* b : {ui.cmdInit, ui.cmdStart, ui.cmdStop}) {
        SetPointSize(b, Pt(touch ? 14 : 11), true);
        b->setMinimumSize(touch ? QSize(Tw(2200), Tw(600)) : QSize(Tw(1800), Tw(480)));
    }
    ui.cmdStart->setToolTip(touch ? QString() : "Shortcut [Enter]");
    ui.cmdStop->setToolTip(touch ? QString() : "Shortcut [Space Bar]");
    for (QPushButton* b : {ui.cmdPrevPos, ui.cmdNextPos}) {
        b->setMinimumHeight(Tw(touch ? 855 : 525));
        b->setMinimumWidth(Tw(touch ? 1200 : 900));
        SetPointSize(b, base, true);
    }
    ui.cmdPrevPos->setToolTip(touch ? QString() : "Shortcut [Key PgUp]");
    ui.cmdNextPos->setToolTip(touch ? QString() : "Shortcut [Key PgDn]");
    ui.cmdInitTumbler->setToolTip(touch ? QString() : "Shortcut [Key I]");
    ui.cmdInitTumbler->setMinimumHeight(Tw(touch ? 600 : 400));
    SetPointSize(ui.lblMMode, Pt(touch ? 18 : 14), true);

    // The field meters are read from a step away.
    for (QLabel* l : {ui.lblACField[0], ui.lblDCField[0]}) {
        SetPointSize(l, Pt(touch ? 32 : 26), true);
        l->setMinimumWidth(QFontMetrics(l->font()).horizontalAdvance("-0000.0 ") + Tw(120));
    }
    for (QLabel* l : {ui.lblACField[1], ui.lblDCField[1]}) SetPointSize(l, base, true);

    const int statusHeight = QFontMetrics(ui.picStat[1]->font()).height() * 2;
    ui.picStat[0]->setFixedSize(statusHeight * 2, statusHeight);
    ui.picStat[1]->setFixedHeight(statusHeight);
    ui.picStat[1]->setMinimumWidth(Tw(6000));

    // Room for a controller line on the terminal; small boxes for short entries.
    const QFontMetrics term(ui.txtTerm->font());
    ui.txtTerm->setMinimumSize(term.horizontalAdvance(QString(48, '0')), term.height() * 8);
    for (QLineEdit* e : {ui.txtCommPort, ui.txtTumbler})
        e->setFixedWidth(QFontMetrics(e->font()).horizontalAdvance("0000") + Tw(180));

    for (auto& [box, black] : blackFrames_) BlackFrame_Place(box);
    Trace_Place(touch);
    setWindowState(touch ? Qt::WindowMaximized : Qt::WindowNoState);
}

// ---------------------------------------------------------------- start-up

QString MainWindow::Title() const {
    QString t =
        QString("ZAVO - ver. %1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision);
    t += ctx_.settings.TOUCHMODE ? "  [Tablet Mode]" : "  [Desktop Mode]";
    if (ctx_.settings.SERVMODE) t += " - Service Mode";
    if (ctx_.settings.SIMULMODE) t += " - SIMULMODE!";
    return t;
}

bool MainWindow::Log_Open() {
    const fs::path dir = ctx_.paths.MonDir();
    const QDate today = ctx_.clock->Today();
    std::error_code ec;
    // The folder belongs beside the program; a fresh installation lacks it.
    fs::create_directories(dir, ec);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& f = it->path();
        std::error_code fec;
        if (!it->is_regular_file(fec)) continue;
        if (QString::fromStdString(f.extension().string()).toLower() != ".mon") continue;
        const QDate d = Date_FromText(f.stem().string());
        if (d.daysTo(today) <= kLogDays) continue;
        // Read-only logs go too.
        fs::permissions(f, fs::perms::owner_write, fs::perm_options::add, fec);
        fs::remove(f, fec);
    }
    const fs::path file = dir / (Date_ToText(today) + ".mon");
    if (ctx_.log->Open(file)) return true;
    ctx_.status->Lamp(kLightOrange);
    ctx_.status->Text(ctx_.log->Failure(), kBlack, ctx_.log->Failure());
    return false;
}

void MainWindow::Form_Load() {
    ctx_.maglink->Open();
    Controls& ui = *ctx_.ui;
    Settings& s = ctx_.settings;
    ctx_.options->Controls_Enable(false);

    // A missing or damaged file is replaced by the defaults; a folder that
    // cannot be written is told to the operator and the defaults are used.
    Settings_Startup(ctx_);

    Layout_Apply(s.TOUCHMODE);
    ctx_.enabling->Panels_Enable(false);
    ctx_.enabling->FieldMeters_Enable(false);
    ctx_.status->Status_Show(false);

    if (s.SERVMODE &&
        ctx_.dialogs->InputBox("Enter Service Mode Password.", QString(), true) != kServicePassword)
        s.SERVMODE = false;
    ui.fraSERVMODE->setVisible(s.SERVMODE);
    setWindowTitle(Title());

    ctx_.instr.MagMode = 2;
    s.TOVDIR = 1;
    s.TOVNUM = 1;
    ctx_.limits->Limits_Set();

    if (const QScreen* sc = screen()) {
        const QRect g = sc->availableGeometry();
        if (s.TOUCHMODE) {
            // The free area, also where no window manager maximizes the window;
            // the minimum size first follows the panels the mode left shown.
            body_->layout()->activate();
            layout()->activate();
            setGeometry(QRect(g.topLeft(), g.size().expandedTo(minimumSizeHint())));
            setWindowState(Qt::WindowMaximized);
        } else {
            adjustSize();
            move(g.x() + g.width() / 2 - frameGeometry().width() / 2, g.y());
        }
    }

    Log_Open();
    if (s.ZAVMODE >= 1 && s.ZAVMODE <= 3) ctx_.options->Option_Highlight(ui.optZAVMode[s.ZAVMODE]);
}

void MainWindow::timLEDBlink_Timer() {
    blink_ = !blink_;
    VbColor back = blink_ ? kGrey : kLightOrange;
    StatusPanel_Print(ctx_.ui->picStat[0], back, kBlack, "");
}

void MainWindow::cmdInit_Click() {
    ctx_.init->Instrument_Init();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!initOnShow_ || activated_) return;
    activated_ = true;
    // From the event loop, so the window is on the screen before the search.
    QTimer::singleShot(0, this, [this] { ctx_.init->Instrument_Init(); });
}

}  // namespace zavo
