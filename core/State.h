#pragma once
// The program's shared state: plain records owned by the Program object and
// handed by reference to every subsystem that reads or writes them.

#include <QDate>
#include <cstdint>
#include <string>

namespace zavo {

using Int16 = std::int16_t;

// The operator's choices kept in the settings file, one field per file line.
struct Settings {
    Int16 COMM = 1;
    QDate FREQDATE{1900, 1, 1};
    Int16 ZAVMODE = 1;
    Int16 DMODE = 7;
    Int16 DMGFD = 0;
    Int16 DMGER = 1;
    Int16 DMGES = 2;
    Int16 DMGET = 5;
    Int16 REKMODE = 0;
    Int16 REKFD = 0;
    Int16 REKFM = 0;
    Int16 REKFA = 0;
    Int16 REKER = 1;
    Int16 REKES = 2;
    Int16 REKET = 5;
    Int16 TOVMODE = 0;
    Int16 TOVFP = 0;
    Int16 TOVET = 5;
    Int16 TOVDIR = 1;
    Int16 TOVNUM = 1;
    bool SERVMODE = false;
    Int16 ZAVORIENT = 0;
    bool SIMULMODE = false;
    bool TOUCHMODE = false;
    bool SOUNDMODE = false;

    bool operator==(const Settings&) const = default;
};

// What the last exchange with the controller left behind. Texts are raw bytes
// (8-bit characters as the controller sends them), never UTF-8.
struct LinkState {
    std::string CmdText;
    std::string ReplyText;
    bool CmdError = false;
    bool CmdFatal = false;
    bool RunCancel = false;
    // No reply came in time or the port failed: the instrument cannot be
    // reached, so nothing more is sent to it. Never cleared, like CmdFatal.
    bool InstrumentLost = false;
    float ACFieldNow = 0;
    float DCFieldNow = 0;
};

// Values the controller has confirmed (encoder replies and the "IP" report).
struct InstrumentState {
    Int16 FDActual = 0;
    Int16 FAActual = 0;
    Int16 FMActual = 0;
    Int16 FPActual = 0;
    Int16 ESActual = 0;
    Int16 ERActual = 0;
    Int16 ETActual = 0;
    Int16 SDActual = 0;
    Int16 SMActual = 0;
    Int16 HActual = 0;
    Int16 ModeWordActual = 0;
    Int16 TumblerConnected = 0;
    Int16 YULState = 0;
    Int16 WPState = 0;
    float CoilTempMV = 0;
    float CoilTempC = 0;
    // Mode word the program wants (1 AC field work, 2 DC pulses) and the
    // magnetizer mode last used (2 or 3).
    Int16 ModeWordWanted = 1;
    Int16 MagMode = 2;
};

struct RunFlags {
    bool Busy = false;
    bool InstrReady = false;
    bool StopRequest = false;
};

// Magnetizing positions and tumbler use.
struct PositionState {
    Int16 MMode = 0;
    Int16 MIndex = 0;
    Int16 MIndexMax = 0;
    Int16 MPos = 0;
    bool TumblerUsed = false;
    bool AutoNext = false;
};

}  // namespace zavo
