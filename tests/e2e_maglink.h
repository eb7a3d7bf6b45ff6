#pragma once
// The magnetometer program's side of the link as the link's end-to-end test and its soak use it.

#include <random>

#include "e2e_app.h"
#include "maglink/MagTransport.h"

namespace e2e {

// The program's link as the magnetometer program reaches it from this test.
inline std::unique_ptr<zavo::MagTransport> LinkTo(App& app) {
    return zavo::MagTransport_Local((app.Temp() / "zavo").string(), geteuid());
}

// Sends n type-1 payloads of 16 random bytes (two doubles that are not 0 and 1, failing their
// check): how many the program took.
inline int SendBad(zavo::MagTransport& link, int n, std::mt19937& rng) {
    int delivered = 0;
    for (int i = 0; i < n; ++i) {
        zavo::CopyData d{zavo::kTypeDoubles, std::vector<std::uint8_t>(16)};
        for (auto& b : d.bytes) b = std::uint8_t(rng());
        delivered += link.Send(zavo::kReceiveName, d, 1, 5000) == zavo::MagTransport::Sent::Delivered;
    }
    return delivered;
}

}  // namespace e2e
