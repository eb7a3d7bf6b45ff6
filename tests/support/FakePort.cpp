#include "support/FakePort.h"

namespace zavo::test {

bool FakePort::Open(int n) {
    open_ = false;
    refusal_ = denyAccess.count(n) ? Refusal::NoPermission
               : inUse.count(n)    ? Refusal::InUse : Refusal::None;
    if (refusal_ != Refusal::None || refuseOpen.count(n) || !existing.count(n)) return false;
    opened.push_back(n), number_ = n, open_ = true, failed_ = false, in_.clear();
    return true;
}

int FakePort::ReadByte() {
    if (failed_ || in_.empty()) return -1;
    const int c = in_.front();
    in_.pop_front();
    return c;
}

bool FakePort::Write(const std::string& bytes) {
    if (failed_ || !open_) return false;
    writes.push_back(bytes), writeTimes.push_back(clock_.Absolute());
    if (responder) {
        const std::string reply = responder(bytes);
        if (!reply.empty()) DeliverAfter(replyDelay, reply);
    }
    return true;
}

void FakePort::Deliver(const std::string& bytes) {
    for (unsigned char c : bytes) in_.push_back(c);
}

void FakePort::DeliverAfter(double seconds, const std::string& bytes) {
    clock_.After(seconds, [this, bytes] { Deliver(bytes); });
}

void FakePort::Chatter(int n, double interval, char c) {
    clock_.After(interval, [this, n, interval, c] {
        if (open_ && number_ == n) Deliver(std::string(1, c));
        Chatter(n, interval, c);
    });
}

void FakePort::FailAfter(double seconds) {
    clock_.After(seconds, [this] {
        failed_ = true, open_ = false, in_.clear();
        if (OnLost) OnLost();
    });
}

}  // namespace zavo::test
