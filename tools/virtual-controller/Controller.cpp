#include "Controller.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vc {

namespace {

constexpr char kEsc = 27;
constexpr char kCtrlP = 16;
constexpr char kCtrlT = 20;
constexpr char kUp = char(24), kDown = char(25);
constexpr char kTime = char(170), kFalling = char(174), kRising = char(175), kDc = char(246);
constexpr char kDegree = char(248);

// Electronics answer at once; everything that moves or switches takes
// scaled time.
constexpr double kLatency = 0.005;
// A lone Ctrl-T or NUL waits this long for the character that completes it.
constexpr double kPairWindow = 0.05;
// A command left unfinished this long is dropped (someone typing by hand
// gets that much time per key).
constexpr double kPartialTimeout = 3.0;

const std::string kUnknown = "## Unknown Cmd. ";
const std::string kIllegal = "## Illegal Parameter ";
const std::string kTovActive = "## TOV is Active ! ";
const std::string kTumblerMissing = "## Tumbler is NOT Connected ";

// Fixed forms; '#' stands for one digit.
const std::vector<std::string>& Forms() {
    static const std::vector<std::string> forms = {"FD###",
                                                   "FM###",
                                                   "FP###",
                                                   "A###",
                                                   "ET##",
                                                   "ES#",
                                                   "ER#",
                                                   "D#",
                                                   "M#",
                                                   "SD#",
                                                   "SM#",
                                                   "H#",
                                                   "P##",
                                                   "IP",
                                                   "IE",
                                                   "B#",
                                                   "G",
                                                   "j",
                                                   "J",
                                                   "y",
                                                   "t",
                                                   "i",
                                                   "w",
                                                   "z",
                                                   std::string(1, kCtrlP),
                                                   std::string(1, kEsc),
                                                   std::string{kCtrlT, 3},
                                                   std::string{kCtrlT, 19},
                                                   std::string{kCtrlT, 8},
                                                   std::string{'\0', 'u'}};
    return forms;
}

enum class Match { Invalid, Prefix, Complete };

Match MatchForm(const std::string& text) {
    Match best = Match::Invalid;
    for (const std::string& form : Forms()) {
        if (text.size() > form.size()) continue;
        bool ok = true;
        for (size_t i = 0; i < text.size() && ok; ++i)
            ok = form[i] == '#' ? (text[i] >= '0' && text[i] <= '9') : text[i] == form[i];
        if (!ok) continue;
        if (text.size() == form.size()) return Match::Complete;
        best = Match::Prefix;
    }
    return best;
}

int Value(const std::string& cmd, size_t from) {
    int v = 0;
    for (size_t i = from; i < cmd.size(); ++i) v = v * 10 + (cmd[i] - '0');
    return v;
}

std::string Format(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

// The frequency the controller shows for a divider count, cut to 0.1 Hz.
double Hertz(int count) {
    return std::floor(count * 0.412) / 10.0;
}

}  // namespace

const std::vector<std::pair<std::string, std::string>>& FaultNames() {
    static const std::vector<std::pair<std::string, std::string>> names = {
        {"no-reply", "G"},    {"no-lf", "G"},         {"hot-coil", "G"}, {"coil-overheated", "G"},
        {"tumbler-out", "G"}, {"tumbler-break", "G"}, {"yul-off", "G"},  {"hypex-overheated", "G"},
        {"unknown-cmd", "G"}, {"vanish", "G"}};
    return names;
}

bool ParseFault(const std::string& text, Fault& out, std::string& error) {
    std::string rest = text;
    Fault f;
    const size_t star = rest.rfind('*');
    if (star != std::string::npos) {
        const std::string n = rest.substr(star + 1);
        if (n.empty() || n.size() > 6 || n.find_first_not_of("0123456789") != std::string::npos) {
            error = "bad repeat count in fault '" + text + "'";
            return false;
        }
        f.count = std::stoi(n);
        rest.resize(star);
    }
    const size_t at = rest.find('@');
    std::string cmd;
    bool hasCmd = false;
    if (at != std::string::npos) {
        cmd = rest.substr(at + 1);
        hasCmd = true;
        rest.resize(at);
        if (cmd == "ESC") cmd = std::string(1, kEsc);
        if (cmd == "^P") cmd = std::string(1, kCtrlP);
        if (cmd.empty()) {
            error = "empty command in fault '" + text + "'";
            return false;
        }
    }
    for (const auto& [name, defaultCmd] : FaultNames()) {
        if (name != rest) continue;
        f.name = name;
        f.cmd = hasCmd ? cmd : defaultCmd;
        out = f;
        return true;
    }
    error = "unknown fault '" + rest + "'";
    return false;
}

std::string Escape(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c >= 32 && c < 127)
            out += char(c);
        else
            out += Format("\\x%02X", c);
    }
    return out;
}

