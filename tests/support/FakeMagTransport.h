#pragma once
// The magnetometer program's side of the link without sockets: payloads handed over, sends kept.

#include <memory>
#include <string>
#include <vector>

#include "core/Context.h"
#include "maglink/MagLink.h"
#include "maglink/MagTransport.h"

namespace zavo::test {

class FakeMagTransport : public MagTransport {
  public:
    struct SentMessage {
        std::string name;
        CopyData data;
        std::uint64_t sender = 0;
        int timeoutMs = 0;
    };

    Served Serve(const std::string& name, Receiver r, std::string& detail) override {
        if (serveResult != Served::Serving) return detail = "refused by the test", serveResult;
        served = name, receiver = std::move(r);
        return serveResult;
    }
    void Stop() override { served.clear(), receiver = nullptr; }
    Sent Send(const std::string& name, const CopyData& data, std::uint64_t sender,
              int timeoutMs) override {
        if (!listening) return Sent::NoReceiver;
        sent.push_back({name, data, sender, timeoutMs});
        return Sent::Delivered;
    }

    // As the magnetometer program's send arrives.
    void Deliver(std::uint32_t type, std::vector<std::uint8_t> bytes) {
        if (receiver) receiver(CopyData{type, std::move(bytes)});
    }
    void DeliverText(const std::string& text) { Deliver(kTypeText, Text_Payload(text).bytes); }

    Served serveResult = Served::Serving;
    bool listening = false;  // a magnetometer program serves its endpoint
    std::string served;      // the name being served, "" when stopped
    Receiver receiver;
    std::vector<SentMessage> sent;
};

// Gives the program a fake link with a magnetometer program listening on it.
inline FakeMagTransport& Listening(Ctx& ctx) {
    auto t = std::make_unique<FakeMagTransport>();
    FakeMagTransport& fake = *t;
    fake.listening = true;
    ctx.maglink->Transport_Set(std::move(t));
    return fake;
}

}  // namespace zavo::test
