// The live field plot and the treatment journal, fed as a run feeds them:
// "G" exchanges on the scripted port and the trace's calls around them.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <QAbstractAxis>
#include <QApplication>
#include <QChart>
#include <QHeaderView>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <ctime>

#include "core/Activity.h"
#include "dialogs/JournalView.h"
#include "link/CommandLink.h"
#include "link/StatusLine.h"
#include "operations/Journal.h"
#include "operations/RunTrace.h"
#include "panel/Controls.h"
#include "panel/FieldPlot.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "panel/SettingsFile.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;
using Kind = FieldPlot::Kind;
using Outcome = RunTrace::Outcome;

namespace {

// Points rounded to the millisecond, as a reader compares them.
QList<QPointF> Ms(QList<QPointF> points) {
    for (QPointF& p : points) p.setX(std::round(p.x() * 1000) / 1000);
    return points;
}

// The local time zone of the test.
struct LocalZone {
    explicit LocalZone(const char* zone) {
        const char* tz = std::getenv("TZ");
        old = tz ? tz : "";
        had = tz != nullptr;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~LocalZone() {
        had ? setenv("TZ", old.c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    std::string old;
    bool had;
};

}  // namespace

class Trace : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tp.port.Open(1)); }

    // One "G" whose reply brings the given bytes at the given seconds after it
    // is written, then "End of Ramp " at `end`.
    void Execute(const std::vector<std::pair<double, std::string>>& bytes, double end,
                 const std::string& last = "End of Ramp \r\n") {
        // The run's settle time: the line is known quiet before "G".
        tp.clock.Advance(0.5);
        for (const auto& [at, text] : bytes)
            tp.clock.After(at, [this, b = text] { tp.port.Deliver(b); });
        tp.clock.After(end, [this, last] { tp.port.Deliver(last); });
        trace.Execute_Begin();
        ctx.cmd->Command_Execute("G", true, false);
        trace.Execute_End();
    }
    // A linear course as the controller reports it: rising to peak in 0.25 s steps of 5 mT,
    // held a second at the peak (its time counted down), then falling as fast.
    static std::vector<std::pair<double, std::string>> Course(int peak) {
        std::vector<std::pair<double, std::string>> v{{0.01, "\x18"}};
        double t = 0;
        for (int f = 5; f <= peak; f += 5) v.push_back({t += 0.25, std::to_string(f) + "\xaf"});
        v.push_back({t, "1\xaa"});
        v.push_back({t += 1, "\x19"});
        for (int f = peak - 5; f >= 0; f -= 5) v.push_back({t += 0.25, std::to_string(f) + "\xae"});
        return v;
    }
    std::string File() const { return ReadBytes(Journal::File(ctx.paths)); }
    std::vector<QStringList> Rows() const {
        return Journal::Rows_Read(Journal::File(ctx.paths), -1);
    }
    QString Column(const QStringList& row, const char* name) const {
        return row.value(Journal::Columns().indexOf(name));
    }

    TestProgram tp;
    Ctx& ctx = tp.ctx();
    RunTrace& trace = *ctx.trace;
    FieldPlot& plot = *trace.Plot();
};