Controller::Controller(Options options, double now) : opt_(std::move(options)), start_(now) {
    if (opt_.speed <= 0) opt_.speed = 1;
    st_.tumblerPresent = opt_.tumbler;
    st_.yul = opt_.yul;
}

int Controller::CoilMillivolts(double now) const {
    if (opt_.coldSeconds <= 0) return 3189;
    // Crosses the working threshold (above 2440 mV) when the time is up.
    const double mv = 2000 + 441 * (now - start_) / opt_.coldSeconds;
    return int(std::min(3189.0, std::floor(mv)));
}

std::string Controller::Banner() const {
    return "** ZAVO-V  06-Dec-2026  c00000";
}

std::string Controller::InfoReport() const {
    const int tmb = st_.tumblerPresent ? 1 : 0;
    const int yul = int(st_.yul);
    if (st_.modeWord == 2) {
        return Format(
            "Actual RAM Set:\rTOV\rTMB%d YUL%d WP%d  B%d\rFP %d mT CP 0987\rD%c  ET %d ms\rSM%d",
            tmb, yul, st_.wp ? 1 : 0, st_.b, st_.fp, st_.dir == 1 ? '+' : '-', st_.pulseMs, st_.sm);
    }
    return Format(
        "Actual RAM Set:\rDMG\rTMB%d YUL%d WP%d REG1 B%d\rFD %d mT CD 1036  SC 622 cm2\rFA %d mT\r"
        "FM %d uT CM 0980\rER %d  ES %d  ET %d s\rfg: %dd %.1f Hz\rSD%d  SM%d  H%d",
        tmb, yul, st_.wp ? 1 : 0, st_.b, st_.fd, st_.fa, st_.fm, st_.er, st_.es, st_.et, st_.fgRam,
        Hertz(st_.fgRam), st_.sd, st_.sm, st_.h);
}

std::string Controller::EepromReport() const {
    return Format("Actual EEPROM Set:\rfg: %d d\rCD: 1036\rCM: 0980\rCP: 0987\rSC: 0622 cm2",
                  st_.fgEeprom);
}

void Controller::Receive(const std::string& bytes, double now) {
    Advance(now);
    for (unsigned char c : bytes) Byte(c, now);
    FlushUnknown(now);
}

void Controller::Byte(unsigned char c, double now) {
    if (Busy(now)) {
        // Busy with the field, the tumbler or the search: only ESC is heard.
        if (c == kEsc) Dispatch(std::string(1, kEsc), now);
        return;
    }
    if (serviceKey_) {
        serviceKey_ = false;
        if (c == 3 || c == 19 || c == 8) {
            FlushUnknown(now);
            Dispatch(std::string{kCtrlT, char(c)}, now);
            return;
        }
    }
    if (partial_.empty() && (c == '\r' || c == '\n' || c == ' ')) return;
    partial_ += char(c);
    partialSince_ = now;
    switch (MatchForm(partial_)) {
        case Match::Prefix:
            return;
        case Match::Complete: {
            const std::string cmd = partial_;
            partial_.clear();
            FlushUnknown(now);
            Dispatch(cmd, now);
            return;
        }
        case Match::Invalid:
            break;
    }
    // Resynchronise: what came before this byte was no command; the byte
    // itself may begin the next one.
    const std::string head = partial_.substr(0, partial_.size() - 1);
    partial_.clear();
    if (head.empty()) {
        unknownPending_ = true;
        return;
    }
    if (head == std::string(1, kCtrlT)) {
        Dispatch(head, now);
    } else if (head != std::string(1, '\0')) {  // a lone NUL is line noise
        unknownPending_ = true;
    }
    Byte(c, now);
}

