// How much CPU the real clock's Wait_Seconds burns while it waits, and how
// late it returns. A wait must sleep in the event loop, not spin a core.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "core/Clock.h"
#include "core/Waits.h"

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto sec = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return sec(u.ru_utime) + sec(u.ru_stime);
}

struct Figures {
    double cpuPercent;
    double lateMs;
    double returned;
};

Figures Measure(zavo::RealClock& clock, double seconds) {
    using std::chrono::steady_clock;
    const double cpu0 = CpuSeconds();
    const auto t0 = steady_clock::now();
    const double returned = zavo::Wait_Seconds(clock, seconds);
    const double wall = std::chrono::duration<double>(steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    return {100.0 * cpu / wall, 1000.0 * (wall - seconds), returned};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    zavo::RealClock clock;
    constexpr double kWait = 2.0;
    constexpr double kMaxCpuPercent = 2.0;
    constexpr double kMaxLateMs = 5.0;

    // A quiet event loop, then one with a lamp-blink timer firing every 100 ms
    // as the program has while it runs.
    int ticks = 0;
    QTimer blink;
    QObject::connect(&blink, &QTimer::timeout, [&ticks] { ++ticks; });

    bool ok = true;
    for (int round = 0; round < 2; ++round) {
        if (round == 1) blink.start(100);
        double worstCpu = 0, worstLate = 0;
        for (int i = 0; i < 3; ++i) {
            const Figures f = Measure(clock, kWait);
            std::printf("%-12s wait %d: cpu %.3f %% of one core, late %.3f ms, returned %.4f s\n",
                        round == 0 ? "quiet" : "with timer", i + 1, f.cpuPercent, f.lateMs,
                        f.returned);
            worstCpu = std::max(worstCpu, f.cpuPercent);
            worstLate = std::max(worstLate, f.lateMs);
            if (f.lateMs < -0.5) ok = false;  // ended early
        }
        std::printf(
            "%-12s worst: cpu %.3f %% (target < %.0f %%), late %.3f ms (target < %.0f ms)\n",
            round == 0 ? "quiet" : "with timer", worstCpu, kMaxCpuPercent, worstLate, kMaxLateMs);
        ok = ok && worstCpu < kMaxCpuPercent && worstLate < kMaxLateMs;
    }
    std::printf("timer ticks handled during the waits: %d\n", ticks);
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