TEST_F(Trace, PlotFollowsTheInBandValuesOfEachG) {
    ctx.settings.ZAVMODE = 1, ctx.settings.DMGFD = 20;
    // Outside a run a "G" (the service terminal's) leaves the plot alone.
    Execute({{0.2, "15\xaf"}}, 0.5);
    trace.Run_Begin();
    EXPECT_TRUE(plot.Points(Kind::AC).isEmpty());
    Execute(Course(20), 20);
    // The peak held until the first report of the fall, not a slope across the hold.
    const QList<QPointF> course{{0.25, 5},  {0.5, 10}, {0.75, 15}, {1, 20}, {2.25, 20},
                                {2.25, 15}, {2.5, 10}, {2.75, 5},  {3, 0}};
    EXPECT_EQ(Ms(plot.Points(Kind::AC)), course);
    EXPECT_EQ(Ms(plot.Shown(Kind::AC)), course);  // all drawn when "G" returns
    EXPECT_TRUE(plot.Points(Kind::DC).isEmpty() && plot.Points(Kind::Pulse).isEmpty());
    // Three axes: the second pass continues the time of the first; the field stays off
    // until it rises again.
    tp.clock.Advance(10);
    Execute({{0.5, "7\xaf"}}, 1);
    EXPECT_EQ(Ms(plot.Points(Kind::AC)).mid(9), (QList<QPointF>{{31, 0}, {31, 7}}));
    trace.Run_End(Outcome::Done, "");
    // It stays until the next run starts.
    tp.clock.Advance(60);
    EXPECT_EQ(plot.Points(Kind::AC).size(), 11);
    EXPECT_EQ(plot.Chart()->title(), "");
    auto* requested = qobject_cast<QLineSeries*>(plot.Chart()->series().first());
    EXPECT_EQ(requested->name(), "Requested");
    EXPECT_EQ(requested->at(0).y(), 20);
    ctx.settings.DMGFD = 50;
    trace.Run_Begin();
    EXPECT_TRUE(plot.Points(Kind::AC).isEmpty() && plot.Shown(Kind::AC).isEmpty());
    EXPECT_EQ(requested->at(1).y(), 50);
}

TEST_F(Trace, AnhystereticBiasAndPulseMarks) {
    ctx.settings.ZAVMODE = 2, ctx.settings.REKFD = 10, ctx.settings.REKFM = 50;
    trace.Run_Begin();
    Execute({{0.25, "5\xaf"},
             {0.5, "10\xaf"},
             {0.51, "50\xf6"},
             {1.5, "5\xae"},
             {1.6, "0\xf6"},
             {2.5, "0\xae"}},
            3);
    // The bias as steps: on at the peak, off at the AC minimum.
    EXPECT_EQ(Ms(plot.Points(Kind::DC)), (QList<QPointF>{{0.51, 50}, {1.6, 50}, {1.6, 0}}));
    EXPECT_EQ(plot.Points(Kind::AC).size(), 5);
    trace.Run_End(Outcome::Done, "");

    // Three alternating pulses ending "+": the direction the controller
    // confirmed before each "G" signs its mark; the field-off report adds none.
    ctx.settings.ZAVMODE = 3, ctx.settings.TOVFP = 12, ctx.settings.TOVNUM = 3;
    trace.Run_Begin();
    for (int dir : {1, 2, 1}) {
        ctx.settings.TOVDIR = Int16(dir);
        Execute({{0.1,
                  "12\xf6"
                  "500\xaa"},
                 {0.6, "0\xf6"}},
                0.6, " FIELD SET \r\n");
    }
    EXPECT_EQ(Ms(plot.Points(Kind::Pulse)), (QList<QPointF>{{0.1, 12}, {1.2, -12}, {2.3, 12}}));
    EXPECT_EQ(plot.Shown(Kind::Pulse).size(), 3);
    EXPECT_TRUE(plot.Points(Kind::AC).isEmpty() && plot.Points(Kind::DC).isEmpty());
    trace.Run_End(Outcome::Done, "");
}

