#pragma once
// The main window frmZAV: lays out the controls for the desktop or the
// tablet and runs the start-up.

#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <QString>
#include <map>

class QBoxLayout;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRect;

namespace zavo {

struct Ctx;
class JournalView;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(Ctx& ctx);
    // The central widget the controls are created in.
    QWidget* Body() const { return body_; }
    // Builds the window once the controls exist.
    void Build();
    // The start-up sequence.
    void Form_Load();

    // Sizes, fonts and visible controls of the tablet or the desktop; the
    // tablet's scaled to the screen's free area (`area`, by default the
    // available geometry of the window's screen), which its window fills.
    void Layout_Apply(bool touch);
    void Layout_Apply(bool touch, const QRect& area);
    // The tablet layout's scale for a screen's free area: 1 fits 1280 x 800
    // with a task bar and a title bar; more on larger screens, never less.
    static double Tablet_Scale(QSize area);
    // "ZAVO - ver. x.y.z  [Desktop Mode]" with the service and simulation marks.
    QString Title() const;
    // Deletes day logs more than 10 days old, then opens today's; false (and
    // said in the status line, again with each idle text) when it cannot.
    bool Log_Open();
    // On the desktop, the window's height follows the panel of the mode shown
    // (the pulse panel is taller than the AC one).
    void Height_Fit();
    // The activity lamp's blink, one tick.
    void timLEDBlink_Timer();
    // INITIALIZE.
    void cmdInit_Click();
    // The desktop's field plot panel shown or hidden (for this session only).
    void cmdPlot_Click(bool show);
    // The journal's last rows in their own window.
    void cmdJournal_Click();
    JournalView* Journal_View() const;
    // The window's first showing initializes the instrument (the program
    // asks for it; tests that show the window do not).
    void Activation_InitEnable() { initOnShow_ = true; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // Twips of the design layout to pixels of this screen, and points of a
    // font, both scaled with the tablet layout.
    int Tw(int twips) const;
    int Pt(int points) const;
    // The AC panel's groups: the tablet puts the rate beside the fields.
    void ADM_Place(bool touch);
    void ParamRow(QGridLayout* grid, int row, QLabel* caption, QLineEdit* box, QLabel* black);
    void BlackFrame_Place(QLineEdit* box);
    QWidget* BuildADM();
    QWidget* BuildTOV();
    QWidget* BuildDMode();
    QWidget* BuildMMode();
    QWidget* BuildFieldMeters();
    QWidget* BuildService();
    QWidget* BuildStatusLine();
    // The plot in the tablet's free band or in the desktop's panel below the
    // settings; the journal button among the commands or on the status line.
    void Trace_Place(bool touch);

    Ctx& ctx_;
    QWidget* body_;
    bool blink_ = false;
    bool touch_ = false;
    double scale_ = 1;
    bool initOnShow_ = false;
    bool activated_ = false;
    // The black frame label shown behind each parameter box in tablet mode.
    std::map<QLineEdit*, QLabel*> blackFrames_;
    QGroupBox* fraPlot_ = nullptr;
    QPushButton* cmdPlot_ = nullptr;
    QPushButton* cmdJournal_ = nullptr;
    QGridLayout* admGrid_ = nullptr;
    QBoxLayout* cmdRow_ = nullptr;
    QBoxLayout* statusRow_ = nullptr;
    QBoxLayout* plotBand_ = nullptr;
    QBoxLayout* plotPanel_ = nullptr;
    QPointer<JournalView> journalView_;
};

}  // namespace zavo
