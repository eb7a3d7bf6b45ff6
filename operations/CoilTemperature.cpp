#include "operations/CoilTemperature.h"

#include "core/Context.h"
#include "core/Waits.h"
#include "link/CommandSet.h"
#include "link/StatusLine.h"
#include "link/TextUtil.h"

namespace zavo {

CoilWait WorkingTemperature_Wait(Ctx& ctx) {
    for (;;) {
        float mv = 0;
        ctx.cmds->Temp_Read(false, mv);
        // A failed reading says nothing about the coil.
        if (ctx.link.CmdError || ctx.link.CmdFatal) return CoilWait::Failed;
        if (mv > kWorkingMV) return CoilWait::Warm;
        if (ctx.run.StopRequest) return CoilWait::Stopped;
        ctx.status->Lamp(kLightOrange);
        ctx.status->Text("WAIT FOR WORKING TEMPERATURE " +
                         Text_PadLeft(QString::number(qRound(ctx.instr.CoilTempC)), 4) + " C");
        Wait_Seconds(*ctx.clock, 1);
    }
}

}  // namespace zavo
