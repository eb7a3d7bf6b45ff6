// The live field plot and the treatment journal, fed as a run feeds them.
#include <sys/resource.h>

#include <QtCharts>
#include <QtWidgets>
#include <clocale>
#include <csignal>

#include "core/Activity.h"
#include "link/CommandLink.h"
#include "link/StatusLine.h"
#include "operations/Journal.h"
#include "operations/RunTrace.h"
#include "panel/FieldPlot.h"
#include "panel/SettingsFile.h"
#include "panel_test.h"

using namespace zavo;
using namespace zavo::test;
using Kind = FieldPlot::Kind;
using Outcome = RunTrace::Outcome;
using Points = QList<QPointF>;
using Bytes = std::vector<std::pair<double, std::string>>;  // seconds after "G", text

namespace {

Points Ms(Points points) {  // rounded to the millisecond
    for (QPointF& p : points) p.setX(std::round(p.x() * 1000) / 1000);
    return points;
}

struct LocalZone {  // the test's local time zone
    explicit LocalZone(const char* zone) : old(getenv("TZ") ? getenv("TZ") : "") {
        setenv("TZ", zone, 1), tzset();
    }
    ~LocalZone() { old.empty() ? unsetenv("TZ") : setenv("TZ", old.c_str(), 1), tzset(); }
    std::string old;
};

QString Column(const QStringList& row, const char* name) {
    return row.value(Journal::Columns().indexOf(name));
}

struct Trace : Panel {
    RunTrace& trace = *ctx.trace;
    FieldPlot& plot = *trace.Plot();
    QChart& chart = *plot.Chart();

    void SetUp() override { ASSERT_TRUE(tp.port.Open(1)); }
    // One "G" whose reply brings each text at its time, then `last` at `end`.
    void Execute(const Bytes& bytes, double end, const std::string& last = "End of Ramp \r\n") {
        tp.clock.Advance(0.5);  // the run's settle time: the line is quiet before "G"
        for (const auto& [at, text] : bytes)
            tp.clock.After(at, [this, text] { tp.port.Deliver(text); });
        tp.clock.After(end, [this, last] { tp.port.Deliver(last); });
        trace.Execute_Begin();
        ctx.cmd->Command_Execute("G", true, false);
        trace.Execute_End();
    }
    // A run of one "G" reporting a single AC value, fed to the trace directly.
    void Run(int reached, bool end = true) {
        trace.Run_Begin(), trace.Execute_Begin(), trace.Field_Value(175, reached);
        trace.Execute_End();
        if (end) trace.Run_End(Outcome::Done, "");
    }
    auto Rows() const { return Journal::Rows_Read(Journal::File(ctx.paths), -1); }
};

}  // namespace

TEST_F(Trace, PlotFollowsTheInBandValuesOfEachG) {
    s.ZAVMODE = 1, s.DMGFD = 20;
    Execute({{0.2, "15\xaf"}}, 0.5);  // outside a run (the service terminal's "G"): not drawn
    trace.Run_Begin();
    EXPECT_TRUE(plot.Points(Kind::AC).isEmpty());
    // Rising in 0.25 s steps of 5 mT, a second at the peak (its time counted down), falling.
    Bytes course{{0.01, "\x18"}, {1, "1\xaa"}, {2, "\x19"}};
    for (int k = 1; k <= 4; ++k) course.push_back({k * 0.25, std::to_string(5 * k) + "\xaf"});
    for (int k = 1; k <= 4; ++k)
        course.push_back({2 + k * 0.25, std::to_string(20 - 5 * k) + "\xae"});
    qsizetype midway = -1;  // drawn while "G" still runs
    tp.clock.After(0.5 + 1.6, [&] { midway = plot.Shown(Kind::AC).size(); });
    Execute(course, 20);
    // The peak held until the first report of the fall, not a slope across the hold.
    const Points drawn{{0.25, 5},  {0.5, 10}, {0.75, 15}, {1, 20}, {2.25, 20},
                       {2.25, 15}, {2.5, 10}, {2.75, 5},  {3, 0}};
    EXPECT_EQ(std::tuple(Ms(plot.Points(Kind::AC)), Ms(plot.Shown(Kind::AC)), midway),
              std::tuple(drawn, drawn, 4));
    EXPECT_TRUE(plot.Points(Kind::DC).isEmpty() && plot.Points(Kind::Pulse).isEmpty());
    // Three axes: the next pass goes on in the time of the first, off until it rises again.
    tp.clock.Advance(10);
    Execute({{0.5, "7\xaf"}}, 1);
    EXPECT_EQ(Ms(plot.Points(Kind::AC)).mid(9), (Points{{31, 0}, {31, 7}}));
    // Stopped: the course stays, says so, and takes nothing more until the next run.
    trace.Run_End(Outcome::Stopped, "");
    tp.clock.Advance(60);
    Execute({{0.2, "25\xaf"}}, 0.5);
    EXPECT_EQ(std::pair(plot.Shown(Kind::AC).size(), chart.title()),
              std::pair(qsizetype(11), QString("Stopped")));
    trace.Run_Begin();
    EXPECT_TRUE(plot.Points(Kind::AC).isEmpty() && plot.Shown(Kind::AC).isEmpty() &&
                chart.title() == "");
}

