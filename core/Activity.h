#pragma once
// Only one operation talks to the controller at a time. Every operation that
// does (a run, the initialization, a mode switch, a service button, the hold
// timer's switch-off, the exit) holds a Scope for its whole length. Handlers
// of events that arrive inside such an operation's waits (a timer, a message
// from the magnetometer program, a key) ask Interleaves() and defer or refuse
// their own work instead of cutting into the running exchange.

#include <QObject>
#include <functional>
#include <map>
#include <string>

namespace zavo {

class Clock;

class Activity : public QObject {
    Q_OBJECT
  public:
    explicit Activity(Clock& clock);

    class Scope {
      public:
        explicit Scope(Activity& activity);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        Activity& a_;
    };

    // An operation holds the instrument.
    bool Active() const { return depth_ > 0; }
    // Code running now runs inside the wait of an active operation: starting
    // an exchange here would interleave with it. Calls the operation makes
    // itself (between its waits) do not interleave.
    bool Interleaves() const;
    // Runs fn as soon as no operation is active: at once when none is, else
    // from the event loop after the last scope has ended. A later call with
    // the same key replaces the one still waiting.
    void When_Idle(const std::string& key, std::function<void()> fn);

  signals:
    // The first operation began (true) or the last one ended (false).
    void Changed(bool active);

  private:
    void Pending_Run();

    Clock& clock_;
    int depth_ = 0;
    bool posted_ = false;
    std::map<std::string, std::function<void()>> pending_;
};

}  // namespace zavo