void Controller::FlushUnknown(double now) {
    if (!unknownPending_) return;
    unknownPending_ = false;
    Schedule({{kLatency, Event{kUnknown + "\r\n"}}}, now);
}

void Controller::Advance(double now) {
    // Deadlines are compared exactly as NextDue() states them; (a + w) - a
    // can round below w, and a deadline that never fires would spin a driver.
    if (!partial_.empty()) {
        const bool pairStart =
            partial_ == std::string(1, kCtrlT) || partial_ == std::string(1, '\0');
        if (pairStart && now >= partialSince_ + kPairWindow) {
            const std::string head = partial_;
            partial_.clear();
            if (head[0] == kCtrlT) Dispatch(head, now);
        } else if (!pairStart && now >= partialSince_ + kPartialTimeout) {
            partial_.clear();
            unknownPending_ = true;
            FlushUnknown(now);
        }
    }
    Release(now);
}

void Controller::Dispatch(const std::string& cmd, double now) {
    commands_.push_back(cmd);
    const Fault* hit = nullptr;
    for (Fault& f : opt_.faults) {
        if (f.count < 0 || cmd.rfind(f.cmd, 0) != 0) continue;
        hit = &f;
        if (f.count > 0 && --f.count == 0) f.count = -1;  // used up
        break;
    }
    Plan plan;
    if (hit) {
        ApplyFault(*hit, cmd, plan, now);
    } else {
        plan = Execute(cmd, now);
    }
    Schedule(plan, now);
}

void Controller::ApplyFault(const Fault& f, const std::string& cmd, Plan& plan, double now) {
    const auto line = [](const std::string& text) {
        return Plan{{kLatency, Event{text + "\r\n"}}};
    };
    if (f.name == "no-reply") return;
    if (f.name == "coil-overheated")
        plan = line("## Coil Overheated ");
    else if (f.name == "hypex-overheated")
        plan = line("## Hypex Overheated ");
    else if (f.name == "tumbler-out")
        plan = line("## Tumbler Out of Coil ");
    else if (f.name == "yul-off")
        plan = line("## YUL is OFF ");
    else if (f.name == "unknown-cmd")
        plan = line(kUnknown);
    if (!plan.empty()) return;

    plan = Execute(cmd, now);
    if (plan.empty()) return;
    // Where a reply is cut: halfway through a course, or halfway through the
    // only line of a plain reply.
    const auto cut = [&plan]() -> double {
        if (plan.size() >= 2) {
            const size_t keep = plan.size() / 2;
            const double at = plan[keep].first;
            plan.resize(keep);
            return at;
        }
        Event& e = plan[0].second;
        e.bytes.resize(e.bytes.size() / 2);
        return plan[0].first;
    };
    if (f.name == "no-lf") {
        for (auto it = plan.rbegin(); it != plan.rend(); ++it) {
            std::string& b = it->second.bytes;
            if (!b.empty() && b.back() == '\n') {
                b.pop_back();
                break;
            }
        }
    } else if (f.name == "hot-coil") {
        plan.insert(plan.begin(), {plan.front().first, Event{"-> Warning: Hot Coil \r"}});
    } else if (f.name == "tumbler-break") {
        const Tag tag = plan.front().second.tag;
        const double at = cut();
        Event off{std::string("0") + kFalling + "## User Tumbler Break \r\n", tag, 0, 0};
        plan.push_back({at, off});
    } else if (f.name == "vanish") {
        const double at = cut();
        Event gone;
        gone.vanish = true;
        plan.push_back({at, gone});
    }
}