TEST_F(Trace, AnhystereticBiasAndPulseMarks) {
    s.ZAVMODE = 2, s.REKFD = 10, s.REKFM = 50;
    trace.Run_Begin();
    // clang-format off
    Execute({{0.25, "5\xaf"}, {0.5, "10\xaf"}, {0.51, "50\xf6"}, {1.5, "5\xae"}, {1.6, "0\xf6"},
             {2.5, "0\xae"}}, 3);
    // clang-format on
    // The bias as steps: on at the peak, off at the AC minimum.
    EXPECT_EQ(Ms(plot.Points(Kind::DC)), (Points{{0.51, 50}, {1.6, 50}, {1.6, 0}}));
    EXPECT_EQ(plot.Points(Kind::AC).size(), 5);
    trace.Run_End(Outcome::Done, "");
    // Three alternating pulses ending "+": the direction the controller confirmed before each
    // "G" signs its mark; the field-off report adds none.
    s.ZAVMODE = 3, s.TOVFP = 12, s.TOVNUM = 3;
    trace.Run_Begin();
    for (int dir : {1, 2, 1}) {
        s.TOVDIR = Int16(dir);
        Execute({{0.1, "12\xf6" + std::string("500\xaa")}, {0.6, "0\xf6"}}, 0.6, " FIELD SET \r\n");
    }
    EXPECT_EQ(Ms(plot.Points(Kind::Pulse)), (Points{{0.1, 12}, {1.2, -12}, {2.3, 12}}));
    EXPECT_EQ(plot.Shown(Kind::Pulse).size(), 3);
    EXPECT_TRUE(plot.Points(Kind::AC).isEmpty() && plot.Points(Kind::DC).isEmpty());
}

// The dashed line is the peak asked for; pulses that may go "-" get a second one below zero.
TEST_F(Trace, RequestedPeakAndTheSideOfThePulses) {
    // clang-format off
    for (auto [mode, dir, pulses, peak, below] : {std::tuple{1, 2, 2, 20, false},
             {2, 2, 2, 60, false}, {3, 1, 1, 12, false}, {3, 2, 1, 12, true}, {3, 1, 2, 12, true}}) {
        // clang-format on
        s = {.ZAVMODE = Int16(mode), .DMGFD = 20, .REKFD = 60, .TOVFP = 12};
        s.TOVDIR = Int16(dir), s.TOVNUM = Int16(pulses);
        trace.Run_Begin();
        const auto* upper = static_cast<QLineSeries*>(chart.series()[0]);
        const auto* lower = static_cast<QLineSeries*>(chart.series()[1]);
        const auto* axis = static_cast<QValueAxis*>(chart.axes(Qt::Vertical, chart.series()[0])[0]);
        EXPECT_EQ(
            std::tuple(upper->at(1).y(), upper->isVisible(), lower->isVisible(), axis->min() < 0),
            std::tuple(peak, true, below, below))
            << "mode " << mode << " dir " << dir << " pulses " << pulses;
        trace.Run_End(Outcome::Done, "");
    }
}

