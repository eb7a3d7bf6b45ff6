#pragma once
// The program object: owns the shared records (in its context), the main
// window and every subsystem, and wires them to the seams it is given.

#include <filesystem>
#include <memory>

#include "core/Context.h"

namespace zavo {

class Clock;
class Sound;
class Dialogs;
class SerialPort;

class Program {
public:
    Program(const std::filesystem::path& programDir, Clock& clock, Sound& sound,
            Dialogs& dialogs, SerialPort& port);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    Ctx& ctx() { return ctx_; }
    MainWindow& window() { return *window_; }

private:
    Ctx ctx_;
    std::unique_ptr<Activity> activity_;
    std::unique_ptr<Controls> ui_;
    std::unique_ptr<StatusLine> status_;
    std::unique_ptr<CommLog> log_;
    std::unique_ptr<Terminal> term_;
    std::unique_ptr<CommandLink> cmd_;
    std::unique_ptr<CommandSet> cmds_;
    std::unique_ptr<StatusReport> report_;
    std::unique_ptr<Tumbler> tumbler_;
    std::unique_ptr<OptionGroups> options_;
    std::unique_ptr<Limits> limits_;
    std::unique_ptr<PanelEnabling> enabling_;
    std::unique_ptr<ModeSwitch> modes_;
    std::unique_ptr<ParamUpload> upload_;
    std::unique_ptr<MagLink> maglink_;
    std::unique_ptr<RunTrace> trace_;
    std::unique_ptr<DemagHold> hold_;
    std::unique_ptr<RunSequence> runSeq_;
    std::unique_ptr<InstrumentInit> init_;
    std::unique_ptr<PortSearch> search_;
    std::unique_ptr<FreqOptimize> freq_;
    std::unique_ptr<ServiceControls> service_;
    std::unique_ptr<Shortcuts> keys_;
    // Last, so the window and its controls go before the subsystems that
    // handle their events.
    std::unique_ptr<MainWindow> window_;
};

}  // namespace zavo