Controller::Plan Controller::Execute(const std::string& cmd, double now) {
    const auto line = [](const std::string& text, double delay = kLatency) {
        return Plan{{delay, Event{text + "\r\n"}}};
    };
    const bool tov = st_.modeWord == 2;
    const char c0 = cmd[0];
    switch (c0) {
        case kCtrlP:
            return line(Banner());
        case kEsc:
            return StopPlan(now);
        case 'F': {
            const int v = Value(cmd, 2);
            if (cmd[1] == 'D') {
                if (tov) return line(kTovActive);
                if (v > 200) return line(kIllegal);
                st_.fd = v;
                return line(Format("** PRESET FIELD  %d mT", v));
            }
            if (cmd[1] == 'M') {
                if (v > 500) return line(kIllegal);
                st_.fm = v;
                return line(Format("** PRESET FIELD  %d uT", v));
            }
            if (v > 20) return line(kIllegal);
            st_.fp = v;
            return line(Format("** PRESET FIELD  %d mT", v));
        }
        case 'A': {
            const int v = Value(cmd, 1);
            if (tov) return line(kTovActive);
            if (v > 200) return line(kIllegal);
            st_.fa = v;
            return line(Format("AC-DC OFF  %d mT", v));
        }
        case 'E': {
            const int v = Value(cmd, 2);
            if (cmd[1] == 'T') {
                if (tov) {
                    st_.pulseMs = v == 0 ? 10 : v * 100;
                    return line(Format("ET %d ms", st_.pulseMs));
                }
                if (v > 30) return line(kIllegal);
                st_.et = v;
                return line(Format("ET %d s", v));
            }
            if (tov) return line(kTovActive);
            if (cmd[1] == 'S') {
                if (v < 1 || v > 3) return line(kIllegal);
                st_.es = v;
                return line(Format("ES %d", v));
            }
            if (v > 3) return line(kIllegal);
            st_.er = v;
            return line(Format("ER %d", v));
        }
        case 'D': {
            const int v = Value(cmd, 1);
            if (v != 1 && v != 2) return line(kIllegal);
            st_.dir = v;
            return line(v == 1 ? "D+" : "D-");
        }
        case 'M': {
            const int v = Value(cmd, 1);
            if (v != 1 && v != 2) return line(kIllegal);
            if (v == 2 && st_.yul == Yul::Absent) return line("## YUL is NOT Connected ");
            if (v == 2 && st_.yul == Yul::Off) return line("## YUL is OFF ");
            // A new unit word switches every power stage off first.
            st_.sd = st_.sm = st_.h = 0;
            st_.modeWord = v;
            return line(v == 1 ? "DMG" : "TOV", kLatency + Scaled(0.2));
        }
        case 'S': {
            const int v = Value(cmd, 2);
            if (v > 1) return line(kIllegal);
            if (cmd[1] == 'D') {
                if (v == 1 && tov) return line(kTovActive);
                st_.sd = v;
            } else {
                if (v == 1 && st_.yul == Yul::Absent) return line("## YUL is NOT Connected ");
                if (v == 1 && st_.yul == Yul::Off) return line("## YUL is OFF ");
                st_.sm = v;
            }
            return line(cmd, kLatency + Scaled(0.3));
        }
        case 'H': {
            const int v = Value(cmd, 1);
            if (v > 1) return line(kIllegal);
            st_.h = v;
            return line(cmd, kLatency + Scaled(0.1));
        }
        case 'B': {
            const int v = Value(cmd, 1);
            if (v > 1) return line(kIllegal);
            st_.b = v;
            return line(cmd);
        }
        case 'G':
            return tov ? PulseCourse() : Course();
        case 'I':
            return line(cmd[1] == 'P' ? InfoReport() : EepromReport());
        case 'j':
        case 'J':
            return line(Format("D: %dD%c %dmV 0.00A  T: %dmV  M: %dD%c 0mV  ", acNow_, char(26),
                               acNow_ * 10, CoilMillivolts(now), dcNow_, char(26)));
        case 'y': {
            const int mv = CoilMillivolts(now);
            return line(
                Format("T: %dmV   %ld %cC", mv, std::lround(27 + (mv - 3189) / 100.0), kDegree));
        }
        case 'w':
            st_.wp = !st_.wp;
            return line(st_.wp ? "WP Test is ON " : "WP Test is OFF ");
        case 't':
            if (!st_.tumblerPresent) return line(kTumblerMissing);
            st_.tumbling = true;
            st_.tumblerReady = true;
            return line("** Tumbler is running ", kLatency + Scaled(0.3));
        case 'i': {
            if (!st_.tumblerPresent) return line(kTumblerMissing);
            st_.tumbling = false;
            st_.tumblerReady = true;
            st_.position = 0;
            Event e{"** Tumbler Ready \r\n", kActivity};
            return Plan{{kLatency + Scaled(1.5), e}};
        }
        case 'P': {
            const int v = Value(cmd, 1);
            if (!st_.tumblerPresent) return line(kTumblerMissing);
            if (v > 18) return line(kIllegal);
            const double move = 0.3 + 0.1 * std::abs(v - st_.position);
            st_.position = v;
            st_.tumbling = false;
            return Plan{{kLatency + Scaled(move), Event{"** POSITION SET \r\n", kActivity}}};
        }
        case 'z':
            if (tov) return line(kTovActive);
            if (st_.sd == 0) return line("## DMG PWR is OFF ");
            if (st_.h == 0) return line("## Hypex NOT Active ");
            return FrequencySearch();
        case kCtrlT:
            if (cmd.size() == 1) {
                // A lone service key: acknowledged, the next character completes it.
                serviceKey_ = true;
                return line("-> S-mode key ");
            }
            if (cmd[1] == 3) {
                st_.serviceMode = false;
                return line("** STOP ");
            }
            if (cmd[1] == 19) {
                st_.serviceMode = true;
                return line(" Hz set  -> IF OK SAVE EEprom ! ");
            }
            if (!st_.serviceMode) return line("## S-mode required ");
            st_.fgEeprom = st_.fgRam;
            return line("-> Data Was Saved to EEprom");
        case '\0':
            st_.fgRam = st_.fgEeprom;
            return line("-> Data Was Loaded from EEprom ");
        default:
            return line(kUnknown);
    }
}

