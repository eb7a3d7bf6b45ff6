#include "operations/RunTrace.h"

#include <QDateTime>
#include <cstdlib>

#include "core/Activity.h"
#include "core/Clock.h"
#include "core/Context.h"
#include "core/Waits.h"
#include "link/CommandLink.h"
#include "link/StatusLine.h"
#include "operations/Journal.h"
#include "panel/Controls.h"
#include "panel/FieldPlot.h"

namespace zavo {

namespace {

void Put(QStringList& row, const char* column, const QString& value) {
    row[Journal::Columns().indexOf(column)] = value;
}

QString Num(double v, int decimals) {
    return QString::number(v, 'f', decimals);  // "." in every locale
}

// A caption of an option group as the window shows it; the number when the
// window is not there (or the value has no button).
template <size_t N>
QString Caption(const std::array<OptionButton*, N>* group, int index) {
    if (group && index >= 0 && index < int(N) && (*group)[index]) return (*group)[index]->text();
    return QString::number(index);
}

QString PulseTime(int code) {
    if (code <= 0) return "0.01";
    if (code >= 99) return "10";
    return QString::number(code / 10.0);
}

}  // namespace

RunTrace::RunTrace(Ctx& ctx)
    : ctx_(ctx), journal_(std::make_unique<Journal>(Journal::File(ctx.paths))) {
    if (ctx_.clock) plot_ = new FieldPlot(*ctx_.clock);
    if (ctx_.cmd)
        ctx_.cmd->FieldReported = [this](unsigned char code, double value) {
            Field_Value(code, value);
        };
}

RunTrace::~RunTrace() {
    if (ctx_.cmd) ctx_.cmd->FieldReported = nullptr;
    // Rows that a locked file kept back get one more chance.
    journal_->Flush();
    delete plot_.data();  // gone already when the window took it
}

FieldPlot* RunTrace::Plot() const {
    return plot_;
}

QString RunTrace::Now_Iso() const {
    const double now = ctx_.clock->Now();
    const QDateTime local(ctx_.clock->Today(),
                          QTime::fromMSecsSinceStartOfDay(int(now * 1000) % 86400000));
    // "+00:00" rather than "Z": a local time that happens to have no offset.
    const int offset = local.offsetFromUtc() / 60;
    return local.toString("yyyy-MM-ddTHH:mm:ss") + (offset < 0 ? '-' : '+') +
           QString("%1:%2")
               .arg(std::abs(offset) / 60, 2, 10, QChar('0'))
               .arg(std::abs(offset) % 60, 2, 10, QChar('0'));
}

void RunTrace::Run_Begin() {
    if (!ctx_.clock) return;
    Record r;
    r.row = QStringList(Journal::Columns().size());
    r.startTime = ctx_.clock->Now();
    r.mode = ctx_.settings.ZAVMODE;
    Put(r.row, "started", Now_Iso());
    Put(r.row, "step", step_);
    step_.clear();
    Settings_Take(r);
    run_ = std::move(r);
    executing_ = false;

    if (!plot_) return;
    const Settings& s = ctx_.settings;
    FieldPlot::Request q;
    q.mode = s.ZAVMODE;
    q.peak = s.ZAVMODE == 1 ? s.DMGFD : s.ZAVMODE == 2 ? s.REKFD : s.TOVFP;
    q.dc = s.ZAVMODE == 2 ? s.REKFM : 0;
    q.negativePulses = s.ZAVMODE == 3 && (s.TOVNUM > 1 || s.TOVDIR == 2);
    plot_->Course_Begin(q);
}

void RunTrace::Settings_Take(Record& r) const {
    const Settings& s = ctx_.settings;
    const PositionState& p = ctx_.pos;
    const Controls* ui = ctx_.ui;
    QStringList& row = r.row;
    static const char* const modes[] = {"DEMAGNETIZER", "ANHYSTERETIC", "PULSE"};
    static const char* const methods[] = {"LT-AF-Z", "LT-AF-I", "LT-IRM"};
    if (r.mode < 1 || r.mode > 3) return;
    Put(row, "mode", modes[r.mode - 1]);
    Put(row, "method_codes", methods[r.mode - 1]);
    if (r.mode == 3) {
        Put(row, "pulse_field_mT", QString::number(s.TOVFP));
        Put(row, "pulse_time", PulseTime(s.TOVET));
        if (p.TumblerUsed && ui) Put(row, "axes", ui->lblMMode->text());
        return;
    }
    const bool demag = r.mode == 1;
    Put(row, "ac_peak_set_mT", QString::number(demag ? s.DMGFD : s.REKFD));
    if (!demag) {
        Put(row, "ac_min_mT", QString::number(s.REKFA));
        Put(row, "dc_field_uT", QString::number(s.REKFM));
    }
    Put(row, "rate", Caption(ui ? &ui->optERate : nullptr, demag ? s.DMGER : s.REKER));
    Put(row, "course", Caption(ui ? &ui->optEShape : nullptr, demag ? s.DMGES : s.REKES));
    Put(row, "ramp_time_s", QString::number(demag ? s.DMGET : s.REKET));
    if (demag)
        Put(row, "axes", Caption(ui ? &ui->optDMode : nullptr, p.TumblerUsed ? s.DMODE : 0));
    else if (p.TumblerUsed && ui)
        Put(row, "axes", ui->lblMMode->text());
}

void RunTrace::Execute_Begin() {
    if (!run_) return;
    executing_ = true;
    ++run_->executes;
    // The temperature the run last read before this "G".
    run_->coilTemp = ctx_.instr.CoilTempC;
    // The pulse direction the controller confirmed just before the first pulse.
    if (run_->mode == 3 && run_->executes == 1)
        Put(run_->row, "first_direction", ctx_.settings.TOVDIR == 2 ? "-" : "+");
    if (plot_) plot_->Execute_Begin();
}

void RunTrace::Field_Value(unsigned char code, double value) {
    if (!run_ || !executing_) return;
    const bool ac = code == 174 || code == 175;
    if (ac && run_->mode != 3) {
        const int v = int(value);
        run_->acReached = std::max(run_->acReached.value_or(v), v);
        if (plot_) plot_->Value_Add(FieldPlot::Kind::AC, value, code == 174);
    } else if (code == 246 && plot_) {
        if (run_->mode == 2) plot_->Value_Add(FieldPlot::Kind::DC, value);
        const double sign = ctx_.settings.TOVDIR == 2 ? -1 : 1;
        if (run_->mode == 3) plot_->Value_Add(FieldPlot::Kind::Pulse, sign * value);
    }
}

void RunTrace::Execute_End() {
    if (!run_ || !executing_) return;
    executing_ = false;
    if (plot_) plot_->Execute_End();
}

void RunTrace::Run_End(Outcome outcome, const QString& statusText) {
    if (!run_) return;
    Record r = std::move(*run_);
    run_.reset();
    executing_ = false;
    static const char* const notes[] = {"", "Stopped", "Error"};
    if (plot_) plot_->Course_End(notes[int(outcome)]);
    if (r.executes == 0) return;  // nothing was done to the specimen

    QStringList& row = r.row;
    Put(row, "finished", Now_Iso());
    if (r.mode == 3) {
        Put(row, "pulses", QString::number(r.executes));
    } else {
        if (r.acReached) Put(row, "ac_peak_reached_mT", QString::number(*r.acReached));
        Put(row, "passes", QString::number(r.executes));
    }
    if (r.coilTemp) Put(row, "coil_temp_C", Num(*r.coilTemp, 1));
    Put(row, "outcome",
        outcome == Outcome::Done      ? QString("done")
        : outcome == Outcome::Stopped ? QString("stopped")
                                      : "error: " + statusText.trimmed());
    Put(row, "duration_s", Num(Timer_Elapsed(*ctx_.clock, r.startTime), 1));
    if (journal_->Append(row))
        troubleTold_ = false;
    else
        Journal_Trouble();
}

void RunTrace::Journal_Trouble() {
    if (troubleTold_) return;
    troubleTold_ = true;
    // Told once the run has let go of the status line, so that its own end
    // message does not cover this one.
    auto tell = [this] {
        if (!ctx_.status) return;
        ctx_.status->Lamp(kLightOrange);
        // The path as it is: upper case would name another file.
        ctx_.status->Text("JOURNAL CANNOT BE WRITTEN: " +
                          QString::fromStdString(journal_->Path().string()));
    };
    if (ctx_.activity)
        ctx_.activity->When_Idle("journal", tell);
    else
        tell();
}

void RunTrace::Step_Applied(const std::string& text) {
    step_ = QString::fromLocal8Bit(text.data(), qsizetype(text.size())).trimmed();
}

}  // namespace zavo