// One row per run for each mode and outcome, with "." decimals in a decimal-comma locale.
TEST(JournalRows, OneRowPerRunForEachModeAndOutcome) {
    LocalZone prague("Europe/Prague");
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const struct {
        Settings settings;
        const char* position;                    // with the tumbler; none without
        std::vector<std::vector<int>> executes;  // per "G": code, value, code, value, ...
        Outcome outcome;
        const char *status, *step;
        const char* row;  // after the start at 10:00:00 and the end's date
    } runs[] = {
        // clang-format off
        // three axes with the tumbler, done
        {{.ZAVMODE = 1, .DMODE = 8, .DMGFD = 80, .DMGER = 1, .DMGES = 2, .DMGET = 5}, "",
         {{175, 40, 175, 80, 174, 40, 174, 0}, {175, 79}, {175, 81, 174, 0}}, Outcome::Done, "", "",
         "10:01:00+01:00,DEMAGNETIZER,LT-AF-Z,80,81,,,,,,,Fast,Linear,5,Three axes (+x +y +z),3,"
         "41.5,,done,60.0"},
        // one axis without the tumbler, stopped, preset by the magnetometer program
        {{.ZAVMODE = 1, .DMODE = 2, .DMGFD = 150, .DMGER = 2, .DMGES = 3, .DMGET = 0}, nullptr,
         {{175, 20}}, Outcome::Stopped, "", "STEP 12 AF 150",
         "10:00:20+01:00,DEMAGNETIZER,LT-AF-Z,150,20,,,,,,,Medium,Slowing,0,Tumbler not used,1,"
         "41.5,STEP 12 AF 150,stopped,20.0"},
        // anhysteretic at a magnetizing position, error
        {{.ZAVMODE = 2, .REKFD = 100, .REKFM = 50, .REKFA = 10, .REKER = 0, .REKES = 1, .REKET = 3},
         "A2", {{175, 100, 246, 50, 174, 99}}, Outcome::Error, " ## Hypex Overheated , \"fan\" ", "",
         "10:00:20+01:00,ANHYSTERETIC,LT-AF-I,100,100,10,50,,,,,Extra fast,Speeding,3,A2,1,41.5,,"
         "\"error: ## Hypex Overheated , \"\"fan\"\"\",20.0"},
        // two pulses ending "-": the first one is "+"
        {{.ZAVMODE = 3, .TOVFP = 12, .TOVET = 15, .TOVDIR = 2, .TOVNUM = 2}, nullptr,
         {{246, 12, 246, 0}, {246, 12, 246, 0}}, Outcome::Done, "", "",
         "10:00:40+01:00,PULSE,LT-IRM,,,,,12,1.5,2,+,,,,,,41.5,,done,40.0"},
        // a short pulse at a position
        {{.ZAVMODE = 3, .TOVFP = 20, .TOVET = 0, .TOVDIR = 1, .TOVNUM = 1}, "+x", {{246, 20}},
         Outcome::Done, "", "", "10:00:20+01:00,PULSE,LT-IRM,,,,,20,0.01,1,+,,,,+x,,41.5,,done,20.0"},
        // clang-format on
    };
    for (const auto& r : runs) {
        PanelProgram p;
        p.s = r.settings;
        if ((p.ctx.pos.TumblerUsed = r.position)) p.ui.lblMMode->setText(r.position);
        if (*r.step) p.ctx.trace->Step_Applied(r.step);
        p.ctx.trace->Run_Begin();
        // The controller confirms each pulse's direction before its "G": they alternate so
        // that the last has the chosen one.
        int dir = r.settings.TOVNUM % 2 == 0 ? 3 - r.settings.TOVDIR : r.settings.TOVDIR;
        for (const std::vector<int>& values : r.executes) {
            p.ctx.instr.CoilTempC = 38.0f;
            p.tp.clock.Advance(5);
            p.ctx.instr.CoilTempC = 41.54f;  // read last before "G"
            if (r.settings.ZAVMODE == 3) p.s.TOVDIR = Int16(dir), dir = 3 - dir;
            p.ctx.trace->Execute_Begin();
            for (size_t i = 0; i < values.size(); i += 2)
                p.ctx.trace->Field_Value((unsigned char)values[i], values[i + 1]);
            p.tp.clock.Advance(15);
            p.ctx.trace->Execute_End();
        }
        p.ctx.trace->Run_End(r.outcome, r.status);
        EXPECT_EQ(ReadBytes(Journal::File(p.ctx.paths)),
                  "started,finished,mode,method_codes,ac_peak_set_mT,ac_peak_reached_mT,ac_min_mT,"
                  "dc_field_uT,pulse_field_mT,pulse_time,pulses,first_direction,rate,course,"
                  "ramp_time_s,axes,passes,coil_temp_C,step,outcome,duration_s\r\n"
                  "2026-12-06T10:00:00+01:00,2026-12-06T" +
                      std::string(r.row) + "\r\n");
    }
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, locale.c_str());
}

TEST_F(Trace, RunsWithoutGLeaveNoRowAndFieldsReadBackAsWritten) {
    trace.Run_Begin();
    trace.Run_End(Outcome::Error, "## NO MESSAGE RECEIVED!");  // ended before "G"
    EXPECT_FALSE(std::filesystem::exists(Journal::File(ctx.paths)));
    const QStringList row{"plain", "", "a,b", "say \"hi\"", "two\r\nlines", "Žďár 5 µT"};
    const QByteArray text = Journal::Record(row) + Journal::Record({"x", ""});  // last one empty
    EXPECT_EQ(text, "plain,,\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\",Žďár 5 µT\r\nx,\r\n");
    EXPECT_EQ(Journal::Records_Parse(text), (std::vector<QStringList>{row, {"x", ""}}));
}

