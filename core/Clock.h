#pragma once
// The one clock of the program. Every wait goes through it, so that tests can
// run on a fake clock without sleeping.

#include <QDate>

namespace zavo {

class Clock {
  public:
    virtual ~Clock() = default;
    // Time of day in seconds since midnight, with sub-millisecond resolution.
    virtual double Now() const = 0;
    virtual QDate Today() const = 0;
    // Let the event loop run: handle pending events and sleep until the next
    // event arrives, returning at the latest after maxSeconds. Never spins.
    void Yield(double maxSeconds);
    // How many waits are running now, nested: above 0, whatever runs is an
    // event handled inside somebody's wait.
    int WaitDepth() const { return waitDepth_; }

  protected:
    virtual void DoYield(double maxSeconds) = 0;

  private:
    int waitDepth_ = 0;
};

// Wall-clock time; Yield sleeps in Qt's event loop.
class RealClock : public Clock {
  public:
    // Local time of day from one reading of the system clock, in microseconds.
    // A small step back of the system clock (a time sync) is held at the last
    // value, so that a wait never takes it for a midnight crossing.
    double Now() const override;
    QDate Today() const override;
  protected:
    void DoYield(double maxSeconds) override;

  private:
    mutable double last_ = -1;
};

}  // namespace zavo
