#include "link/CommandSet.h"

#include <QPushButton>

#include "core/Context.h"
#include "link/CommandLink.h"
#include "link/StatusLine.h"
#include "link/TextUtil.h"
#include "core/Waits.h"
#include "panel/Controls.h"

namespace zavo {

std::string Command_Field(const char* prefix, Int16 value, int width) {
    if (value < 0) return {};
    std::string digits = std::to_string(value);
    if (int(digits.size()) > width) return {};
    return prefix + std::string(width - digits.size(), '0') + digits;
}

CommandSet::CommandSet(Ctx& ctx) : ctx_(ctx) {}

bool CommandSet::Run(const std::string& cmd, bool Show) {
    ctx_.link.CmdText = cmd;
    ctx_.cmd->Command_Execute(ctx_.link.CmdText, Show, false);
    // A STOP or a refused call leaves CmdError False without a reply: nothing
    // was confirmed then either.
    return !ctx_.link.CmdError && ctx_.cmd->Completed();
}

void CommandSet::Refuse(const char* prefix, Int16 value) {
    ctx_.link.CmdError = true;
    ctx_.link.ReplyText.clear();
    if (!ctx_.ui) return;
    VbColor lamp = kRed;
    StatusPanel_Print(ctx_.ui->picStat[0], lamp, kBlack, QString());
    VbColor back = 0;
    StatusPanel_Print(ctx_.ui->picStat[1], back, kBlack,
                      QString("## VALUE OUT OF RANGE: %1 %2").arg(prefix).arg(value));
}

bool CommandSet::RunField(const char* prefix, Int16 value, int width, bool Show) {
    const std::string cmd = Command_Field(prefix, value, width);
    if (cmd.empty()) {
        Refuse(prefix, value);
        return false;
    }
    return Run(cmd, Show);
}

bool CommandSet::RunSwitch(const char* prefix, Int16 value, bool Show) {
    if (value != 0 && value != 1) {
        Refuse(prefix, value);
        return false;
    }
    return Run(prefix + std::to_string(value), Show);
}

void CommandSet::ModeWord_Send(Int16 Mode, bool Show) {
    if (Mode != 1 && Mode != 2) {
        Refuse("M", Mode);
        return;
    }
    // Switch off what is on before the mode changes; a switch-off that does
    // not succeed stops here, so the mode never changes under a live stage.
    struct Stage {
        Int16 InstrumentState::*actual;
        void (CommandSet::*send)(Int16, bool);
    };
    for (const Stage s : {Stage{&InstrumentState::HActual, &CommandSet::H_Send},
                          Stage{&InstrumentState::SMActual, &CommandSet::SM_Send},
                          Stage{&InstrumentState::SDActual, &CommandSet::SD_Send}}) {
        if (ctx_.instr.*s.actual == 0) continue;
        (this->*s.send)(0, false);
        if (ctx_.link.CmdError || ctx_.link.CmdFatal || !ctx_.cmd->Completed()) return;
        Wait_Seconds(*ctx_.clock, 0.2);
    }
    if (!Run("M" + std::to_string(Mode), Show)) return;
    const std::string r = CRLF_Strip(ctx_.link.ReplyText);
    if (r == "DMG") ctx_.instr.ModeWordActual = 1;
    if (r == "TOV") ctx_.instr.ModeWordActual = 2;
}

void CommandSet::FD_Send(Int16 Value, bool Show) {
    if (RunField("FD", Value, 3, Show)) ctx_.instr.FDActual = Digits_ToInt(ctx_.link.ReplyText);
}

void CommandSet::FA_Send(Int16 Value, bool Show) {
    if (RunField("A", Value, 3, Show)) ctx_.instr.FAActual = Digits_ToInt(ctx_.link.ReplyText);
}

void CommandSet::FM_Send(Int16 Value, bool Show) {
    if (RunField("FM", Value, 3, Show)) ctx_.instr.FMActual = Digits_ToInt(ctx_.link.ReplyText);
}

void CommandSet::FP_Send(Int16 Value, bool Show) {
    if (RunField("FP", Value, 3, Show)) ctx_.instr.FPActual = Digits_ToInt(ctx_.link.ReplyText);
}

void CommandSet::D_Send(Int16 Value, bool Show) {
    if (!RunField("D", Value, 1, Show)) return;
    const std::string& r = ctx_.link.ReplyText;
    if (r.empty()) return;
    if (r.back() == '+') ctx_.settings.TOVDIR = 1;
    if (r.back() == '-') ctx_.settings.TOVDIR = 2;
}

void CommandSet::ES_Send(Int16 Value, bool Show) {
    if (RunField("ES", Value, 1, Show)) ctx_.instr.ESActual = Digits_ToInt(ctx_.link.ReplyText);
}

void CommandSet::ER_Send(Int16 Value, bool Show) {
    if (RunField("ER", Value, 1, Show)) ctx_.instr.ERActual = Digits_ToInt(ctx_.link.ReplyText);
}

void CommandSet::ET_Send(Int16 Value, bool Show) {
    if (!RunField("ET", Value, 2, Show)) return;
    const Int16 v = Digits_ToInt(ctx_.link.ReplyText);
    switch (ctx_.settings.ZAVMODE) {
        case 1:
        case 2:
            ctx_.instr.ETActual = v;
            break;
        case 3:
            ctx_.instr.ETActual = RoundToInt16(v / 100.0);
            break;
        default:
            ctx_.instr.ETActual = 0;
    }
}

void CommandSet::SD_Send(Int16 Value, bool Show) {
    if (RunSwitch("SD", Value, Show))
        ctx_.instr.SDActual = RoundToInt16(Num_Extract(ctx_.link.ReplyText));
}

void CommandSet::SM_Send(Int16 Value, bool Show) {
    if (RunSwitch("SM", Value, Show))
        ctx_.instr.SMActual = RoundToInt16(Num_Extract(ctx_.link.ReplyText));
}

void CommandSet::H_Send(Int16 Value, bool Show) {
    if (RunSwitch("H", Value, Show))
        ctx_.instr.HActual = RoundToInt16(Num_Extract(ctx_.link.ReplyText));
}

void CommandSet::WPToggle_Send() {
    if (!Run("w", false)) return;
    const std::string& r = ctx_.link.ReplyText;
    QPushButton* button = ctx_.ui ? ctx_.ui->cmdControl[0] : nullptr;
    if (r == "WP Test is ON ") {
        ctx_.instr.WPState = 1;
        if (button) SetBackColor(button, kLightGreen);
    } else if (r == "WP Test is OFF ") {
        ctx_.instr.WPState = 0;
        if (button) SetBackColor(button, kLightRed);
    }
}

void CommandSet::Temp_Read(bool Show, float& TempMV) {
    TempMV = 0;
    if (!Run("y", Show)) return;
    const std::vector<std::string> w = Words_Split(ctx_.link.ReplyText);
    ctx_.instr.CoilTempMV = Num_Extract(w[2]);
    ctx_.instr.CoilTempC = Num_Extract(w[3]);
    TempMV = ctx_.instr.CoilTempMV;
}

void CommandSet::J_Send(bool Show) {
    Run("j", Show);
}

}  // namespace zavo
