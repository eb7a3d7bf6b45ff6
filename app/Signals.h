#pragma once
// Termination signals (SIGTERM at logout or shutdown, SIGHUP, Ctrl-C) reach
// the program as a call from its event loop, never from inside the handler,
// so the close can talk to the instrument like any other operation.

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace zavo {

class TerminationSignals : public QObject {
  public:
    // Installs the handlers; onSignal gets the signal number. One instance at
    // a time. Nothing on platforms without these signals.
    explicit TerminationSignals(std::function<void(int)> onSignal);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

  private:
    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace zavo