// The legend names what the plot shows, the axes say what it is: an empty plot follows the mode
// the window shows; a run's course keeps its own until the next run.
TEST_F(Trace, EachModeHasItsOwnSeriesAxesAndLegend) {
    ctx.window->show();
    ctx.window->cmdPlot_Click(true);
    const auto shows = [&] {
        QApplication::processEvents();
        QStringList legend, axes;
        for (QLegendMarker* m : plot.Chart()->legend()->markers())
            if (m->isVisible()) legend << m->label();
        for (QAbstractAxis* a : plot.Chart()->axes())
            if (a->isVisible()) axes << a->titleText();
        return (legend.join(", ") + " | " + axes.join(", ")).toStdString();
    };
    const std::string ac = " | Time since G [s], AC field [mT]";
    const std::string acdc = ac + ", DC field [uT]";
    const std::string pulse = " | Time since G [s], Pulse field [mT]";
    EXPECT_EQ(shows(), "AC field" + ac);
    ctx.ui->optZAVMode[3]->setChecked(true);
    EXPECT_EQ(shows(), "Pulses" + pulse);
    ctx.ui->optZAVMode[2]->setChecked(true);
    EXPECT_EQ(shows(), "AC field, DC field" + acdc);

    // Alternating pulses: a peak line each side, one legend entry.
    ctx.settings = {.ZAVMODE = 3, .TOVFP = 12, .TOVNUM = 2};
    trace.Run_Begin();
    EXPECT_EQ(shows(), "Requested, Pulses" + pulse);
    ctx.ui->optZAVMode[1]->setChecked(true);  // refused during the run: the mark goes back
    ctx.ui->optZAVMode[3]->setChecked(true);
    Execute({{0.3, "12\xf6"}, {0.6, "0\xf6"}}, 0.6, " FIELD SET \r\n");
    trace.Run_End(Outcome::Done, "");
    ctx.ui->optZAVMode[1]->setChecked(true);
    EXPECT_EQ(shows(), "Requested, Pulses" + pulse);
    EXPECT_EQ(plot.Points(Kind::Pulse).size(), 1);

    ctx.settings = {.ZAVMODE = 2, .REKFD = 10, .REKFM = 50};
    trace.Run_Begin();
    EXPECT_EQ(shows(), "Requested, AC field, DC field" + acdc);
}

TEST_F(Trace, StoppedRunKeepsItsCourseAndSaysSo) {
    ctx.settings.ZAVMODE = 1, ctx.settings.DMGFD = 100;
    trace.Run_Begin();
    // ABORT during the rise: the controller reports the field off and stops.
    Execute({{0.25, "5\xaf"}, {0.5, "10\xaf"}, {0.7, "0\xae"}}, 0.7, "** STOP \r\n");
    trace.Run_End(Outcome::Stopped, "");
    EXPECT_EQ(Ms(plot.Shown(Kind::AC)),
              (QList<QPointF>{{0.25, 5}, {0.5, 10}, {0.7, 10}, {0.7, 0}}));
    EXPECT_EQ(plot.Chart()->title(), "Stopped");
    tp.clock.Advance(0.5);
    tp.clock.After(0.2, [this] { tp.port.Deliver("25\xaf\r\n"); });
    ctx.cmd->Command_Execute("G", true, false);  // after the run: nothing more is drawn
    EXPECT_EQ(plot.Points(Kind::AC).size(), 4);
}

TEST_F(Trace, ValuesFasterThanTheScreenAreDrawnInBatches) {
    ctx.settings.ZAVMODE = 1, ctx.settings.DMGFD = 200;
    trace.Run_Begin();
    std::vector<std::pair<double, std::string>> burst;
    // After the input flush's 0.2 s of silence, 400 values in two seconds.
    for (int i = 1; i <= 400; ++i)
        burst.push_back({0.3 + i * 0.005, std::to_string(i / 2) + "\xaf"});
    std::vector<qsizetype> shownMidway;
    for (double at : {0.5, 1.0, 1.5})  // (the settle time comes first)
        tp.clock.After(0.5 + 0.3 + at + 0.0025,
                       [&] { shownMidway.push_back(plot.Shown(Kind::AC).size()); });
    const int drawsBefore = plot.Draws();
    Execute(burst, 2.8);
    EXPECT_EQ(plot.Points(Kind::AC).size(), 400);
    EXPECT_EQ(plot.Shown(Kind::AC).size(), 400);
    // Two seconds of values: one draw per refresh period, one at the end.
    EXPECT_LE(plot.Draws() - drawsBefore, int(2.0 / FieldPlot::kRedraw) + 2);
    EXPECT_GE(plot.Draws() - drawsBefore, int(2.0 / FieldPlot::kRedraw) - 2);
    ASSERT_EQ(shownMidway.size(), 3u);
    for (size_t k = 0; k < 3; ++k) {  // the chart lags the values by less than a period
        const qsizetype arrived = qsizetype((k + 1) * 100);
        EXPECT_LE(shownMidway[k], arrived);
        EXPECT_GE(shownMidway[k], arrived - qsizetype(FieldPlot::kRedraw / 0.005) - 1);
    }
}

