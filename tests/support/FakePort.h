#pragma once
// A scripted serial port: records the writes, delivers replies on the fake clock.

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "link/SerialPort.h"
#include "support/FakeClock.h"

namespace zavo::test {

class FakePort : public SerialPort {
  public:
    explicit FakePort(FakeClock& clock) : clock_(clock) {}

    bool Port_Exists(int n) override { return existing.count(n) > 0; }
    bool Open(int n) override;
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    int PortNumber() const override { return number_; }
    int BytesAvailable() override { return int(in_.size()); }
    int ReadByte() override;
    bool Write(const std::string& bytes) override;
    void DiscardInput() override { ++discards, in_.clear(); }
    void DiscardOutput() override {}
    bool Failed() const override { return failed_; }
    std::string LastError() const override {
        return failed_ ? "device gone" : refusal_ != Refusal::None ? "Permission denied" : "";
    }
    Refusal OpenRefusal() const override { return refusal_; }
    std::vector<std::string> Devices() const override { return devices; }

    void Deliver(const std::string& bytes);
    void DeliverAfter(double seconds, const std::string& bytes);
    // The device fails after the delay (reads and writes fail, the port closes).
    void FailAfter(double seconds);
    // Port n, while open, receives c every interval seconds (a device that talks unasked).
    void Chatter(int n, double interval, char c = '$');
    // The reply to each written command (after replyDelay; "": none).
    std::function<std::string(const std::string& cmd)> responder;
    double replyDelay = 0.01;
    void Answers(std::map<std::string, std::string> replies) {
        responder = [replies = std::move(replies)](const std::string& cmd) {
            const auto it = replies.find(cmd);
            return it == replies.end() ? std::string() : it->second;
        };
    }

    std::set<int> existing{1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<std::string> writes;  // each Write call
    std::set<int> refuseOpen;         // port numbers that cannot be opened
    std::set<int> denyAccess;         // port numbers the user may not open
    std::set<int> inUse;              // port numbers another program holds
    std::vector<std::string> devices;  // the system's serial devices
    std::vector<int> opened;           // each successful Open
    std::vector<double> writeTimes;   // clock time (absolute) of each write
    int discards = 0;                 // DiscardInput calls

    // A port event or error as the device raises it (OnComm numbers).
    void RaiseEvent(int commEvent) { OnComm ? OnComm(commEvent) : void(); }
    std::string Written() const {  // all bytes, in order
        std::string all;
        for (const std::string& w : writes) all += w;
        return all;
    }

  private: FakeClock& clock_;
    std::deque<unsigned char> in_;
    bool open_ = false;
    bool failed_ = false;
    Refusal refusal_ = Refusal::None;
    int number_ = 0;
};

}  // namespace zavo::test
