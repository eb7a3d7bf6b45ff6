#pragma once
// The live plot of a run's field course: the AC field the controller reports
// while it rises and falls, the DC bias, one mark per pulse, against the
// seconds since the run's first "G", with the requested peak dashed.
//
// Values go into the plot's own lists at once; the chart takes them over at
// most every kRedraw seconds, so a fast course costs the link one list append
// per value and the screen a few redraws per second.

#include <QList>
#include <QPointF>
#include <QTimer>
#include <QWidget>

class QChart;
class QChartView;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace zavo {

class Clock;

class FieldPlot : public QWidget {
    Q_OBJECT
  public:
    enum class Kind { AC, DC, Pulse };
    static constexpr double kRedraw = 0.08;  // seconds
    static constexpr int kMinHeight = 112;   // pixels: room for the axes' labels

    // What a run asks for: the instrument mode (1..3), the AC peak or pulse
    // field (mT), the DC bias (uT, mode 2) and whether pulses alternate.
    struct Request {
        int mode = 1;
        double peak = 0;
        double dc = 0;
        bool negativePulses = false;
    };

    explicit FieldPlot(Clock& clock, QWidget* parent = nullptr);

    // A run starts: the last course goes, the axes follow the new request.
    void Course_Begin(const Request& request);
    // The window shows another instrument mode: an empty plot takes that
    // mode's series and axes; a course stays until the next run.
    void Mode_Show(int mode);
    // "G" is written: the first one of the run is time zero.
    void Execute_Begin();
    // A value of the course; pulses are signed by their direction. An AC
    // value says whether the field was rising or falling: between a report
    // of one and a report of the other the field held the last value (the
    // hold at the peak, the pause between two passes).
    void Value_Add(Kind kind, double value, bool falling = false);
    // "G" has returned: what is pending is drawn now.
    void Execute_End();
    // The run has ended; a stopped or failed course says so on the chart.
    void Course_End(const QString& note);

    // The course so far (seconds since the first "G", value).
    const QList<QPointF>& Points(Kind kind) const;
    // What the chart shows of it.
    QList<QPointF> Shown(Kind kind) const;
    int Draws() const { return draws_; }
    QChart* Chart() const { return chart_; }
    // The plot takes the room the panel leaves; it asks for little.
    QSize sizeHint() const override { return {400, 200}; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Axis titles in full, or only their units when the plot is low.
    void Titles_Set();
    // The course emptied for a request; `requested` shows its peak line.
    void Course_Reset(const Request& request, bool requested);
    struct Trace {
        QList<QPointF> points;
        qsizetype shown = 0;
    };
    Trace& Of(Kind kind);
    const Trace& Of(Kind kind) const;
    // Hands the pending points to the chart and fits the axes.
    void Draw();
    void Draw_Soon();
    void Axes_Fit();

    Clock& clock_;
    Request request_;
    QChart* chart_;
    QChartView* view_;
    QLineSeries* ac_;
    QLineSeries* dc_;
    QScatterSeries* pulses_;
    QLineSeries* peak_;
    QLineSeries* peakNegative_;
    QValueAxis* time_;
    QValueAxis* field_;
    QValueAxis* bias_;
    Trace traces_[3];
    double start_ = -1;         // clock time of the first "G"; -1 before it
    double lastDraw_ = -1e9;    // clock time of the last draw
    bool pulseMarked_ = false;  // the current "G" has its pulse mark
    bool running_ = false;      // between a run's begin and its end
    int acSlope_ = 0;           // the last AC report: 1 rising, -1 falling, 0 none
    int draws_ = 0;
    QTimer timer_;
};

}  // namespace zavo