// ------------------------------------------------------------------ journal

namespace {

struct JournalCase {
    const char* what;
    Settings settings;
    bool tumbler;
    Int16 mmode, mindex;
    std::vector<std::vector<std::pair<int, int>>> executes;  // per "G": (code, value)
    Outcome outcome;
    const char* status;
    const char* step;
    const char* row;
};

}  // namespace

TEST_F(Trace, OneRowPerRunForEachModeAndOutcome) {
    LocalZone prague("Europe/Prague");
    // clang-format off
    const JournalCase runs[] = {
        {"three axes with the tumbler, done",
         {.ZAVMODE = 1, .DMODE = 8, .DMGFD = 80, .DMGER = 1, .DMGES = 2, .DMGET = 5}, true, 7, 1,
         {{{175, 40}, {175, 80}, {174, 40}, {174, 0}}, {{175, 79}}, {{175, 81}, {174, 0}}},
         Outcome::Done, "", "",
         "2026-12-06T10:00:00+01:00,2026-12-06T10:01:00+01:00,DEMAGNETIZER,LT-AF-Z,80,81,,,,,,,"
         "Fast,Linear,5,Three axes (+x +y +z),3,41.5,,done,60.0"},
        {"one axis without the tumbler, stopped, preset by the magnetometer program",
         {.ZAVMODE = 1, .DMODE = 2, .DMGFD = 150, .DMGER = 2, .DMGES = 3, .DMGET = 0}, false, 0, 0,
         {{{175, 20}}}, Outcome::Stopped, "", "STEP 12 AF 150",
         "2026-12-06T10:00:00+01:00,2026-12-06T10:00:20+01:00,DEMAGNETIZER,LT-AF-Z,150,20,,,,,,,"
         "Medium,Slowing,0,Tumbler not used,1,41.5,STEP 12 AF 150,stopped,20.0"},
        {"anhysteretic at a magnetizing position, error",
         {.ZAVMODE = 2, .REKFD = 100, .REKFM = 50, .REKFA = 10, .REKER = 0, .REKES = 1, .REKET = 3},
         true, 8, 2, {{{175, 100}, {246, 50}, {174, 99}}}, Outcome::Error,
         " ## Hypex Overheated , \"fan\" ", "",
         "2026-12-06T10:00:00+01:00,2026-12-06T10:00:20+01:00,ANHYSTERETIC,LT-AF-I,100,100,10,50,,,"
         ",,Extra fast,Speeding,3,A2,1,41.5,,\"error: ## Hypex Overheated , \"\"fan\"\"\",20.0"},
        {"two pulses ending minus: the first one is plus",
         {.ZAVMODE = 3, .TOVFP = 12, .TOVET = 5, .TOVDIR = 2, .TOVNUM = 2}, false, 0, 0,
         {{{246, 12}, {246, 0}}, {{246, 12}, {246, 0}}}, Outcome::Done, "", "",
         "2026-12-06T10:00:00+01:00,2026-12-06T10:00:40+01:00,PULSE,LT-IRM,,,,,12,0.5,2,+,,,,,,"
         "41.5,,done,40.0"},
        {"a short pulse at a position",
         {.ZAVMODE = 3, .TOVFP = 20, .TOVET = 0, .TOVDIR = 1, .TOVNUM = 1}, true, 1, 1,
         {{{246, 20}}}, Outcome::Done, "", "",
         "2026-12-06T10:00:00+01:00,2026-12-06T10:00:20+01:00,PULSE,LT-IRM,,,,,20,0.01,1,+,,,,"
         "+x,,41.5,,done,20.0"},
    };
    // clang-format on
    for (const JournalCase& r : runs) {
        SCOPED_TRACE(r.what);
        TestProgram p;
        Ctx& c = p.ctx();
        c.settings = r.settings;
        c.pos.TumblerUsed = r.tumbler;
        c.pos.MMode = r.mmode, c.pos.MIndex = r.mindex;
        c.ui->lblMMode->setText(r.mmode >= 7
                                    ? QString("UABPCD"[r.mmode - 7]) + QString::number(r.mindex)
                                : r.mmode ? "+x"
                                          : "");
        if (*r.step) c.trace->Step_Applied(r.step);
        c.trace->Run_Begin();
        // The controller confirms each pulse's direction before its "G": they
        // alternate so that the last has the chosen one.
        int dir = (r.settings.TOVNUM % 2 == 0) ? 3 - r.settings.TOVDIR : r.settings.TOVDIR;
        for (const auto& values : r.executes) {
            c.instr.CoilTempC = 38.0f;
            p.clock.Advance(5);
            c.instr.CoilTempC = 41.5f;  // read last before "G"
            if (r.settings.ZAVMODE == 3) c.settings.TOVDIR = Int16(dir), dir = 3 - dir;
            c.trace->Execute_Begin();
            for (auto [code, value] : values) c.trace->Field_Value((unsigned char)code, value);
            p.clock.Advance(15);
            c.trace->Execute_End();
        }
        c.trace->Run_End(r.outcome, r.status);
        EXPECT_EQ(ReadBytes(Journal::File(c.paths)),
                  "started,finished,mode,method_codes,ac_peak_set_mT,ac_peak_reached_mT,ac_min_mT,"
                  "dc_field_uT,pulse_field_mT,pulse_time,pulses,first_direction,rate,course,"
                  "ramp_time_s,axes,passes,coil_temp_C,step,outcome,duration_s\r\n" +
                      std::string(r.row) + "\r\n");
    }
}

