// What the live plot costs the link: the time a field value takes on its way
// from the in-band hook into the plot, and the time the event loop spends
// between two reads of the port (the coalesced chart redraws happen there).
// Values arrive every 5 ms, fifty times faster than the controller sends them.

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "core/Clock.h"
#include "core/Context.h"
#include "operations/RunTrace.h"
#include "panel/FieldPlot.h"

using namespace zavo;
using Steady = std::chrono::steady_clock;

namespace {

double Ms(Steady::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("%-44s median %.3f ms  p95 %.3f ms  max %.3f ms  (n=%zu)\n", what, v[v.size() / 2],
                v[v.size() * 95 / 100], v.back(), v.size());
}

}  // namespace

int main(int argc, char** argv) {
    // Headless like the tests; a display of one's own is used when asked for.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    RealClock clock;
    Ctx ctx;
    ctx.clock = &clock;
    ctx.paths.dir = dir.path().toStdString();
    ctx.settings.ZAVMODE = 2;
    ctx.settings.REKFD = 200;
    ctx.settings.REKFM = 100;
    RunTrace trace(ctx);
    FieldPlot& plot = *trace.Plot();
    plot.resize(800, 300);
    plot.show();
    QApplication::processEvents();

    const int n = 1000;
    std::vector<double> value, loop;
    trace.Run_Begin();
    trace.Execute_Begin();
    for (int i = 0; i < n; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const auto t0 = Steady::now();
        trace.Field_Value(i < n / 2 ? 175 : 174, i < n / 2 ? i * 0.4 : (n - i) * 0.4);
        if (i == n / 4) trace.Field_Value(246, 100);
        const auto t1 = Steady::now();
        QApplication::processEvents();
        const auto t2 = Steady::now();
        value.push_back(Ms(t1 - t0));
        loop.push_back(Ms(t2 - t1));
    }
    trace.Execute_End();
    trace.Run_End(RunTrace::Outcome::Done, "");
    std::printf("%d field values, one every 5 ms, into a shown 800x300 plot:\n", n);
    Report("in-band value -> plot (per value)", value);
    Report("event-loop pass after it (redraws, paints)", loop);
    std::printf("%-44s %d for %d values\n", "chart updates", plot.Draws(), n);
    return 0;
}
