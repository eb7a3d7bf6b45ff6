// A demagnetization run through the real window (START, ABORT), real clock and Qt serial port,
// against the virtual controller as COM1.

#include <gtest/gtest.h>

#include <QTimer>

#include "e2e_program.h"
#include "link/StatusLine.h"
#include "operations/RunSequence.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "support/FakeMagTransport.h"

using namespace zavo;

struct RunRig : LinkRig {
    RunRig() : LinkRig({"--speed", "8", "--no-tumbler"}) {
        // As the initialization leaves it: the port recorded, the panel open.
        SetTag(ui.cmdStop, "1");
        c.run.InstrReady = true;
        c.settings.ZAVMODE = 1, c.settings.DMODE = 0, c.settings.DMGFD = 40, c.settings.DMGER = 1;
        c.instr.ModeWordWanted = 1;
        c.limits->Limits_Set();
        c.options->Controls_Enable(true);
        c.enabling->Panels_Enable(true);
        c.enabling->FieldMeters_Enable(true);
        c.status->Status_Show(true);
        QObject::connect(&sampler, &QTimer::timeout, [this] {
            const QString now = ui.lblACField[0]->text().trimmed();
            if (meter.isEmpty() || meter.back() != now) meter.push_back(now);
        });
        sampler.start(2);
    }
    // START as the operator presses it; the run is over when the click returns. The commands
    // the controller recognised meanwhile.
    std::string Start() {
        meter.clear();
        const std::string before = e2e::Transcript(log, "CMD", " ");
        const double t0 = e2e::Now();
        ui.cmdStart->click();
        took = e2e::Now() - t0;
        return e2e::Transcript(log, "CMD", " ").substr(before.size());
    }
    int Peak() const {
        int peak = 0;
        for (const QString& v : meter) peak = std::max(peak, v.toInt());
        return peak;
    }

    const std::string log = dir + "/vc.log";
    Controls& ui = *c.ui;
    test::FakeMagTransport& magnetometer = test::Listening(c);
    QTimer sampler;
    QStringList meter;  // each change of the AC field meter
    double took = 0;
};

TEST(RunE2E, StartFollowsTheCourseAndAbortStopsIt) {
    RunRig r;
    // The whole course: up to the peak of 40 mT, held, down to zero.
    EXPECT_EQ(r.Start(), "IP ER1 FD040 SD1 H1 y G H0 ");
    EXPECT_EQ(r.Peak(), 40) << r.meter.join(" ").toStdString();
    EXPECT_TRUE(r.meter.size() > 5 && r.meter.back() == "0") << r.meter.join(" ").toStdString();
    EXPECT_EQ(int(r.magnetometer.sent.size()), 1);
    EXPECT_EQ(r.ui.picStat[1]->Text().trimmed(), "INSTRUMENT IS READY");
    EXPECT_TRUE(r.ui.cmdStart->isEnabled() && !r.ui.cmdStop->isEnabled() && r.ui.timSD->isActive());
    EXPECT_LT(r.took, 10.0);

    // ABORT once the meter shows the field rising.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (r.ui.lblACField[0]->text().trimmed().toInt() >= 15 && r.ui.cmdStop->isEnabled())
            r.ui.cmdStop->click();
    });
    watch.start(5);
    // The demagnetizer is still on from the hold; the controller hears Esc twice.
    EXPECT_EQ(r.Start(), "IP ER1 H1 y G \\x1B \\x1B H0 ");
    EXPECT_TRUE(r.Peak() >= 15 && r.Peak() < 40) << r.meter.join(" ").toStdString();
    EXPECT_EQ(int(r.magnetometer.sent.size()), 1) << "no time stamp for a stopped course";
    EXPECT_TRUE(r.ui.cmdStart->isEnabled() && !r.ui.cmdStop->isEnabled() && !r.c.run.StopRequest &&
                !r.c.run.Busy && r.dialogs.boxes.empty());
    EXPECT_EQ(r.ui.picStat[1]->Text().trimmed(), "INSTRUMENT IS READY");
}