TEST_F(Trace, RunsWithoutGLeaveNoRowAndFieldsAreQuoted) {
    trace.Run_Begin();
    trace.Run_End(Outcome::Error, "## NO MESSAGE RECEIVED!");  // ended before "G"
    EXPECT_FALSE(std::filesystem::exists(Journal::File(ctx.paths)));

    const std::pair<const char*, const char*> fields[] = {{"plain", "plain"},
                                                          {"", ""},
                                                          {"a,b", "\"a,b\""},
                                                          {"say \"hi\"", "\"say \"\"hi\"\"\""},
                                                          {"two\r\nlines", "\"two\r\nlines\""},
                                                          {"Žďár 5 µT", "Žďár 5 µT"}};
    QStringList row;
    for (auto [in, out] : fields) {
        EXPECT_EQ(Journal::Field_Quote(QString::fromUtf8(in)), QString::fromUtf8(out));
        row << QString::fromUtf8(in);
    }
    // What is written reads back unchanged, line breaks and all.
    const QByteArray text = Journal::Record(row) + Journal::Record({"x", "y"});
    EXPECT_EQ(Journal::Records_Parse(text), (std::vector<QStringList>{row, {"x", "y"}}));
    EXPECT_EQ(text.left(12), "plain,,\"a,b\"");
}

