// The reply stream through the command transaction: arbitrary bytes arriving
// in fragments with pauses (in-band codes and error lines among them), the
// operator's STOP, a device that fails, and dialogs answered Retry or Cancel.
// The exchange must always end, leave the port free, and when it reports a
// complete reply that reply must be the bytes up to the first line feed, with
// one record written to the log.
//
// Input: command index, flags, dialog answers, then fragments
// [pause in quarter seconds][length][bytes].
#include <QPlainTextEdit>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/Context.h"
#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/TextUtil.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;

namespace {

const char* const kCommands[] = {
    "\x10", "FD010", "FM100", "FP015", "A040", "M1",  "SD0", "SD1", "SM0",  "SM1", "H0",
    "H1",   "ES2",   "ER1",   "ET05",  "D1",   "G",   "IP",  "IE",  "J",    "j",   "y",
    "t",    "P12",   "P00",   "\x1b",  "w",    "i",   "z",   "\x14\x03"};
constexpr size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];
// Fragments are scheduled within this many seconds after the write.
constexpr double kLongest = 300;

struct Fragment {
    double at;
    std::string bytes;
};

// The reply as the log keeps it: without the characters above code 128.
std::string LogText(const std::string& reply) {
    std::string text;
    for (char c : reply)
        if (static_cast<unsigned char>(c) <= 128) text += c;
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One program for all inputs, never destroyed (as the application).
    static TestProgram* tp = nullptr;
    if (!tp) {
        tp = new TestProgram();
        tp->clock.SetStep(2.0);  // long silences in few steps; events still fire on time
    }
    if (size < 3) return 0;
    TestProgram& t = *tp;
    Ctx& ctx = t.ctx();

    const std::string cmd = kCommands[data[0] % kCommandCount];
    const uint8_t flags = data[1];
    const uint8_t answers = data[2];
    const bool show = flags & 1, quiet = flags & 2;
    ctx.settings.SERVMODE = flags & 4;
    ctx.settings.TOUCHMODE = flags & 8;
    ctx.instr.ModeWordWanted = (flags & 16) ? 2 : 1;
    ctx.settings.ZAVMODE = (flags & 32) ? 3 : 1;
    ctx.settings.TOVDIR = (flags & 32) ? 2 : 1;
    const bool stop = flags & 64;
    const bool fail = flags & 128;

    std::vector<Fragment> script;
    double at = 0.001;
    for (size_t i = 3; i + 1 < size;) {
        at += data[i] * 0.25;
        const size_t len = data[i + 1];
        i += 2;
        const size_t n = std::min(len, size - i);
        if (at < kLongest) script.push_back({at, std::string(reinterpret_cast<const char*>(data + i), n)});
        i += n;
    }

    // A fresh line and log, flags of the last input cleared.
    t.port.Open(1);
    t.port.writes.clear();
    t.port.writeTimes.clear();
    ctx.link = LinkState{};
    ctx.run.StopRequest = false;
    t.dialogs.boxes.clear();
    t.dialogs.large.clear();
    t.dialogs.boxAnswers.clear();
    t.dialogs.largeAnswers.clear();
    for (int b = 0; b < 8; ++b) {
        const bool retry = (answers >> b) & 1;
        t.dialogs.boxAnswers.push_back(retry ? kRetry : kCancel);
        t.dialogs.largeAnswers.push_back(retry);
    }
    t.dialogs.boxAnswers.push_back(kCancel);
    t.dialogs.largeAnswers.push_back(false);
    ctx.ui->txtTerm->clear();
    const std::filesystem::path logFile = t.Dir() / "mon" / "fuzz.mon";
    ctx.log->Close();
    std::filesystem::remove(logFile);
    ctx.log->Open(logFile);

    // Each write of the command gets the whole script again.
    t.port.responder = [&](const std::string& written) {
        if (written != cmd) return std::string();
        for (const Fragment& f : script) t.port.DeliverAfter(f.at, f.bytes);
        if (stop) t.clock.After(0.3, [&ctx] { ctx.run.StopRequest = true; });
        if (fail) t.clock.After(answers * 0.1, [&t] { t.port.FailAfter(0); });
        return std::string();
    };

    ctx.link.CmdText = cmd;
    ctx.cmd->Command_Execute(cmd, show, quiet);

    if (ctx.cmd->InFlight()) std::abort();
    size_t written = 0;
    for (const std::string& w : t.port.writes) written += w == cmd;
    const bool once = written == 1;
    if (ctx.cmd->Completed()) {
        if (ctx.link.CmdError) std::abort();
        const std::string log = ReadBytes(logFile);
        if (log.empty()) std::abort();
        if (once) {
            // The first line feed of the stream ends the reply; the log holds
            // one record of it: "<time> <reply>" CR LF.
            std::string stream;
            for (const Fragment& f : script) stream += f.bytes;
            const size_t lf = stream.find('\n');
            if (lf == std::string::npos) std::abort();
            const std::string reply = stream.substr(0, lf + 1);
            if (ctx.link.ReplyText != CRLF_Strip(reply)) std::abort();
            const std::string record = " " + LogText(reply) + "\r\n";
            if (log.size() <= record.size() || !log.ends_with(record)) std::abort();
            if (log.substr(0, log.size() - record.size()).find('\n') != std::string::npos)
                std::abort();
        }
    } else if (!quiet && !stop && !fail && once && !ctx.link.RunCancel && !ctx.link.CmdError) {
        // Without STOP, Quiet, a failure or Cancel, an unfinished exchange is an error.
        std::abort();
    }

    // Whatever is still scheduled happens now, before the next input.
    t.port.responder = nullptr;
    t.clock.Advance(kLongest + 60);
    t.port.DiscardInput();
    ctx.cmd->Quiet_Reset();
    return 0;
}
