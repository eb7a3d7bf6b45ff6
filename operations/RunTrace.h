#pragma once
// What a run does, as it happens: the live field-course plot and the
// treatment journal follow it through these calls.

#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>

namespace zavo {

struct Ctx;
class FieldPlot;
class Journal;

class RunTrace {
  public:
    enum class Outcome { Done, Stopped, Error };

    explicit RunTrace(Ctx& ctx);
    ~RunTrace();
    RunTrace(const RunTrace&) = delete;
    RunTrace& operator=(const RunTrace&) = delete;

    // A run has passed validation; the settings and positions it runs with
    // are in the context.
    void Run_Begin();
    // "G" is about to be written (each pass, each pulse).
    void Execute_Begin();
    // A field value the controller reported in-band while an exchange ran:
    // code 175 AC rising, 174 AC falling, 246 DC.
    void Field_Value(unsigned char code, double value);
    // "G" has returned.
    void Execute_End();
    // The run has ended; statusText is what the status line said on an error.
    void Run_End(Outcome outcome, const QString& statusText);
    // A step message from the magnetometer program was applied.
    void Step_Applied(const std::string& text);

    // The plot widget; the window places it.
    FieldPlot* Plot() const;
    Journal& Log() { return *journal_; }

  private:
    // What the journal row of the run in progress needs.
    struct Record {
        QStringList row;  // one field per journal column
        double startTime = 0;
        int mode = 0;
        int executes = 0;
        std::optional<int> acReached;
        std::optional<float> coilTemp;
    };
    QString Now_Iso() const;
    void Settings_Take(Record& r) const;
    void Journal_Trouble();

    Ctx& ctx_;
    QPointer<FieldPlot> plot_;
    std::unique_ptr<Journal> journal_;
    std::optional<Record> run_;
    bool executing_ = false;
    // The last step preset by the magnetometer program, for the next run.
    QString step_;
    // A failed journal write has been told; told again after one succeeds.
    bool troubleTold_ = false;
};

}  // namespace zavo
