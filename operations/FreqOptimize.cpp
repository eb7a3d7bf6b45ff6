#include "operations/FreqOptimize.h"

#include <QPushButton>

#include "core/Activity.h"
#include "core/Clock.h"
#include "core/Context.h"
#include "core/Waits.h"
#include "dialogs/Dialogs.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/StatusLine.h"
#include "link/TextUtil.h"
#include "operations/ModeSwitch.h"
#include "panel/Controls.h"
#include "panel/SettingsFile.h"

namespace zavo {

namespace {

constexpr double kSettle = 0.1;

std::string Trimmed(const std::string& s) {
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

}  // namespace

std::string Frequency_Text(const std::string& reply, bool& hasColon) {
    const size_t colon = reply.find(':');
    hasColon = colon != std::string::npos;
    if (!hasColon) return {};
    const std::string after = Trimmed(reply.substr(colon + 1, 20));
    const size_t d = after.find('d');
    if (d == std::string::npos) return {};
    return Trimmed(after.substr(d + 1, 9));
}

FreqOptimize::FreqOptimize(Ctx& ctx) : ctx_(ctx) {}

bool FreqOptimize::Lost() const {
    return ctx_.link.InstrumentLost;
}

bool FreqOptimize::Control_Send(const char* bytes, int length) {
    if (Lost()) return false;
    ctx_.cmd->Command_Execute(std::string(bytes, size_t(length)), false, false);
    const bool answered = ctx_.cmd->Completed();
    Wait_Seconds(*ctx_.clock, kSettle);
    return answered;
}

void FreqOptimize::Freq_Optimize() {
    Activity::Scope scope(*ctx_.activity);
    Settings& s = ctx_.settings;
    Controls& ui = *ctx_.ui;
    StatusLine& status = *ctx_.status;
    CommandSet& cmds = *ctx_.cmds;
    Clock& clock = *ctx_.clock;
    const bool& stop = ctx_.run.StopRequest;
    const LinkState& link = ctx_.link;

    status.Lamp(kLightOrange);
    status.Text("SEARCHING FOR AC FREQUENCY");

    // The search needs the AC unit, so DEMAGNETIZER stays selected after it.
    const Int16 before = s.ZAVMODE;
    s.ZAVMODE = 1;
    ctx_.modes->INSTMODE_Set(false);
    bool stopped = stop;
    if (stopped) s.ZAVMODE = before;

    // Each step runs only while nothing stopped it and the program is not
    // ending; the switch-off at the end runs whenever the instrument can
    // still be reached.
    auto go = [&] {
        stopped = stopped || stop;
        return !stopped && !link.CmdFatal;
    };
    if (go()) {
        cmds.SD_Send(1, false);
        Wait_Seconds(clock, kSettle);
    }
    if (go()) {
        cmds.H_Send(1, false);
        Wait_Seconds(clock, kSettle);
    }
    if (go()) {
        ctx_.cmd->Command_Execute("z", false, false);
        const bool searched = !link.CmdError;
        bool hasColon = false;
        const std::string f = Frequency_Text(link.ReplyText, hasColon);
        if (hasColon && go()) {
            status.Lamp(kLightOrange);
            status.Text("SEARCHING FOR AC FREQUENCY " + FromBytes(f));
        }
        if (go()) Wait_Seconds(clock, 3);
        if (go() && searched) {
            ui.cmdStop->setEnabled(false);
            if (!s.TOUCHMODE)
                ctx_.dialogs->MsgBox_Custom("FREQUENCY WILL BE SAVED TO EEPROM:\r\n" + FromBytes(f),
                                            kOKOnly + kInformation, "Frequency optimalization", 0,
                                            "OK");
            status.Lamp(kLightOrange);
            status.Text("SAVING AC FREQUENCY ");
            // The date says the frequency is stored: only when it was.
            if (Control_Send("\x14\x13", 2) && Control_Send("\x14\x08", 2)) {
                s.FREQDATE = clock.Today();
                Settings_SaveChecked(ctx_);
            }
            Control_Send("\0u", 2);
            Control_Send("\x14\x03", 2);
        }
        stopped = stopped || stop;
    }

    if (stopped && !Lost()) {
        // What the controller still says about the interrupted step.
        double limit = 3;
        ctx_.cmd->Reply_Read(limit);
        Wait_Seconds(clock, 5);
    }
    if (!Lost()) {
        cmds.H_Send(0, false);
        Wait_Seconds(clock, kSettle);
        cmds.SD_Send(0, false);
        Wait_Seconds(clock, kSettle);
    }
    if (!stop) ui.cmdStop->setEnabled(true);
}

}  // namespace zavo