// An unwritable journal is told once, after the run, path as is; its rows wait for the next write.
TEST_F(Trace, UnwritableJournalIsToldOnceAndKeepsItsRows) {
    const auto file = Journal::File(ctx.paths);
    const QString path = QString::fromStdString(file.string()),
                  told = "JOURNAL CANNOT BE WRITTEN: " + path;
    std::filesystem::create_directory(file);  // a folder where the file should be
    {
        Activity::Scope running(*ctx.activity);
        ctx.status->Text("RUNNING");
        Run(10);
        EXPECT_EQ(ctx.ui->picStat[1]->Text(), "RUNNING");
    }
    QApplication::processEvents();
    EXPECT_EQ(std::pair(ui.picStat[1]->Text(), ui.picStat[0]->Back()),
              std::pair(told, kLightOrange));
    ctx.status->Status_Show(true);
    Run(20);
    EXPECT_EQ(std::pair(ui.picStat[1]->Text(), trace.Log().Pending()),
              std::pair(QString("INSTRUMENT IS READY"), 2));
    std::filesystem::remove(file);  // the spreadsheet let go of it
    Run(30);
    QStringList reached;
    for (const QStringList& r : Rows()) reached << Column(r, "ac_peak_reached_mT");
    EXPECT_EQ(reached, (QStringList{"10", "20", "30"}));
    std::filesystem::remove(file), std::filesystem::create_directory(file);
    Run(40);  // a later failure is told again
    QApplication::processEvents();
    EXPECT_EQ(ui.picStat[1]->Text(), told);
}

TEST(JournalFile, FullDiskAndFailedSyncLeaveEachRowWholeAndOnce) {
    QTemporaryDir dir;
    const std::filesystem::path file = dir.path().toStdString() + "/journal.csv";
    bool syncFails = false;
    Journal journal(file, [&](int) { return !syncFails; });
    const auto row = [](const char* tag) { return QStringList{tag, QString(300, 'x')}; };
    ASSERT_TRUE(journal.Append(row("a")));
    const std::string before = ReadBytes(file);
    rlimit old{};  // the disk fills up in the middle of the next row
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit full{before.size() + 100, old.rlim_max};
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &full);
    EXPECT_FALSE(journal.Append(row("b")));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(ReadBytes(file), before);
    syncFails = true;  // the sync of a whole write fails
    EXPECT_FALSE(journal.Append(row("c")));
    EXPECT_EQ(std::pair(ReadBytes(file), journal.Pending()), std::pair(before, 2));
    syncFails = false;
    EXPECT_TRUE(journal.Append(row("d")));
    EXPECT_EQ(ReadBytes(file), before + (Journal::Record(row("b")) + Journal::Record(row("c")) +
                                         Journal::Record(row("d")))
                                            .toStdString());
}

// A crash loses at most the run in progress; the next start appends after a torn line.
TEST_F(Trace, CrashBetweenRunsLosesNothingWritten) {
    LocalZone utc("UTC");
    const auto file = Journal::File(ctx.paths);
    Run(30);
    const std::string first = ReadBytes(file);
    Run(31, false);  // the program dies during this run
    EXPECT_EQ(ReadBytes(file), first);
    std::ofstream(file, std::ios::app | std::ios::binary) << "2026-12-06T10:00:00+01:00,20";
    {
        TestProgram again;
        again.ctx().paths = ctx.paths;
        RunTrace later(again.ctx());
        later.Run_Begin(), later.Execute_Begin(), later.Field_Value(175, 32);
        later.Execute_End(), later.Run_End(Outcome::Done, "");
    }
    const std::string now = ReadBytes(file);
    const auto rows = Rows();
    EXPECT_EQ(now.substr(0, first.size()), first);
    EXPECT_EQ(std::count(now.begin(), now.end(), '\n'), 4);  // one header only
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(Column(rows[0], "ac_peak_reached_mT") + " " + Column(rows[0], "started"),
              "30 2026-12-06T10:00:00+00:00");
    EXPECT_EQ(rows[1], (QStringList{"2026-12-06T10:00:00+01:00", "20"}));
    EXPECT_EQ(Column(rows[2], "ac_peak_reached_mT"), "32");
}