Controller::Plan Controller::Course() {
    const auto refuse = [](const std::string& text) {
        return Plan{{kLatency, Event{text + "\r\n"}}};
    };
    const int peak = st_.fd;
    static const int kRateLimit[] = {200, 200, 150, 100};
    static const double kRate[] = {9.0, 3.0, 1.5, 1.0};  // mT/s
    if (peak > 0 && st_.sd == 0) return refuse("## DMG PWR is OFF ");
    if (peak > 0 && st_.h == 0) return refuse("## Hypex NOT Active ");
    if (peak > kRateLimit[st_.er]) return refuse("## Slow Decrease ! ");

    // Course seconds between two field reports: a few per second, but never
    // so many that a fast run floods the line.
    const double step = std::max(0.25, 0.02 * opt_.speed);
    const bool dc = st_.sm == 1;
    Plan p;
    double t = kLatency;
    const auto at = [&](double courseSeconds, std::string bytes, int ac = -1, int dcv = -1) {
        p.push_back({t + Scaled(courseSeconds), Event{std::move(bytes), kActivity, ac, dcv}});
    };
    at(0, std::string(1, kUp));
    const double rise = std::max(0.5, peak / 20.0);
    const int n = std::max(1, int(std::ceil(rise / step)));
    for (int i = 1; i <= n; ++i) {
        const int v = int(std::lround(double(peak) * i / n));
        at(rise * i / n, std::to_string(v) + kRising, v);
    }
    t += Scaled(rise);
    if (dc) at(0, std::to_string(st_.fm) + kDc, -1, st_.fm);
    for (int s = st_.et; s >= 1; --s) at(st_.et - s, std::to_string(s) + kTime);
    t += Scaled(st_.et);
    at(0, std::string(1, kDown));
    const double fall = peak / kRate[st_.er];
    const int m = std::max(1, int(std::ceil(fall / step)));
    bool dcOn = dc;
    for (int i = 1; i <= m; ++i) {
        const double u = double(i) / m;
        double f = 1 - u;
        if (st_.es == 1) f = 1 - u * u;
        if (st_.es == 3) f = (1 - u) * (1 - u);
        const int v = int(std::lround(peak * f));
        at(fall * u, std::to_string(v) + kFalling, v);
        if (dcOn && v <= st_.fa) {
            at(fall * u, std::string("0") + kDc, -1, 0);
            dcOn = false;
        }
    }
    at(fall, "End of Ramp \r\n");
    return p;
}

