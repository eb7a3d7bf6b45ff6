#include "panel/FieldPlot.h"

#include <QChart>
#include <QChartView>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "core/Clock.h"
#include "core/Waits.h"

namespace zavo {

namespace {

// A round tick step that cuts span into at most about `parts` parts.
double Tick_Step(double span, int parts) {
    const double unit = std::pow(10.0, std::floor(std::log10(span / parts)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (span / (m * unit) <= parts + 0.5) return m * unit;
    return 10 * unit;
}

// An axis end a little above top, on a tick, never below floor.
double Axis_Top(double top, double floor, int parts) {
    top = std::max(top * 1.05, floor);
    const double step = Tick_Step(top, parts);
    return std::ceil(top / step - 1e-9) * step;
}

void Range_Set(QValueAxis* axis, double from, double to, int parts) {
    axis->setRange(from, to);
    axis->setTickAnchor(0);
    axis->setTickInterval(Tick_Step(to - from, parts));
}

double Extreme(const QList<QPointF>& points) {
    double m = 0;
    for (const QPointF& p : points) m = std::max(m, std::abs(p.y()));
    return m;
}

QPen Pen(const QColor& color, qreal width, Qt::PenStyle style = Qt::SolidLine) {
    QPen p(color, width, style);
    p.setCosmetic(true);
    return p;
}

}  // namespace

FieldPlot::FieldPlot(Clock& clock, QWidget* parent)
    : QWidget(parent),
      clock_(clock),
      chart_(new QChart),
      view_(new QChartView(chart_, this)),
      ac_(new QLineSeries),
      dc_(new QLineSeries),
      pulses_(new QScatterSeries),
      peak_(new QLineSeries),
      peakNegative_(new QLineSeries),
      time_(new QValueAxis),
      field_(new QValueAxis),
      bias_(new QValueAxis) {
    setObjectName("picFieldPlot");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setFocusPolicy(Qt::NoFocus);
    chart_->setMargins(QMargins(2, 0, 2, 0));
    chart_->legend()->setAlignment(Qt::AlignRight);

    ac_->setName("AC field");
    ac_->setPen(Pen(QColor(0x1f, 0x5f, 0xbf), 2));
    dc_->setName("DC field");
    dc_->setPen(Pen(QColor(0xd0, 0x60, 0x10), 2));
    pulses_->setName("Pulses");
    pulses_->setColor(QColor(0xc0, 0x20, 0x20));
    pulses_->setBorderColor(QColor(0x60, 0x10, 0x10));
    pulses_->setMarkerSize(11);
    peak_->setName("Requested");
    for (QLineSeries* s : {peak_, peakNegative_}) s->setPen(Pen(Qt::darkGray, 1.5, Qt::DashLine));

    for (QValueAxis* a : {time_, field_, bias_}) {
        a->setLabelFormat("%g");
        a->setTickType(QValueAxis::TicksDynamic);
    }
    chart_->addAxis(time_, Qt::AlignBottom);
    chart_->addAxis(field_, Qt::AlignLeft);
    chart_->addAxis(bias_, Qt::AlignRight);
    for (QAbstractSeries* s :
         std::initializer_list<QAbstractSeries*>{peak_, peakNegative_, ac_, dc_, pulses_}) {
        chart_->addSeries(s);
        s->attachAxis(time_);
        s->attachAxis(s == dc_ ? bias_ : field_);
    }

    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { Draw(); });
    setMinimumHeight(kMinHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    Course_Reset(Request{}, false);
}

FieldPlot::Trace& FieldPlot::Of(Kind kind) {
    return traces_[int(kind)];
}

const FieldPlot::Trace& FieldPlot::Of(Kind kind) const {
    return traces_[int(kind)];
}

const QList<QPointF>& FieldPlot::Points(Kind kind) const {
    return Of(kind).points;
}

QList<QPointF> FieldPlot::Shown(Kind kind) const {
    switch (kind) {
        case Kind::AC:
            return ac_->points();
        case Kind::DC:
            return dc_->points();
        case Kind::Pulse:
            return pulses_->points();
    }
    return {};
}

void FieldPlot::Course_Begin(const Request& request) {
    running_ = true;
    Course_Reset(request, true);
}

void FieldPlot::Mode_Show(int mode) {
    if (running_ || mode == request_.mode) return;
    for (const Trace& t : traces_)
        if (!t.points.isEmpty()) return;
    Request q;
    q.mode = mode;
    Course_Reset(q, false);
}

void FieldPlot::Course_Reset(const Request& request, bool requested) {
    request_ = request;
    timer_.stop();
    for (Trace& t : traces_) t = Trace{};
    for (QXYSeries* s : std::initializer_list<QXYSeries*>{ac_, dc_, pulses_}) s->clear();
    start_ = -1;
    pulseMarked_ = false;
    acSlope_ = 0;
    const bool pulse = request.mode == 3;
    ac_->setVisible(!pulse);
    dc_->setVisible(request.mode == 2);
    bias_->setVisible(request.mode == 2);
    pulses_->setVisible(pulse);
    peak_->setVisible(requested);
    peakNegative_->setVisible(requested && pulse && request.negativePulses);
    // A series shown again brings its legend entry back, the unnamed lower
    // peak line's too: the legend names only what the plot shows.
    for (QLegendMarker* m : chart_->legend()->markers())
        m->setVisible(m->series()->isVisible() && !m->series()->name().isEmpty());
    Titles_Set();
    chart_->setTitle(QString());
    Axes_Fit();
}

void FieldPlot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Titles_Set();
    Axes_Fit();
}

void FieldPlot::Titles_Set() {
    const bool low = height() < 200;
    const bool pulse = request_.mode == 3;
    time_->setTitleText(low ? "s" : "Time since G [s]");
    field_->setTitleText(low ? "mT" : pulse ? "Pulse field [mT]" : "AC field [mT]");
    bias_->setTitleText(low ? "uT" : "DC field [uT]");
}

void FieldPlot::Execute_Begin() {
    if (start_ < 0) start_ = clock_.Now();
    pulseMarked_ = false;
}

void FieldPlot::Value_Add(Kind kind, double value, bool falling) {
    if (start_ < 0) return;
    const QPointF p(Timer_Elapsed(clock_, start_), value);
    QList<QPointF>& points = Of(kind).points;
    if (kind == Kind::Pulse) {
        // The controller reports a pulse's field and then its end (0): one
        // mark per pulse, at its strongest report.
        if (value == 0) return;
        if (!pulseMarked_) {
            points.append(p);
            pulseMarked_ = true;
        } else if (std::abs(value) > std::abs(points.last().y())) {
            points.last() = p;
            Of(kind).shown = std::min(Of(kind).shown, points.size() - 1);
        }
    } else {
        // The DC bias switches, and the AC field holds from a rise to a fall
        // (and from one pass to the next): the last value stays until this
        // report, rather than a slope across the hold.
        bool held = kind == Kind::DC;
        if (kind == Kind::AC) {
            const int slope = falling ? -1 : 1;
            held = acSlope_ != 0 && slope != acSlope_;
            acSlope_ = slope;
        }
        if (held && !points.isEmpty() && points.last().y() != value)
            points.append({p.x(), points.last().y()});
        points.append(p);
    }
    Draw_Soon();
}

void FieldPlot::Draw_Soon() {
    // Never inside the exchange that brought the value: the chart takes it
    // over at the next pass of the event loop once a period has gone by.
    const double since = clock_.Now() - lastDraw_;
    const double wait = since >= kRedraw || since < 0 ? 0 : kRedraw - since;
    const int ms = int(std::lround(wait * 1000));
    if (timer_.isActive() && timer_.remainingTime() <= ms) return;
    timer_.start(ms);
}

void FieldPlot::Execute_End() {
    Draw();
}

void FieldPlot::Course_End(const QString& note) {
    running_ = false;
    Draw();
    chart_->setTitle(note);
}

void FieldPlot::Draw() {
    timer_.stop();
    lastDraw_ = clock_.Now();
    ++draws_;
    const std::pair<Kind, QXYSeries*> series[] = {
        {Kind::AC, ac_}, {Kind::DC, dc_}, {Kind::Pulse, pulses_}};
    for (auto [kind, s] : series) {
        Trace& t = Of(kind);
        if (t.shown == t.points.size()) continue;
        if (s->count() > t.shown) s->removePoints(int(t.shown), int(s->count() - t.shown));
        s->append(t.points.mid(t.shown));
        t.shown = t.points.size();
    }
    Axes_Fit();
}

void FieldPlot::Axes_Fit() {
    // As many ticks as the labels have room for.
    const int across = std::clamp(width() / 90, 2, 6);
    const int up = std::clamp(height() / 40, 2, 6);
    double end = 0;
    for (const Trace& t : traces_)
        if (!t.points.isEmpty()) end = std::max(end, t.points.last().x());
    const double span = Axis_Top(end, 10, across);
    Range_Set(time_, 0, span, across);

    const bool pulse = request_.mode == 3;
    const double reached = Extreme(Of(pulse ? Kind::Pulse : Kind::AC).points);
    const QList<QPointF>& marks = Of(Kind::Pulse).points;
    const bool negative =
        std::any_of(marks.begin(), marks.end(), [](const QPointF& p) { return p.y() < 0; });
    const bool below = pulse && (request_.negativePulses || negative);
    const int half = below ? std::max(1, up / 2) : up;
    const double top = Axis_Top(std::max(request_.peak, reached), pulse ? 2 : 10, half);
    Range_Set(field_, below ? -top : 0, top, below ? half * 2 : up);
    const double bias = Axis_Top(std::max(request_.dc, Extreme(Of(Kind::DC).points)), 10, up);
    Range_Set(bias_, 0, bias, up);

    peak_->replace(QList<QPointF>{{0, request_.peak}, {span, request_.peak}});
    peakNegative_->replace(QList<QPointF>{{0, -request_.peak}, {span, -request_.peak}});
}
}  // namespace zavo
