#include "app/Program.h"

#include <QCoreApplication>

#include "core/Activity.h"
#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/CommandSet.h"
#include "link/PortSearch.h"
#include "link/StatusLine.h"
#include "link/Terminal.h"
#include "maglink/MagLink.h"
#include "operations/DemagHold.h"
#include "operations/FreqOptimize.h"
#include "operations/InstrumentInit.h"
#include "operations/ModeSwitch.h"
#include "operations/ParamUpload.h"
#include "operations/RunSequence.h"
#include "operations/RunTrace.h"
#include "operations/ServiceControls.h"
#include "operations/StatusReport.h"
#include "operations/Tumbler.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "panel/Shortcuts.h"

namespace zavo {

Program::Program(const std::filesystem::path& programDir, Clock& clock, Sound& sound,
                 Dialogs& dialogs, SerialPort& port) {
    ctx_.paths.dir = programDir;
    ctx_.clock = &clock;
    ctx_.sound = &sound;
    ctx_.dialogs = &dialogs;
    ctx_.port = &port;
    activity_ = std::make_unique<Activity>(clock);
    ctx_.activity = activity_.get();
    ctx_.EndProgram = [] { QCoreApplication::exit(1); };

    window_ = std::make_unique<MainWindow>(ctx_);
    ctx_.window = window_.get();
    ui_ = std::make_unique<Controls>(window_->Body());
    ctx_.ui = ui_.get();

    status_ = std::make_unique<StatusLine>(ctx_);
    ctx_.status = status_.get();
    log_ = std::make_unique<CommLog>(ctx_);
    ctx_.log = log_.get();
    term_ = std::make_unique<Terminal>(ctx_);
    ctx_.term = term_.get();
    cmd_ = std::make_unique<CommandLink>(ctx_);
    ctx_.cmd = cmd_.get();
    cmds_ = std::make_unique<CommandSet>(ctx_);
    ctx_.cmds = cmds_.get();
    report_ = std::make_unique<StatusReport>(ctx_);
    ctx_.report = report_.get();
    tumbler_ = std::make_unique<Tumbler>(ctx_);
    ctx_.tumbler = tumbler_.get();
    options_ = std::make_unique<OptionGroups>(ctx_);
    ctx_.options = options_.get();
    limits_ = std::make_unique<Limits>(ctx_);
    ctx_.limits = limits_.get();
    enabling_ = std::make_unique<PanelEnabling>(ctx_);
    ctx_.enabling = enabling_.get();
    modes_ = std::make_unique<ModeSwitch>(ctx_);
    ctx_.modes = modes_.get();
    upload_ = std::make_unique<ParamUpload>(ctx_);
    ctx_.upload = upload_.get();
    maglink_ = std::make_unique<MagLink>(ctx_);
    ctx_.maglink = maglink_.get();
    trace_ = std::make_unique<RunTrace>(ctx_);
    ctx_.trace = trace_.get();
    hold_ = std::make_unique<DemagHold>(ctx_);
    ctx_.hold = hold_.get();
    runSeq_ = std::make_unique<RunSequence>(ctx_);
    ctx_.run_ops = runSeq_.get();
    init_ = std::make_unique<InstrumentInit>(ctx_);
    ctx_.init = init_.get();
    search_ = std::make_unique<PortSearch>(ctx_);
    ctx_.search = search_.get();
    freq_ = std::make_unique<FreqOptimize>(ctx_);
    ctx_.freq = freq_.get();
    service_ = std::make_unique<ServiceControls>(ctx_);
    ctx_.service = service_.get();
    keys_ = std::make_unique<Shortcuts>(ctx_);
    ctx_.keys = keys_.get();

    window_->Build();
}

Program::~Program() {
    window_.reset();
    ctx_.window = nullptr;
    ctx_.ui = nullptr;
}

}  // namespace zavo