TEST_F(Trace, UnwritableJournalIsToldOnceAndKeepsItsRows) {
    const auto file = Journal::File(ctx.paths);
    std::filesystem::create_directory(file);  // a folder where the file should be
    const auto run = [&](int peak) {
        trace.Run_Begin();
        trace.Execute_Begin();
        trace.Field_Value(175, peak);
        trace.Execute_End();
        trace.Run_End(Outcome::Done, "");
    };
    {
        // The run still holds the instrument: the notice waits for its end.
        Activity::Scope running(*ctx.activity);
        ctx.status->Text("RUNNING");
        run(10);
        EXPECT_EQ(ctx.ui->picStat[1]->Text(), "RUNNING");
    }
    QApplication::processEvents();
    // The path as it is, not in capitals: a path names one file on Linux.
    const QString told = "JOURNAL CANNOT BE WRITTEN: " + QString::fromStdString(file.string());
    EXPECT_EQ(ctx.ui->picStat[1]->Text(), told);
    EXPECT_EQ(ctx.ui->picStat[0]->Back(), kLightOrange);
    ctx.status->Status_Show(true);
    run(20);  // told once only
    EXPECT_EQ(ctx.ui->picStat[1]->Text(), "INSTRUMENT IS READY");
    EXPECT_EQ(trace.Log().Pending(), 2);

    std::filesystem::remove(file);  // the spreadsheet let go of it
    run(30);
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(Column(rows[0], "ac_peak_reached_mT") + Column(rows[1], "ac_peak_reached_mT") +
                  Column(rows[2], "ac_peak_reached_mT"),
              "102030");
    // A later failure is told again.
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    run(40);
    QApplication::processEvents();
    EXPECT_EQ(ctx.ui->picStat[1]->Text(), told);

    // Still unwritable at the exit: the row goes beside it, and the exit says so.
    const Journal::Unsaved unsaved = trace.Log().Unsaved_Save();
    const auto beside = file.parent_path() / "journal-unsaved.csv";
    EXPECT_EQ(unsaved.rows, 1);
    EXPECT_EQ(unsaved.file, beside);
    EXPECT_EQ(unsaved.Text(), "1 journal row could not be written to\n" +
                                  QString::fromStdString(file.string()) + ".\n\nIt is saved in\n" +
                                  QString::fromStdString(beside.string()) + ".");
    const auto kept = Journal::Rows_Read(beside, -1);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(Column(kept[0], "ac_peak_reached_mT"), "40");
    EXPECT_EQ(trace.Log().Pending(), 0);
}

TEST(JournalFile, FullDiskAndFailedSyncLeaveEachRowWholeAndOnce) {
    QTemporaryDir dir;
    const std::filesystem::path file = dir.path().toStdString() + "/journal.csv";
    bool syncFails = false;
    Journal journal(file, [&](int) { return !syncFails; });
    const auto row = [](const char* tag) { return QStringList{tag, QString(300, 'x')}; };
    ASSERT_TRUE(journal.Append(row("a")));
    const std::string before = ReadBytes(file);

    // The disk fills up in the middle of the next row.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit full = old;
    full.rlim_cur = before.size() + 100;
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &full);
    const bool written = journal.Append(row("b"));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadBytes(file), before);
    // The sync of a whole write fails.
    syncFails = true;
    EXPECT_FALSE(journal.Append(row("c")));
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(journal.Pending(), 2);

    syncFails = false;
    EXPECT_TRUE(journal.Append(row("d")));
    EXPECT_EQ(ReadBytes(file), before + (Journal::Record(row("b")) + Journal::Record(row("c")) +
                                         Journal::Record(row("d")))
                                            .toStdString());
}

TEST_F(Trace, NumbersKeepTheirPointInADecimalCommaLocale) {
    LocalZone utc("UTC");
    const std::string old = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "de_DE");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ctx.settings = {.ZAVMODE = 3, .TOVFP = 7, .TOVET = 15, .TOVNUM = 1};
    trace.Run_Begin();
    ctx.instr.CoilTempC = 40.34f;
    trace.Execute_Begin();
    tp.clock.Advance(12.34);
    trace.Execute_End();
    trace.Run_End(Outcome::Done, "");
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, old.c_str());
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(Column(rows[0], "pulse_time") + " " + Column(rows[0], "coil_temp_C") + " " +
                  Column(rows[0], "duration_s"),
              "1.5 40.3 12.3");
    EXPECT_EQ(Column(rows[0], "started"), "2026-12-06T10:00:00+00:00");
    EXPECT_EQ(rows[0].size(), Journal::Columns().size());
}

