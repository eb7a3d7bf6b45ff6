#pragma once
// The context every subsystem is built with: the shared records (owned here),
// the seams to the outside world and the subsystems themselves, so that one
// subsystem can call another without the window owning everything.

#include <functional>

#include "core/Paths.h"
#include "core/State.h"

namespace zavo {

class Clock;
class Activity;
class Sound;
class Dialogs;
class SerialPort;
struct Controls;
class StatusLine;
class CommLog;
class Terminal;
class CommandLink;
class CommandSet;
class StatusReport;
class Tumbler;
class OptionGroups;
class Limits;
class PanelEnabling;
class MainWindow;
class ModeSwitch;
class ParamUpload;
class MagLink;
class RunSequence;
class InstrumentInit;
class RunTrace;
class DemagHold;
class PortSearch;
class FreqOptimize;
class Shortcuts;
class ServiceControls;

struct Ctx {
    ProgramPaths paths;

    // Shared records.
    Settings settings;
    LinkState link;
    InstrumentState instr;
    RunFlags run;
    PositionState pos;

    // Seams.
    Clock* clock = nullptr;
    // One operation talks to the controller at a time.
    Activity* activity = nullptr;
    Sound* sound = nullptr;
    Dialogs* dialogs = nullptr;
    SerialPort* port = nullptr;

    // Widgets of the main window and the subsystems.
    Controls* ui = nullptr;
    StatusLine* status = nullptr;
    CommLog* log = nullptr;
    Terminal* term = nullptr;
    CommandLink* cmd = nullptr;
    CommandSet* cmds = nullptr;
    StatusReport* report = nullptr;
    Tumbler* tumbler = nullptr;
    OptionGroups* options = nullptr;
    Limits* limits = nullptr;
    PanelEnabling* enabling = nullptr;
    MainWindow* window = nullptr;
    ModeSwitch* modes = nullptr;
    ParamUpload* upload = nullptr;
    MagLink* maglink = nullptr;
    RunSequence* run_ops = nullptr;
    InstrumentInit* init = nullptr;
    RunTrace* trace = nullptr;
    DemagHold* hold = nullptr;
    PortSearch* search = nullptr;
    FreqOptimize* freq = nullptr;
    Shortcuts* keys = nullptr;
    ServiceControls* service = nullptr;

    // Ends the program at once (after a fatal link error), without the exit
    // dialog. Tests replace it to observe the end.
    std::function<void()> EndProgram;
    // Plays the click sound when sounds are on.
    void ClickSound();
};

}  // namespace zavo
