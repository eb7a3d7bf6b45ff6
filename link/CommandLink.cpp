#include "link/CommandLink.h"

#include <QLabel>
#include <QTimer>

#include "core/Activity.h"
#include "core/Clock.h"
#include "core/Context.h"
#include "dialogs/Dialogs.h"
#include "link/CommLog.h"
#include "link/SerialPort.h"
#include "link/Simulator.h"
#include "link/StatusLine.h"
#include "link/Terminal.h"
#include "link/TextUtil.h"
#include "core/Waits.h"
#include "panel/Controls.h"

namespace zavo {

namespace {

constexpr const char* kNoMessage = "## NO MESSAGE RECEIVED! ";
constexpr const char* kNoTermination = "## NO TERMINATION RECEIVED! ";
constexpr const char* kSwitchedOff = "## INSTRUMENT IS SWITCHED OFF! ";
constexpr const char* kDisconnected = "## INSTRUMENT IS DISCONNECTED! ";
constexpr const char* kNotOpen = "## PORT IS NOT OPEN! ";
constexpr const char* kHotCoil = "-> Warning: Hot Coil ";
constexpr const char* kAppTitle = "ZAVO";
// Silence that proves nothing more is on its way from the controller.
constexpr double kFlushQuiet = 0.2;
// A line that never falls silent (another kind of device talking on its own)
// is given up on after this long.
constexpr double kFlushLongest = 2.0;

bool Begins(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

}  // namespace

CommandClass Command_Classify(const std::string& cmd, int ModeWordWanted) {
    auto c = [](const char* d, double t1 = 2.0, double t2 = 30.0) {
        return CommandClass{QString::fromLatin1(d), t1, t2};
    };
    if (cmd.empty()) return {};
    switch (cmd[0]) {
        case 16:
            return c("FIRMWARE VERSION", 0.5, 0.1);
        case 27:
            return c("IMMEDIATE STOP", 3);
        case 'F':
            if (Begins(cmd, "FD")) return c("SETTING AC FIELD");
            if (Begins(cmd, "FM") || Begins(cmd, "FP")) return c("SETTING DC FIELD");
            return {};
        case 'A':
            return c("SETTING AC FOR DC OFF");
        case 'M':
            return c("SETTING INSTRUMENT MODE");
        case 'S':
            if (Begins(cmd, "SD0")) return c("SWITCHING DEMAGNETIZER OFF", 5);
            if (Begins(cmd, "SD1")) return c("SWITCHING DEMAGNETIZER ON", 5);
            if (Begins(cmd, "SM0")) return c("SWITCHING MAGNETIZER OFF", 5);
            if (Begins(cmd, "SM1")) return c("SWITCHING MAGNETIZER ON", 5);
            return {};
        case 'H':
            if (Begins(cmd, "H0")) return c("SWITCHING AMPLIFIER OFF");
            if (Begins(cmd, "H1")) return c("SWITCHING AMPLIFIER ON");
            return {};
        case 'E':
            if (Begins(cmd, "ES")) return c("SETTING AC DECREASE SHAPE");
            if (Begins(cmd, "ER")) return c("SETTING AC DECREASE RATE");
            if (Begins(cmd, "ET"))
                return c(ModeWordWanted == 2 ? "SETTING PULSE TIME" : "SETTING AC RAMP TIME");
            return {};
        case 'D':
            return c("SETTING PULSE DIRECTION");
        case 'G':
            return c("EXECUTE", 200, 50);
        case 'I':
            if (Begins(cmd, "IP")) return c("LISTING INFO PARAMETERS");
            if (Begins(cmd, "IE")) return c("LISTING EEPROM DATA");
            return {};
        case 'J':
        case 'j':
            return c("READING CURRENT STATUS");
        case 'y':
            return c("READING TEMPERATURE");
        case 't':
            return c("STARTING TUMBLER");
        case 'P':
            return c(cmd.size() >= 2 && cmd.compare(cmd.size() - 2, 2, "00") == 0
                         ? "INITIALIZING TUMBLER"
                         : "SETTING SPECIMEN POSITION",
                     30);
        case 'w':
            return c("IGNORATION OF WPOS SIGNAL");
        case 'i':
            return c("INITIALIZING TUMBLER", 40);
        case 'z':
            return c("SEARCHING FOR AC FREQUENCY", 100);
        default:
            return {};
    }
}

std::string Command_EchoName(const std::string& cmd) {
    if (cmd == "\x10") return "Crtl P";
    if (cmd == "\x1b") return "ESC";
    if (cmd == std::string("\x14\x03")) return "Crtl T C";
    return cmd;
}

// The working values of one attempt; published into the shared link state
// only when the exchange ends, so a refused nested call cannot disturb them.
struct CommandLink::Attempt {
    std::string reply;
    std::string line;
    std::string error;
    std::string log;
    bool capture = false;
    bool cmdError = false;
};

CommandLink::CommandLink(Ctx& ctx) : ctx_(ctx) {}

void CommandLink::Blink(bool on) {
    if (!ctx_.ui || !ctx_.ui->timLEDBlink) return;
    if (on)
        ctx_.ui->timLEDBlink->start();
    else
        ctx_.ui->timLEDBlink->stop();
}

void CommandLink::Lamp(long color) {
    if (!ctx_.ui || !ctx_.ui->picStat[0]) return;
    VbColor back = color;
    StatusPanel_Print(ctx_.ui->picStat[0], back, kBlack, QString());
}

void CommandLink::Text(const QString& text) {
    if (!ctx_.ui || !ctx_.ui->picStat[1]) return;
    VbColor back = 0;
    StatusPanel_Print(ctx_.ui->picStat[1], back, kBlack, text);
}

void CommandLink::Term(const std::string& text) {
    if (ctx_.settings.SERVMODE && ctx_.term) ctx_.term->Echo(text);
}

void CommandLink::Publish(const Attempt& a) {
    ctx_.link.ReplyText = a.reply;
    ctx_.link.CmdError = a.cmdError;
}

bool CommandLink::StopCheck(const std::string& cmd) const {
    return ctx_.run.StopRequest && cmd != "G" && cmd != "IP";
}

void CommandLink::Command_Execute(const std::string& Cmd, bool Show, bool Quiet) {
    if (inFlight_) {
        ++refused_;
        ctx_.link.ReplyText.clear();
        ctx_.link.CmdError = true;
        completed_ = false;
        return;
    }
    const std::string cmd = Cmd;
    std::optional<Activity::Scope> scope;
    if (ctx_.activity) scope.emplace(*ctx_.activity);
    inFlight_ = true;
    completed_ = false;
    struct Release {
        bool& f;
        ~Release() { f = false; }
    } release{inFlight_};

    for (;;) {
        Attempt a;
        Publish(a);
        const CommandClass cls = Command_Classify(cmd, ctx_.instr.ModeWordWanted);
        if (Show) {
            Lamp(kLightOrange);
            Text(cls.description.toUpper());
        }
        Term("-> " + Command_EchoName(cmd) + "\r\n");

        Outcome o = Outcome::Complete;
        if (ctx_.settings.SIMULMODE)
            a.reply = Simulated_Reply(cmd, ctx_.instr.ModeWordWanted, ctx_.settings.ZAVMODE);
        else
            o = Exchange(cmd, cls, Show, Quiet, a);

        bool disconnected = false;
        switch (o) {
            case Outcome::Left:
                a.cmdError = false;
                Publish(a);
                Blink(false);
                return;
            case Outcome::Complete:
                Term("\r\n");
                if (ctx_.log) ctx_.log->Record(a.log);
                // A quiet exchange only asks whether the expected reply comes: an
                // error line (another device on the line) is just another reply.
                if (Quiet) a.cmdError = false;
                if (!a.cmdError) {
                    a.reply = CRLF_Strip(a.reply);
                    Publish(a);
                    completed_ = true;
                    Blink(false);
                    return;
                }
                break;
            case Outcome::TimedOut:
                a.error = kSwitchedOff;
                a.cmdError = true;
                ctx_.link.InstrumentLost = true;
                break;
            case Outcome::Disconnected:
                // The loss was already reported once; the program is ending.
                if (ctx_.link.CmdFatal) {
                    a.cmdError = true;
                    Publish(a);
                    Blink(false);
                    return;
                }
                disconnected = true;
                ctx_.link.InstrumentLost = true;
                break;
            case Outcome::PortError:
                // No port is open (closed by hand in service mode): the
                // instrument is not lost, the exchange just cannot happen.
                a.cmdError = true;
                Publish(a);
                Blink(false);
                Lamp(kRed);
                Text(QString::fromLatin1(kNotOpen).trimmed());
                return;
        }
        if (Error_Dispatch(a, disconnected) == Dispatch::Leave) return;
        Wait_Seconds(*ctx_.clock, 0.5);
        ctx_.clock->Yield(0);
    }
}

CommandLink::Outcome CommandLink::Exchange(const std::string& cmd, const CommandClass& cls,
                                           bool Show, bool Quiet, Attempt& a) {
    SerialPort& port = *ctx_.port;
    Clock& clock = *ctx_.clock;
    if (port.Failed()) return Outcome::Disconnected;
    if (!port.IsOpen()) return Outcome::PortError;

    Flush();
    if (port.Failed()) return Outcome::Disconnected;
    port.DiscardOutput();
    quietSince_ = -1;
    if (!port.Write(cmd)) return port.Failed() ? Outcome::Disconnected : Outcome::PortError;

    // First character within T1.
    double ref = clock.Now();
    while (port.BytesAvailable() == 0)
        if (auto o = Idle(cmd, ref, cls.T1, kNoMessage, Quiet, a)) return *o;

    ref = clock.Now();
    Term("<- ");
    const bool fromLatest = cmd == "G";
    for (;;) {
        // Everything that has arrived is acted on at once; the loop only
        // yields when the line is idle.
        while (port.BytesAvailable() > 0) {
            const int ch = port.ReadByte();
            if (ch < 0) break;
            const unsigned char c = static_cast<unsigned char>(ch);
            if (fromLatest) ref = clock.Now();
            const bool plain = c <= 128;
            if (plain) Term(std::string(1, char(c)));
            a.reply += char(c);
            a.line += char(c);
            if (plain) a.log += char(c);
            if (a.capture) a.error += char(c);
            InBand(cmd, c, Show, a);
            if (c == 10) {
                if (port.BytesAvailable() == 0) {
                    quietSince_ = clock.Now();
                    quietPort_ = port.PortNumber();
                }
                return Outcome::Complete;
            }
        }
        if (auto o = Idle(cmd, ref, cls.T2, kNoTermination, Quiet, a)) return *o;
    }
}

std::optional<CommandLink::Outcome> CommandLink::Idle(const std::string& cmd, double ref,
                                                      double limit, const char* marker, bool Quiet,
                                                      Attempt& a) {
    if (ctx_.port->Failed()) return Outcome::Disconnected;
    const double e = Timer_Elapsed(*ctx_.clock, ref);
    if (e > limit) {
        if (Quiet) return Outcome::Left;
        a.reply = marker;
        return Outcome::TimedOut;
    }
    ctx_.clock->Yield(limit - e + 0.001);
    if (StopCheck(cmd)) return Outcome::Left;
    return std::nullopt;
}

void CommandLink::InBand(const std::string& cmd, unsigned char c, bool Show, Attempt& a) {
    Controls* ui = ctx_.ui;
    const Int16 value = Digits_ToInt(a.line);
    switch (c) {
        case 13:
            if (CRLF_Strip(a.line) == kHotCoil) {
                a.error += kHotCoil;
                a.cmdError = true;
            }
            a.line.clear();
            a.capture = false;
            break;
        case 24:
            if (Show) Text("AC FIELD UP    ");
            Blink(true);
            a.line.clear();
            break;
        case 25:
            if (Show) Text("AC FIELD DOWN  ");
            a.line.clear();
            break;
        case '#':
            if (!a.capture) {
                a.capture = true;
                a.cmdError = true;
                a.error += '#';
            }
            break;
        case 'd':
            if (cmd == "z") {
                const std::string tail =
                    a.line.size() > 5 ? a.line.substr(a.line.size() - 5) : a.line;
                const float hz = float(Digits_ToInt(tail)) * 0.0412f;
                Text("SEARCHING FOR AC FREQUENCY " + Text_PadLeft(Number_Format(hz, "0.0"), 4) +
                     " Hz");
                a.line.clear();
            }
            break;
        case 170:
            if (Show) {
                if (ctx_.instr.ModeWordWanted == 1) {
                    Text("AC FIELD MAX  " + Text_PadLeft(QString::number(value), 2) + " s");
                } else if (ctx_.instr.ModeWordWanted == 2) {
                    const Int16 s = value > 30 ? RoundToInt16(value / 1000.0) : value;
                    Text("DC FIELD PULSE  " + Text_PadLeft(QString::number(s), 2) + " s");
                }
            }
            a.line.clear();
            break;
        case 174:
        case 175:
            ctx_.link.ACFieldNow = value;
            if (FieldReported) FieldReported(c, value);
            if (Show && ui) {
                ui->lblACField[0]->setText(Number_Format(value, "0 "));
                ui->lblACField[0]->repaint();
                Text(c == 174 ? "AC FIELD DOWN  " : "AC FIELD UP    ");
            }
            a.line.clear();
            break;
        case 246:
            ctx_.link.DCFieldNow = value;
            if (FieldReported) FieldReported(c, value);
            if (ui) {
                if (Show) {
                    const bool negative =
                        value != 0 && ctx_.settings.ZAVMODE == 3 && ctx_.settings.TOVDIR == 2;
                    ui->lblDCField[0]->setText((negative ? "-" : "") + Number_Format(value, "0 "));
                }
                ui->lblDCField[0]->repaint();
            }
            if (ctx_.settings.ZAVMODE > 1 && Show)
                Text(value == 0 ? "DC FIELD OFF" : "DC FIELD ON");
            a.line.clear();
            break;
        default:
            break;
    }
}

CommandLink::Dispatch CommandLink::Error_Dispatch(Attempt& a, bool disconnected) {
    Blink(false);
    const bool ending = ctx_.link.CmdFatal;
    if (disconnected) {
        a.cmdError = true;
        ctx_.link.CmdFatal = true;
        a.error = kDisconnected;
    }
    Publish(a);
    const std::string err = CRLF_Strip(a.error);
    const QString text = FromBytes(err);
    const QString upper = text.toUpper();
    const bool tablet = ctx_.settings.TOUCHMODE;
    Dialogs& dlg = *ctx_.dialogs;

    auto warnOrWait = [&](const QString& prompt, int style, const QString& title) {
        if (tablet)
            Wait_Seconds(*ctx_.clock, 3);
        else
            dlg.MsgBox_Custom(prompt, style, title, 0, "OK");
    };

    Dispatch result = Dispatch::Leave;
    if (err == "## Tumbler Out of Coil ") {
        Lamp(kRed);
        Text(upper);
        a.cmdError = false;
        Publish(a);
        result = Retry_Ask(QString("Tumbler is out of coil!").toUpper());
    } else if (err == "## User Tumbler Break ") {
        Lamp(kRed);
        Text(upper);
        warnOrWait(QString("Tumbler was pulled out from the coil!").toUpper(), kExclamation,
                   "User error");
        a.cmdError = false;
        ctx_.link.RunCancel = true;
    } else if (err == "## YUL is OFF ") {
        Lamp(kLightOrange);
        Text(upper);
        a.cmdError = false;
        Publish(a);
        result = Retry_Ask(QString("YUL1 Unit is OFF!").toUpper());
    } else if (err == kHotCoil) {
        Lamp(kLightOrange);
        Text(upper);
        Command_Send("B1");
        warnOrWait(text, kExclamation, "Warning");
    } else if (err == "## Coil Overheated ") {
        Lamp(kRed);
        Text(upper);
        Command_Send("B1");
        Critical_Close(text, ending);
    } else if (err == "## Hypex Overheated ") {
        Lamp(kRed);
        Text(upper);
        warnOrWait(text + "\r\n\r\nWAIT FOR REQUIRED TEMPERATURE.", kCritical, "Critical error");
    } else {
        Lamp(kRed);
        Text(upper);
        Critical_Close(text, ending);
    }
    // A dialog's own event loop may have run a refused call meanwhile.
    Publish(a);
    return result;
}

CommandLink::Dispatch CommandLink::Retry_Ask(const QString& text) {
    bool retry = false;
    if (ctx_.settings.TOUCHMODE) {
        retry = ctx_.dialogs->MsgBox_Large("RETRY", "CANCEL");
        if (!retry) ctx_.link.RunCancel = true;
    } else {
        const int r = ctx_.dialogs->MsgBox_Custom(text, kRetryCancel + kExclamation, "Warning", 0,
                                                  "&Retry", "&Cancel");
        retry = r == kRetry;
        if (r == kCancel) ctx_.link.RunCancel = true;
    }
    return retry ? Dispatch::Retry : Dispatch::Leave;
}

void CommandLink::Critical_Close(const QString& err, bool ending) {
    const QString closing = (QString(kAppTitle) + " will be closed!").toUpper();
    if (ctx_.log) ctx_.log->Record(ToBytes(err.trimmed() + " - " + closing));
    // The program is ending already: the operator was told once, and what the
    // switch-off on the way out meets is not announced again.
    if (ending) return;
    if (ctx_.settings.TOUCHMODE)
        Wait_Seconds(*ctx_.clock, 3);
    else
        ctx_.dialogs->MsgBox_Custom(err + "\r\n\r\n" + closing, kCritical, "Critical error", 0,
                                    "OK");
    ctx_.link.CmdFatal = true;
}

void CommandLink::Loss_Report() {
    if (inFlight_ || ctx_.link.CmdFatal) return;
    Attempt a;
    a.reply = ctx_.link.ReplyText;
    ctx_.link.InstrumentLost = true;
    Error_Dispatch(a, true);
}

void CommandLink::Command_Send(const std::string& Cmd) {
    if (ctx_.settings.SIMULMODE) return;
    Term("-> " + Command_EchoName(Cmd) + "\r\n");
    if (!ctx_.port->IsOpen()) return;
    quietSince_ = -1;
    ctx_.port->Write(Cmd);
}

std::string CommandLink::Reply_Read(double& Timeout) {
    if (Timeout == 0) Timeout = 3.0;
    if (ctx_.settings.SIMULMODE || inFlight_) return {};
    SerialPort& port = *ctx_.port;
    Clock& clock = *ctx_.clock;
    if (!port.IsOpen()) return {};
    inFlight_ = true;
    struct Release {
        bool& f;
        ~Release() { f = false; }
    } release{inFlight_};

    const double start = clock.Now();
    while (port.BytesAvailable() == 0) {
        const double e = Timer_Elapsed(clock, start);
        if (e > Timeout || port.Failed()) return {};
        clock.Yield(Timeout - e + 0.001);
    }
    std::string text;
    const double first = clock.Now();
    for (;;) {
        while (port.BytesAvailable() > 0) {
            const int ch = port.ReadByte();
            if (ch < 0) break;
            text += char(ch);
            Term(std::string(1, char(ch)));
            if (ch == 10) {
                if (port.BytesAvailable() == 0) {
                    quietSince_ = clock.Now();
                    quietPort_ = port.PortNumber();
                }
                return text;
            }
        }
        const double e = Timer_Elapsed(clock, first);
        if (e > 3.0 || port.Failed()) return text;
        clock.Yield(3.0 - e + 0.001);
    }
}

void CommandLink::Input_Flush() {
    // The running exchange's reply must not be thrown away under it.
    if (!inFlight_) Flush();
}

void CommandLink::Flush() {
    SerialPort& port = *ctx_.port;
    Clock& clock = *ctx_.clock;
    if (!port.IsOpen()) return;
    if (port.PortNumber() != quietPort_) quietSince_ = -1;
    const bool waiting = port.BytesAvailable() > 0;
    port.DiscardInput();
    // The line is already known to have been silent long enough: anything
    // the controller sent since would still be waiting in the buffer.
    if (!waiting && quietSince_ >= 0 && Timer_Elapsed(clock, quietSince_) > kFlushQuiet) return;
    const double begin = clock.Now();
    double start = begin;
    for (;;) {
        const double e = Timer_Elapsed(clock, start);
        if (e > kFlushQuiet || port.Failed()) break;
        // Not known to be quiet: the next flush waits again.
        if (Timer_Elapsed(clock, begin) > kFlushLongest || ctx_.run.StopRequest) return;
        clock.Yield(kFlushQuiet - e + 0.001);
        if (port.BytesAvailable() > 0) {
            port.DiscardInput();
            start = clock.Now();
        }
    }
    quietSince_ = start;
    quietPort_ = port.PortNumber();
}

}  // namespace zavo
