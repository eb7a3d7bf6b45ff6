#include "operations/StatusReport.h"

#include <cmath>
#include <vector>

#include "core/Context.h"
#include "link/CommandLink.h"
#include "link/TextUtil.h"

namespace zavo {

namespace {

// Splits at every occurrence of sep, keeping empty parts between adjacent
// separators; an empty text has no parts at all.
std::vector<std::string> Parts(const std::string& text, const std::string& sep) {
    std::vector<std::string> out;
    if (text.empty()) return out;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(sep, from);
        if (at == std::string::npos) {
            out.push_back(text.substr(from));
            return out;
        }
        out.push_back(text.substr(from, at - from));
        from = at + sep.size();
    }
}

// Reads part i into value when the part exists and its number fits 16 bits;
// otherwise the value keeps what it held.
void Read(const std::vector<std::string>& parts, size_t i, Int16& value, double divisor = 1) {
    if (i >= parts.size()) return;
    const double v = std::nearbyint(double(Num_Extract(parts[i])) / divisor);
    if (!(v >= -32768 && v <= 32767)) return;
    value = Int16(v);
}

}  // namespace

StatusReport::StatusReport(Ctx& ctx) : ctx_(ctx) {}

void StatusReport::Status_Read() {
    ctx_.link.CmdText = "IP";
    ctx_.cmd->Command_Execute("IP", false, false);
    if (ctx_.run.StopRequest || ctx_.link.CmdError) return;
    if (ctx_.link.ReplyText.rfind("##", 0) == 0) return;
    Status_Parse(ctx_.link.ReplyText, ctx_.instr);
}

void StatusReport::Status_Parse(const std::string& reply, InstrumentState& st) {
    std::string text;
    text.reserve(reply.size());
    for (char c : reply)
        if (c != '\n') text += c;
    const std::vector<std::string> lines = Parts(text, "\r");
    const auto line = [&lines](size_t i, const char* sep) {
        return i < lines.size() ? Parts(lines[i], sep) : std::vector<std::string>{};
    };

    // Without a unit word there is no report to read.
    const std::vector<std::string> unit = line(1, " ");
    if (unit.empty()) return;
    const std::string word = unit[0].substr(0, 3);
    st.ModeWordActual = word == "DMG" ? 1 : word == "TOV" ? 2 : 0;

    const std::vector<std::string> flags = line(2, " ");
    Read(flags, 0, st.TumblerConnected);
    Read(flags, 1, st.YULState);
    Read(flags, 2, st.WPState);

    if (st.ModeWordActual == 1) {
        Read(line(3, " "), 1, st.FDActual);
        Read(line(4, " "), 1, st.FAActual);
        Read(line(5, " "), 1, st.FMActual);
        const std::vector<std::string> ramp = line(6, "  ");
        Read(ramp, 0, st.ERActual);
        Read(ramp, 1, st.ESActual);
        Read(ramp, 2, st.ETActual);
        const std::vector<std::string> switches = line(8, "  ");
        Read(switches, 0, st.SDActual);
        Read(switches, 1, st.SMActual);
        Read(switches, 2, st.HActual);
    } else if (st.ModeWordActual == 2) {
        Read(line(3, " "), 1, st.FPActual);
        // Pulse time in ms, kept in tenths of a second.
        Read(line(4, "  "), 1, st.ETActual, 100);
        Read(line(5, "  "), 0, st.SMActual);
    }
}

}  // namespace zavo
