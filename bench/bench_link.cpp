// The link's own cost on a pseudo-terminal: time per transaction beyond the
// wire, and the processor used while waiting for a reply that does not come.
// A thread plays the controller so that its timestamps do not depend on the
// program's event loop.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Clock.h"
#include "core/Context.h"
#include "link/CommandLink.h"
#include "link/QtSerialPort.h"
#include "core/Waits.h"

using namespace zavo;
using Steady = std::chrono::steady_clock;

namespace {

double Ms(Steady::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Controller {
    int master = -1;
    std::atomic<bool> stop{false};
    std::mutex m;
    Steady::time_point firstByte, replyWritten;
    bool silent = false;

    void Run() {
        char buf[256];
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            const ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) continue;
            const auto t = Steady::now();
            std::lock_guard<std::mutex> l(m);
            firstByte = t;
            if (silent) continue;
            static const char reply[] = "** PRESET FIELD  10 mT\r\n";
            if (write(master, reply, sizeof reply - 1) > 0) replyWritten = Steady::now();
        }
    }
};

void Report(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("%-46s median %.3f ms  p95 %.3f ms  max %.3f ms  (n=%zu)\n", what, v[v.size() / 2],
                v[v.size() * 95 / 100], v.back(), v.size());
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Controller ctl;
    ctl.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (ctl.master < 0 || grantpt(ctl.master) != 0 || unlockpt(ctl.master) != 0) {
        std::perror("pseudo-terminal");
        return 1;
    }
    QTemporaryDir dir;
    const std::filesystem::path ports = std::filesystem::path(dir.path().toStdString()) / "ports";
    std::filesystem::create_directories(ports);
    std::filesystem::create_symlink(ptsname(ctl.master), ports / "COM1");

    RealClock clock;
    QtSerialPort port(ports);
    Ctx ctx;
    ctx.clock = &clock;
    ctx.port = &port;
    CommandLink link(ctx);
    ctx.cmd = &link;
    if (!port.Open(1)) {
        std::fprintf(stderr, "cannot open %s\n", port.LastError().c_str());
        return 1;
    }
    std::thread controller([&] { ctl.Run(); });

    const int n = 200;
    std::vector<double> toWrite, afterReply, firstCall;
    for (int i = 0; i < n; ++i) {
        const auto call = Steady::now();
        link.Command_Execute("FD010", false, false);
        const auto back = Steady::now();
        if (ctx.link.CmdError) {
            std::fprintf(stderr, "exchange failed: %s\n", ctx.link.ReplyText.c_str());
            return 1;
        }
        std::lock_guard<std::mutex> l(ctl.m);
        (i == 0 ? firstCall : toWrite).push_back(Ms(ctl.firstByte - call));
        afterReply.push_back(Ms(back - ctl.replyWritten));
        // The settle time every sequence keeps between commands.
        if (i + 1 < n) Wait_Seconds(clock, 0.2);
    }
    std::printf("Transactions on a pseudo-terminal (no wire time):\n");
    Report("call -> first byte written", toWrite);
    Report("reply line feed written -> call returns", afterReply);
    std::printf("%-46s %.3f ms (input flush: line not yet known quiet)\n",
                "first call -> first byte written", firstCall[0]);

    ctl.silent = true;
    const double cpu0 = CpuSeconds();
    const auto w0 = Steady::now();
    link.Command_Execute("FD010", false, true);  // T1 2 s, quiet: no reply comes
    const double wall = Ms(Steady::now() - w0) / 1000.0;
    const double cpu = CpuSeconds() - cpu0;
    std::printf("Waiting %.2f s for a reply that does not come: %.3f s CPU = %.2f %% of a core\n",
                wall, cpu, 100.0 * cpu / wall);

    ctl.stop = true;
    controller.join();
    port.Close();
    close(ctl.master);
    return 0;
}