TEST_F(Trace, CrashBetweenRunsLosesNothingWritten) {
    const auto file = Journal::File(ctx.paths);
    ctx.settings = {.ZAVMODE = 1, .DMGFD = 30};
    const auto run = [&](int peak, bool end) {
        trace.Run_Begin();
        trace.Execute_Begin();
        trace.Field_Value(175, peak);
        trace.Execute_End();
        if (end) trace.Run_End(Outcome::Done, "");
    };
    run(30, true);
    const std::string first = ReadBytes(file);
    run(31, false);  // the program dies during this run
    EXPECT_EQ(ReadBytes(file), first);
    {
        // Another start of the program, whose journal a crash left torn.
        std::ofstream(file, std::ios::app | std::ios::binary) << "2026-12-06T10:00:00+01:00,20";
        TestProgram again;
        again.ctx().paths = ctx.paths;
        RunTrace later(again.ctx());
        again.ctx().settings = ctx.settings;
        later.Run_Begin();
        later.Execute_Begin();
        later.Field_Value(175, 32);
        later.Execute_End();
        later.Run_End(Outcome::Done, "");
    }
    const std::string now = ReadBytes(file);
    EXPECT_EQ(now.substr(0, first.size()), first);
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 3u);  // the first run, the torn line, the new run
    EXPECT_EQ(Column(rows[0], "ac_peak_reached_mT"), "30");
    EXPECT_EQ(rows[1], (QStringList{"2026-12-06T10:00:00+01:00", "20"}));
    EXPECT_EQ(Column(rows[2], "ac_peak_reached_mT"), "32");
    EXPECT_EQ(std::count(now.begin(), now.end(), '\n'), 4);  // one header only
}

// ------------------------------------------------------------------ window

namespace {

// A whole run's course through the trace, on the fake clock.
void SimulatedCourse(TestProgram& p) {
    Ctx& c = p.ctx();
    RunTrace& t = *c.trace;
    t.Run_Begin();
    t.Execute_Begin();
    const Settings& s = c.settings;
    const double peak = s.ZAVMODE == 1 ? s.DMGFD : s.REKFD;
    for (double f = 5; f <= peak; f += 5) p.clock.Advance(0.25), t.Field_Value(175, f);
    if (s.ZAVMODE == 2) t.Field_Value(246, s.REKFM);
    p.clock.Advance(s.ZAVMODE == 1 ? s.DMGET : s.REKET);
    const double rate = 3;  // "Fast"
    for (double f = peak; f >= 0; f -= rate * 0.25) {
        p.clock.Advance(0.25);
        t.Field_Value(174, std::round(f));
        if (s.ZAVMODE == 2 && f <= s.REKFA && f + rate * 0.25 > s.REKFA) t.Field_Value(246, 0);
    }
    t.Execute_End();
    t.Run_End(Outcome::Done, "");
}

}  // namespace