Controller::Plan Controller::PulseCourse() {
    if (st_.fp > 0 && st_.sm == 0) return {{kLatency, Event{"## MAG PWR is OFF \r\n"}}};
    const double pulse = Scaled(st_.pulseMs / 1000.0);
    return {{kLatency, Event{std::to_string(st_.fp) + kDc + std::to_string(st_.pulseMs) + kTime,
                             kActivity, -1, st_.fp}},
            {kLatency + pulse, Event{std::string("0") + kDc, kActivity, -1, 0}},
            {kLatency + pulse, Event{" FIELD SET \r\n", kActivity}}};
}

Controller::Plan Controller::FrequencySearch() {
    Plan p;
    double t = kLatency;
    for (int count = 1000; count <= 1090; count += 5) {
        t += Scaled(0.3);
        p.push_back({t, Event{std::to_string(count) + "d", kActivity}});
    }
    st_.fgRam = 1045;
    p.push_back({t + Scaled(0.5),
                 Event{Format("fg: %dd %.1f Hz\r\n", st_.fgRam, Hertz(st_.fgRam)), kActivity}});
    return p;
}

Controller::Plan Controller::StopPlan(double now) {
    const bool wasBusy = Busy(now);
    bool searching = false;
    for (auto it = timeline_.begin(); it != timeline_.end();) {
        if (it->second.tag == kActivity) {
            searching = searching || it->second.bytes.rfind("fg:", 0) == 0;
            it = timeline_.erase(it);
        } else {
            ++it;
        }
    }
    activityUntil_ = now;
    st_.tumbling = false;
    std::string tail;
    int ac = -1, dc = -1;
    if (wasBusy && acNow_ != 0) {
        tail += std::string("0") + kFalling;
        ac = 0;
    }
    if (dcNow_ != 0) {
        tail += std::string("0") + kDc;
        dc = 0;
    }
    if (searching) {
        st_.fgRam = st_.fgEeprom;
        tail += "Break -> EEprom FREQ value used \r\n";
    } else {
        tail += "** STOP \r\n";
    }
    return {{kLatency, Event{tail, kReply, ac, dc}}};
}

void Controller::Schedule(const Plan& plan, double now) {
    // One command at a time: a reply starts after the previous one is out.
    const double base = timeline_.empty() ? now : std::max(now, timeline_.rbegin()->first);
    for (const auto& [delay, e] : plan) {
        timeline_.emplace(base + delay, e);
        if (e.tag == kActivity) activityUntil_ = std::max(activityUntil_, base + delay);
    }
    Release(now);
}

void Controller::Release(double now) {
    while (!timeline_.empty() && timeline_.begin()->first <= now) {
        auto it = timeline_.begin();
        const Event e = it->second;
        if (line_.empty()) lineFree_ = std::max(lineFree_, it->first);
        timeline_.erase(it);
        line_ += e.bytes;
        if (e.ac >= 0) acNow_ = e.ac;
        if (e.dc >= 0) dcNow_ = e.dc;
        if (e.vanish) {
            vanishAfterLine_ = true;
            timeline_.clear();
        }
    }
}

std::string Controller::TakeOutput(double now) {
    Advance(now);
    std::string out;
    if (opt_.byteTime <= 0) {
        out.swap(line_);
    } else if (!line_.empty() && lineFree_ <= now) {
        const size_t n = std::min(line_.size(), size_t((now - lineFree_) / opt_.byteTime) + 1);
        out = line_.substr(0, n);
        line_.erase(0, n);
        lineFree_ += n * opt_.byteTime;
    }
    if (line_.empty() && vanishAfterLine_) vanished_ = true;
    return out;
}

double Controller::NextDue() const {
    if (vanished_) return kNever;
    double due = kNever;
    if (!timeline_.empty()) due = timeline_.begin()->first;
    if (!line_.empty()) due = std::min(due, opt_.byteTime <= 0 ? -kNever : lineFree_);
    if (vanishAfterLine_ && line_.empty()) due = -kNever;
    if (!partial_.empty()) {
        const bool pairStart =
            partial_ == std::string(1, kCtrlT) || partial_ == std::string(1, '\0');
        due = std::min(due, partialSince_ + (pairStart ? kPairWindow : kPartialTimeout));
    }
    return due;
}

std::vector<std::string> Controller::TakeCommands() {
    std::vector<std::string> out;
    out.swap(commands_);
    return out;
}

}  // namespace vc
