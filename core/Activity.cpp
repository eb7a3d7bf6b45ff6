#include "core/Activity.h"

#include <QTimer>

#include "core/Clock.h"

namespace zavo {

Activity::Activity(Clock& clock) : clock_(clock) {}

Activity::Scope::Scope(Activity& activity) : a_(activity) {
    if (a_.depth_++ == 0) emit a_.Changed(true);
}

Activity::Scope::~Scope() {
    if (--a_.depth_ > 0) return;
    emit a_.Changed(false);
    if (a_.pending_.empty() || a_.posted_) return;
    // From the event loop: the operation that just ended finishes first.
    a_.posted_ = true;
    Activity* a = &a_;
    QTimer::singleShot(0, a, [a] { a->Pending_Run(); });
}

bool Activity::Interleaves() const {
    return depth_ > 0 && clock_.WaitDepth() > 0;
}

void Activity::When_Idle(const std::string& key, std::function<void()> fn) {
    if (!Active()) {
        fn();
        return;
    }
    pending_[key] = std::move(fn);
}

void Activity::Pending_Run() {
    posted_ = false;
    // A new operation began meanwhile: its end runs them.
    while (!Active() && !pending_.empty()) {
        auto fn = std::move(pending_.begin()->second);
        pending_.erase(pending_.begin());
        fn();
    }
}

}  // namespace zavo