TEST(TraceWindow, PlotAndJournalInBothLayoutsWithScreenshots) {
    LocalZone prague("Europe/Prague");
    for (bool touch : {false, true}) {
        SCOPED_TRACE(touch ? "tablet" : "desktop");
        TestProgram tp;
        Settings_Save(tp.Dir() / "ZAVO.sav", {.ZAVMODE = 2,
                                              .REKFD = 60,
                                              .REKFM = 50,
                                              .REKFA = 20,
                                              .REKER = 1,
                                              .REKET = 3,
                                              .TOUCHMODE = touch});
        Ctx& ctx = tp.ctx();
        MainWindow& w = *ctx.window;
        w.Form_Load();
        ctx.options->Controls_Enable(true);
        ctx.enabling->Panels_Enable(true);
        ctx.enabling->FieldMeters_Enable(true);
        ctx.status->Status_Show(true);
        w.show();
        // A common tablet screen.
        if (touch) w.setWindowState(Qt::WindowNoState), w.resize(1280, 800);
        QApplication::processEvents();
        if (touch) w.resize(1280, 800), QApplication::processEvents();
        auto* plotFrame = w.findChild<QWidget*>("fraPlot");
        auto* cmdPlot = w.findChild<QPushButton*>("cmdPlot");
        auto* cmdJournal = w.findChild<QPushButton*>("cmdJournal");
        ASSERT_TRUE(plotFrame && cmdPlot && cmdJournal);
        EXPECT_EQ(cmdPlot->focusPolicy(), Qt::NoFocus);
        if (touch) {
            // In the band below the settings, beside the journal among the commands.
            EXPECT_TRUE(plotFrame->isVisible() && !cmdPlot->isVisible());
            EXPECT_EQ(w.height(), 800);
            EXPECT_GE(plotFrame->height(), 120);
            EXPECT_LT(plotFrame->geometry().bottom(), ctx.ui->fraCmd->geometry().top());
            EXPECT_EQ(cmdJournal->parentWidget(), ctx.ui->fraCmd);
            EXPECT_GE(cmdJournal->height(), ctx.ui->cmdStart->height());
        } else {
            EXPECT_FALSE(plotFrame->isVisible());
            const int before = w.height();
            cmdPlot->click();
            QApplication::processEvents();
            EXPECT_TRUE(plotFrame->isVisible());
            EXPECT_GE(w.height(), before + plotFrame->minimumHeight());
            cmdPlot->click();
            QApplication::processEvents();
            EXPECT_FALSE(plotFrame->isVisible());
            EXPECT_LE(w.height(), before + 10);
            cmdPlot->click();  // shown for the rest of the session
            QApplication::processEvents();
        }
        SimulatedCourse(tp);
        QApplication::processEvents();
        EXPECT_EQ(ctx.trace->Plot()->Shown(Kind::AC).size(),
                  ctx.trace->Plot()->Points(Kind::AC).size());
        tp.Screenshot(touch ? "tablet-field-plot" : "desktop-field-plot");

        SimulatedCourse(tp);
        cmdJournal->click();
        JournalView* view = w.Journal_View();
        ASSERT_TRUE(view);
        QApplication::processEvents();
        QTableWidget* table = view->Table();
        EXPECT_EQ(table->rowCount(), 2);
        EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        const auto column = [](const char* name) { return int(Journal::Columns().indexOf(name)); };
        // Newest first, in local time to the minute; the stored stamp in the tooltip.
        const QTableWidgetItem* started = table->item(1, column("started"));
        EXPECT_EQ(started->text() + " " + started->toolTip(),
                  "06-12-2026 10:00 2026-12-06T10:00:00+01:00");
        EXPECT_GT(table->item(0, column("started"))->toolTip(), started->toolTip());
        EXPECT_EQ(table->item(0, column("mode"))->text(), "ANHYSTERETIC");
        // Headers a reader knows; what a reader looks for first is in view without scrolling,
        // what no run of the list fills is left out.
        const QHeaderView* header = table->horizontalHeader();
        for (auto [name, caption] : {std::pair{"started", "Started"},
                                     {"mode", "Mode"},
                                     {"ac_peak_set_mT", "Peak set\n[mT]"},
                                     {"ac_peak_reached_mT", "Peak reached\n[mT]"},
                                     {"ac_min_mT", "AC min\n[mT]"},
                                     {"dc_field_uT", "DC\n[uT]"},
                                     {"outcome", "Outcome"}}) {
            SCOPED_TRACE(name);
            const int c = column(name);
            EXPECT_EQ(table->horizontalHeaderItem(c)->text(), caption);
            EXPECT_FALSE(table->isColumnHidden(c));
            EXPECT_LE(header->sectionViewportPosition(c) + header->sectionSize(c),
                      table->viewport()->width());
        }
        EXPECT_TRUE(table->isColumnHidden(column("pulse_field_mT")) &&
                    table->isColumnHidden(column("step")));
        QUrl opened;
        view->Folder_Open = [&](const QUrl& u) { return opened = u, true; };
        view->findChild<QPushButton*>("cmdFolder")->click();
        EXPECT_EQ(opened, QUrl::fromLocalFile(QString::fromStdString(tp.Dir().string())));
        view->Folder_Open = [](const QUrl&) { return false; };
        view->findChild<QPushButton*>("cmdFolder")->click();
        EXPECT_TRUE(view->Note()->text().contains("could not be opened"));
        view->grab().save(QString::fromStdString(
            (ScreenshotDir() / (touch ? "tablet-journal.png" : "desktop-journal.png")).string()));
        // The settings file keeps its 25 lines: the panel's state is not saved.
        const std::string saved = ReadBytes(tp.Dir() / "ZAVO.sav");
        EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 25);
    }
}
