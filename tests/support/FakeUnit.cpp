#include "support/FakeUnit.h"

namespace zavo::test {

FakeUnit::FakeUnit(FakePort& port, FakeClock& clock) : port_(port), clock_(clock) {
    port_.responder = [this](const std::string& cmd) { return Reply(cmd); };
}

std::string FakeUnit::Report() {
    const int y = (reports_++ > 0 && yulLater >= 0) ? yulLater : yul;
    const std::string flags = "TMB" + std::to_string(tumbler) + " YUL" + std::to_string(y) +
                              " WP" + std::to_string(wp);
    if (pulseUnit)
        return "Actual RAM Set:\rTOV\r" + flags + "  B0\rFP " + std::to_string(FP) +
               " mT CP 0987\rD-  ET " + std::to_string(ET * 100) + " ms\rSM" + std::to_string(SM) +
               "\r\n";
    return "Actual RAM Set:\rDMG\r" + flags + " REG1 B0\rFD " + std::to_string(FD) +
           " mT CD 1036  SC 622 cm2\rFA " + std::to_string(FA) + " mT\rFM " + std::to_string(FM) +
           " uT CM 0980\rER " + std::to_string(ER) + "  ES " + std::to_string(ES) + "  ET " +
           std::to_string(ET) + " s\rfg: 1045d 43.0 Hz\rSD" + std::to_string(SD) + "  SM" +
           std::to_string(SM) + "  H" + std::to_string(H) + "\r\n";
}

std::string FakeUnit::Reply(const std::string& cmd) {
    if (auto it = on.find(cmd); it != on.end()) std::function(it->second)();  // may replace itself
    const auto Begins = [&cmd](const char* p) { return cmd.rfind(p, 0) == 0; };
    if (silent) return {};
    const auto line = [](const std::string& s) { return s + "\r\n"; };
    if (auto it = overrides.find(cmd); it != overrides.end())
        return it->second.empty() ? std::string() : line(it->second);
    const auto value = [&](size_t from) { return std::stoi(cmd.substr(from)); };
    static const std::map<std::string, std::string> fixed{
        {"\x10", "** ZAVO-A  03-Jul-2013  c22365"}, {"\x14", "-> S-mode key "}, {"B0", "B0"},
        {"\x03", "** STOP "}, {"\x14\x03", "** STOP "}, {"\x14\x08", "-> Data Was Saved to EEprom"},
        {"\x13", " Hz set  -> IF OK SAVE EEprom ! "},
        {"\x14\x13", " Hz set  -> IF OK SAVE EEprom ! "},
        {std::string("\0u", 2), "-> Data Was Loaded from EEprom "},
        {"IE", "Actual EEPROM Set:\rfg: 1044 d\rCD: 1036\rCM: 0980\rCP: 0987\rSC: 0622 cm2"},
        {"j", "D: 0D\x1a 0mV 0.00A  T: 3189mV  M: 0D\x1a 0mV  "},
        {"i", "** Tumbler Ready "}, {"t", "** Tumbler is running "}};
    if (auto it = fixed.find(cmd); it != fixed.end()) return line(it->second);
    if (cmd == "IP") return Report();
    if (cmd == "\x1b") {
        ++courseId_;
        return line("** STOP ");
    }
    if (cmd == "G") {
        if (!gError.empty()) return line(gError);
        // Up, the peak, down to zero, the end; each part unless an Esc came.
        const int id = ++courseId_;
        const int peak = pulseUnit ? FP : FD;
        const std::string parts[] = {"\x18", std::to_string(peak) + "\xaf", "\x19",
                                     "0\xae" "End of Ramp \r\n"};
        for (int k = 0; k < 4; ++k)
            clock_.After(course * (k + 1) / 4, [this, id, p = parts[k]] {
                if (id == courseId_) port_.Deliver(p);
            });
        return {};
    }
    if (cmd == "z") return freq.empty() ? freq : line(freq);
    if (cmd == "y") {
        const int mv = temperatures.empty() ? coilMV : temperatures.front();
        if (!temperatures.empty()) temperatures.pop_front();
        return line("T: " + std::to_string(mv) + "mV   " + std::to_string(mv / 100) + " \xf8" + "C");
    }
    if (cmd == "w") return line((wp = 1 - wp) ? "WP Test is ON " : "WP Test is OFF ");
    for (auto [prefix, field] : {std::pair{"FD", &FD}, {"FM", &FM}, {"FP", &FP}, {"A", &FA}}) {
        if (!Begins(prefix)) continue;
        *field = value(std::string(prefix).size());
        return line((*prefix == 'A' ? "AC-DC OFF  " : "** PRESET FIELD  ") +
                    std::to_string(*field) + " mT");
    }
    for (auto [prefix, field] : {std::pair{"SD", &SD}, {"SM", &SM}, {"H", &H}}) {
        if (!Begins(prefix)) continue;
        *field = value(std::string(prefix).size());
        return line(prefix + std::to_string(*field));
    }
    if (Begins("ES")) return line("ES " + std::to_string(ES = value(2)));
    if (Begins("ER")) return line("ER " + std::to_string(ER = value(2)));
    if (Begins("ET"))
        return line(pulseUnit ? "ET " + std::to_string((ET = value(2)) * 100) + " ms"
                              : "ET " + std::to_string(ET = value(2)) + " s");
    if (Begins("D")) return line(cmd == "D1" ? "D+" : "D-");
    if (Begins("M")) return line((pulseUnit = cmd == "M2") ? "TOV" : "DMG");
    if (Begins("P")) return line("** POSITION SET ");
    return {};
}

}  // namespace zavo::test
