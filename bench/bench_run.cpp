// Whole runs against the virtual controller on a pseudo-terminal: a
// demagnetization and a three-pulse series. The program's own share of a run
// is what remains of its length after the waits the sequence prescribes
// (measured by the same run on the fake clock against an instant unit), the
// controller's course and reply time (from its transcript, replies paced at
// 9600 baud).

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "app/Program.h"
#include "core/Clock.h"
#include "e2e_harness.h"
#include "link/CommandLink.h"
#include "link/QtSerialPort.h"
#include "operations/ModeSwitch.h"
#include "operations/RunSequence.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "support/FakeUnit.h"
#include "support/TestProgram.h"

using namespace zavo;

namespace {

constexpr double kByte = 10.0 / 9600;  // start, 8 data, stop bit

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// The two treatments, on whichever program they are given.
void Prepare(Ctx& c, Int16 mode) {
    Settings& s = c.settings;
    if (mode == 3) c.modes->ZAVMode_Set(3);
    s.ZAVMODE = mode, s.DMODE = 0;
    s.DMGFD = 20, s.DMGER = 0, s.DMGES = 2, s.DMGET = 1;
    s.TOVFP = 5, s.TOVET = 10, s.TOVDIR = 1, s.TOVNUM = 3;
    c.limits->Limits_Set();
    c.options->Controls_Enable(true);
    c.enabling->Panels_Enable(true);
}

void Ready(Ctx& c) {
    SetTag(c.ui->cmdStop, "1");
    c.run.InstrReady = true;
    c.instr.ModeWordWanted = 1;
}

// One transcript entry: seconds since the tool started, kind, unescaped length.
struct Entry {
    double t;
    std::string kind, text;
};

std::vector<Entry> Read(const std::string& file) {
    std::vector<Entry> out;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        std::istringstream l(line);
        Entry e;
        l >> e.t >> e.kind;
        const size_t q = line.find('"');
        e.text = line.substr(q + 1, line.size() - q - 2);
        out.push_back(e);
    }
    return out;
}

// Bytes of an escaped transcript text ("\r" and "\xNN" are one byte each).
size_t Bytes(const std::string& escaped) {
    size_t n = 0;
    for (size_t i = 0; i < escaped.size(); ++n)
        i += escaped[i] != '\\' ? 1 : escaped[i + 1] == 'x' ? 4 : 2;
    return n;
}

// From each command the controller recognised to the last byte of its reply
// leaving the line, and the commands' own wire time, from first..end entries.
void ControllerTime(const std::vector<Entry>& all, size_t from, double& busy, double& wire,
                    std::string& cmds) {
    double received = -1;
    for (size_t i = from; i < all.size(); ++i) {
        const Entry& e = all[i];
        if (e.kind == "RX") wire += double(Bytes(e.text)) * kByte;
        if (e.kind == "CMD") {
            received = e.t;
            cmds += e.text + " ";
        }
        const bool end = e.text.size() >= 2 && e.text.compare(e.text.size() - 2, 2, "\\n") == 0;
        if (e.kind == "TX" && end && received >= 0) {
            busy += e.t + double(Bytes(e.text)) * kByte - received;
            received = -1;
        }
    }
}

struct Figures {
    double wall = 0, cpu = 0, waits = 0, controller = 0, wire = 0;
    std::string cmds, fakeCmds;
};

void Print(const char* what, const Figures& f) {
    // A pseudo-terminal carries the commands at once: their wire time is not
    // in the run's length, only shown for what a real line adds.
    const double own = f.wall - f.waits - f.controller;
    std::printf("%s\n  commands: %s\n", what, f.cmds.c_str());
    if (f.cmds != f.fakeCmds) std::printf("  (the fake run sent: %s)\n", f.fakeCmds.c_str());
    std::printf(
        "  run %.3f s = prescribed waits %.3f s + controller (course, replies at 9600 baud) "
        "%.3f s + program's own %.3f s = %.2f %%\n"
        "  (commands on a 9600-baud line would add %.3f s)\n"
        "  CPU over the run: %.3f s = %.2f %% of a core\n",
        f.wall, f.waits, f.controller, own, 100 * own / f.wall, f.wire, f.cpu,
        100 * f.cpu / f.wall);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // The prescribed waits: the same runs on the fake clock, the unit answering at once.
    Figures runs[2];
    {
        test::TestProgram tp;
        test::FakeUnit unit(tp.port, tp.clock);
        tp.port.replyDelay = 0, unit.course = 0;
        tp.port.Open(1);
        Ready(tp.ctx());
        for (int k = 0; k < 2; ++k) {
            Prepare(tp.ctx(), k == 0 ? 1 : 3);
            tp.port.writes.clear();
            const double t0 = tp.clock.Absolute();
            tp.ctx().run_ops->Run_Start();
            runs[k].waits = tp.clock.Absolute() - t0;
            for (const std::string& w : tp.port.writes) runs[k].fakeCmds += w + " ";
        }
    }

    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString(), log = dir + "/vc.log";
    e2e::Tool tool({"--link", dir + "/ports/COM1", "--transcript", log});
    RealClock clock;
    test::FakeSound sound;
    test::ScriptedDialogs dialogs;
    QtSerialPort port(dir + "/ports");
    Program program(dir, clock, sound, dialogs, port);
    Ctx& c = program.ctx();
    c.EndProgram = [] {};
    if (!port.Open(1)) {
        std::fprintf(stderr, "cannot open the port: %s\n", port.LastError().c_str());
        return 1;
    }
    Ready(c);
    for (int k = 0; k < 2; ++k) {
        Prepare(c, k == 0 ? 1 : 3);
        const size_t from = Read(log).size();
        const double cpu0 = CpuSeconds(), t0 = e2e::Now();
        c.run_ops->Run_Start();
        runs[k].wall = e2e::Now() - t0;
        runs[k].cpu = CpuSeconds() - cpu0;
        ControllerTime(Read(log), from, runs[k].controller, runs[k].wire, runs[k].cmds);
        if (c.link.CmdError) std::printf("run failed: %s\n", c.link.ReplyText.c_str());
    }
    Print("DEMAGNETIZER 20 mT, extra fast, hold 1 s:", runs[0]);
    Print("PULSE MAGNETIZER 3 pulses of 5 mT, 1 s:", runs[1]);

    // The course alone, with the status line and meters following it.
    c.settings.ZAVMODE = 1, c.instr.ModeWordWanted = 1;
    c.modes->ZAVMode_Set(1);
    const char* course[] = {"SD1", "H1", "G"};
    double gWall = 0, gCpu = 0;
    for (const char* cmd : course) {
        const double w = e2e::Now(), p = CpuSeconds();
        c.cmd->Command_Execute(cmd, true, false);
        gWall = e2e::Now() - w, gCpu = CpuSeconds() - p;
    }
    c.cmd->Command_Execute("H0", false, false);
    std::printf("During a field course of %.2f s: %.3f s CPU = %.2f %% of a core\n", gWall, gCpu,
                100 * gCpu / gWall);
    port.Close();
    return 0;
}
