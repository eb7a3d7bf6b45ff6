#pragma once
// After a demagnetization run the demagnetizer stays on for five minutes, so
// the next run starts without delay; then the hold switches it off. And the
// safe exit: an answering instrument is switched off and the settings saved.

namespace zavo {

struct Ctx;

class DemagHold {
  public:
    // Sets up the one-second hold timer.
    explicit DemagHold(Ctx& ctx);

    // Starts the hold now (the run left the demagnetizer on) / ends it.
    void Hold_Start();
    void Hold_Stop();
    // After an operation that paused the countdown: it goes on while the
    // demagnetizer is still on, and is cleared when something switched it off.
    void Hold_Resume();
    // Seconds since midnight at which the hold began; 0 when not timing.
    double SDOnSince() const { return sdOnSince_; }
    void timSD_Timer();

    // The window's close request: true keeps the window open. After a
    // termination signal it asks nothing.
    bool Form_QueryUnload();
    // The exit's work is done: the window may close.
    bool Closed() const { return closed_; }

    // The end after a fatal error (CmdFatal, or the initialization given
    // up): an instrument that still answers has its stages switched off,
    // the end is logged, and the program ends a second later.
    void Fatal_End();
    // The open port failed (unplugged, the controller gone).
    void Port_Lost();
    // A termination signal (logout, shutdown, Ctrl-C): a close that asks
    // nothing. A run is stopped first; the exit's switch-off and save follow
    // once nothing runs any more.
    void Terminate();

  private:
    // The coil is still hot: keep the instrument powered and the tumbler out.
    void HotCoil_Warn();
    // An instrument that answers its banner has its stages switched off,
    // amplifier first; false when it did not answer.
    bool Stages_Off();
    void Terminate_Close();

    Ctx& ctx_;
    double sdOnSince_ = 0;
    bool terminating_ = false;
    bool closed_ = false;
    bool ending_ = false;
};

}  // namespace zavo
