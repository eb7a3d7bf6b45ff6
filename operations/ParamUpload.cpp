#include "operations/ParamUpload.h"

#include <vector>

#include "core/Activity.h"
#include "core/Context.h"
#include "core/Waits.h"
#include "link/CommandSet.h"

namespace zavo {

namespace {

// One parameter: the value wanted, the value the controller reported, the
// encoder that sends it.
struct Row {
    Int16 wanted;
    Int16 InstrumentState::*actual;
    void (CommandSet::*send)(Int16, bool);
};

}  // namespace

ParamUpload::ParamUpload(Ctx& ctx) : ctx_(ctx) {}

void ParamUpload::Params_Upload() {
    Activity::Scope scope(*ctx_.activity);
    const Settings& s = ctx_.settings;
    CommandSet& cmds = *ctx_.cmds;
    using I = InstrumentState;
    using C = CommandSet;

    // After each command: a failure ends the upload, else settle, then STOP.
    const auto settled = [this] {
        if (ctx_.link.CmdError) return false;
        Wait_Seconds(*ctx_.clock, 0.2);
        return !ctx_.run.StopRequest;
    };

    std::vector<Row> rows;
    switch (s.ZAVMODE) {
        case 1:
            rows = {{s.DMGFD, &I::FDActual, &C::FD_Send}, {0, &I::FMActual, &C::FM_Send},
                    {0, &I::FAActual, &C::FA_Send},       {s.DMGES, &I::ESActual, &C::ES_Send},
                    {s.DMGER, &I::ERActual, &C::ER_Send}, {s.DMGET, &I::ETActual, &C::ET_Send}};
            break;
        case 2:
            rows = {{s.REKFD, &I::FDActual, &C::FD_Send}, {s.REKFM, &I::FMActual, &C::FM_Send},
                    {s.REKFA, &I::FAActual, &C::FA_Send}, {s.REKES, &I::ESActual, &C::ES_Send},
                    {s.REKER, &I::ERActual, &C::ER_Send}, {s.REKET, &I::ETActual, &C::ET_Send}};
            break;
        case 3:
            rows = {{s.TOVFP, &I::FPActual, &C::FP_Send}, {s.TOVET, &I::ETActual, &C::ET_Send}};
            break;
        default:
            return;
    }
    // The AC modes always begin at the fast rate, whatever the settings say.
    if (s.ZAVMODE != 3) {
        cmds.ER_Send(1, false);
        if (!settled()) return;
    }
    for (const Row& r : rows) {
        if (r.wanted == ctx_.instr.*r.actual) continue;
        (cmds.*r.send)(r.wanted, true);
        if (!settled()) return;
    }
}

}  // namespace zavo
