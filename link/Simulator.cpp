#include "link/Simulator.h"

namespace zavo {

namespace {

bool Begins(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::string Lines(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* l : lines) {
        if (!out.empty()) out += "\r\n";
        out += l;
    }
    return out;
}

}  // namespace

std::string Simulated_Reply(const std::string& cmd, Int16 ModeWordWanted, Int16 ZAVMODE) {
    if (cmd == "IP") {
        if (ZAVMODE == 3)
            return Lines({"IPActual RAM Set:", "TOV", "TMB1 YUL1 WP1  B0", "FP 0 mT CP 0987",
                          "D-  ET 5000 ms", "SM0"});
        return Lines({"Actual RAM Set:", "DMG", "TMB1 YUL1 WP1 REG1 B0",
                      "FD 0 mT CD 1036  SC 622 cm2", "FA 0 mT", "FM 0 uT CM 0980",
                      "ER 3  ES 2  ET 5 s", "fg: 1045d 43.0 Hz", "SD0  SM0  H0"});
    }
    if (cmd == "IE")
        return Lines({"Actual EEPROM Set:", "fg: 1044 d", "CD: 1036", "CM: 0980", "CP: 0987",
                      "SC: 0622 cm2"});
    if (cmd.empty()) return {};

    const char last = cmd.back();
    switch (cmd[0]) {
        case 16:
            return "** ZAVO-A  03-Jul-2013  c22365";
        case 27:
            return "** STOP ";
        case 'F':
            if (Begins(cmd, "FD")) return "** PRESET FIELD  10 mT";
            if (Begins(cmd, "FM")) return "** PRESET FIELD  100 uT";
            if (Begins(cmd, "FP")) return "** PRESET FIELD  20 mT";
            return {};
        case 'A':
            return "AC-DC OFF  10 mT";
        case 'M':
            if (last == '1') return "DMG";
            if (last == '2') return "TOV";
            return {};
        case 'S':
            for (const char* s : {"SD0", "SD1", "SM0", "SM1"})
                if (Begins(cmd, s)) return s;
            return {};
        case 'H':
            if (Begins(cmd, "H0")) return "H0";
            if (Begins(cmd, "H1")) return "H1";
            return {};
        case 'E':
            if (Begins(cmd, "ES")) return "ES 2";
            if (Begins(cmd, "ER")) return "ER 3";
            if (Begins(cmd, "ET")) {
                if (ModeWordWanted == 1) return "ET 10 s";
                if (ModeWordWanted == 2) return "ET 1000 ms";
            }
            return {};
        case 'D':
            if (last == '1') return "D+";
            if (last == '2') return "D-";
            return {};
        case 'J':
        case 'j':
            return std::string("D: 0D") + char(26) + " 0mV 0.00A  T: 3189mV  M: 0D" + char(26) +
                   " 0mV  ";
        case 'y':
            return std::string("T: 3189mV   27 ") + char(248) + "C";
        case 't':
            return "** Tumbler is running ";
        case 'P':
            return "** POSITION SET ";
        case 'w':
            return "WP Test is ON ";
        case 'i':
            return "** Tumbler Ready ";
        default:  // "G", "z", the control-character pairs, "B0", "B1", ...
            return {};
    }
}

}  // namespace zavo
