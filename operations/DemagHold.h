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
    // Seconds since midnight at which the hold began; 0 when not timing.
    double SDOnSince() const { return sdOnSince_; }
    void timSD_Timer();

    // The window's close request: true keeps the window open.
    bool Form_QueryUnload();

  private:
    // The coil is still hot: keep the instrument powered and the tumbler out.
    void HotCoil_Warn();

    Ctx& ctx_;
    double sdOnSince_ = 0;
};

}  // namespace zavo
