// Fault soak of the magnetometer link: bad payloads, held connections, floods of steps, malformed
// and stalled frames, each followed by a run with its stamp and journal row; no memory growth.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <iostream>

#include "e2e_harness.h"

using namespace zavo;

// Connections opened to the program and kept open by this process, each sent `start` first.
struct Held {
    Held(const std::string& path, int n, const std::vector<std::uint8_t>& start = {}) {
        sockaddr_un a{.sun_family = AF_UNIX, .sun_path = {}};
        path.copy(a.sun_path, sizeof a.sun_path - 1);
        for (const double end = e2e::Now() + 20; int(fds.size()) < n && e2e::Now() < end;) {
            const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
            if (fd < 0) break;
            // A full queue of new connections: the program accepts meanwhile.
            while (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 &&
                   errno == EAGAIN && e2e::Now() < end)
                e2e::Sleep(0.001);
            if (!start.empty()) (void)!send(fd, start.data(), start.size(), MSG_NOSIGNAL);
            fds.push_back(fd);
        }
    }
    ~Held() { std::ranges::for_each(fds, close); }
    std::vector<int> fds;
};

TEST(SoakLink, FloodsMalformedFramesAndHeldConnectionsMixedWithRuns) {
    e2e::App app(e2e::SettingsText({.DMGFD = 25, .DMGER = 0, .DMGET = 1}));
    rlimit r{};  // the program gets the usual limit of descriptors, this test more
    getrlimit(RLIMIT_NOFILE, &r);
    r.rlim_cur = std::min<rlim_t>(r.rlim_max, 1024), setrlimit(RLIMIT_NOFILE, &r);
    app.Start();
    r.rlim_cur = std::min<rlim_t>(r.rlim_max, 8192), setrlimit(RLIMIT_NOFILE, &r);
    ASSERT_TRUE(app.WaitReady(60)) << app.Why();
    app.Listen();
    auto link = app.Link();
    std::mt19937 rng(1019);
    const auto step = [&](auto t) { return link->Send(kReceiveName, Text_Payload(t), 1, 5000); };
    const std::string path = (app.Temp() / "zavo" / kReceiveName).string();
    // A run started with Enter ends with its journal row and its time stamp.
    const auto run = [&] {
        const int rows = int(app.Journal().size());
        app.Key("Return");
        return e2e::WaitUntil([&] { return int(app.Journal().size()) > rows; }, 60) &&
               e2e::WaitUntil([&] { return app.Stamps() == rows + 1; }, 10) && app.WaitReady(30);
    };
    const auto boxAnswered = [&] {  // one box, gone when answered
        if (!app.WaitWindow("Error Receiving Data", 10)) return false;
        const size_t shown = app.Windows("Error Receiving Data").size();
        app.Key("Return", "Error Receiving Data");
        return shown == 1 &&
               e2e::WaitUntil([&] { return app.FindWindow("Error Receiving Data") == 0; }, 10);
    };

    const long start = app.RssKb();
    const int delivered = e2e::SendBad(*link, 5000, rng);
    e2e::Sleep(1);
    const long afterBad = app.RssKb();
    EXPECT_TRUE(boxAnswered());
    EXPECT_GT(delivered, 4500);
    EXPECT_TRUE(e2e::Has(app.Log(), "(" + std::to_string(delivered) + " payloads while it was"));

    // More connections held open than the program has descriptors for: steps and runs get through.
    auto held = std::make_unique<Held>(path, 1100);
    EXPECT_EQ(held->fds.size(), 1100u);
    e2e::Sleep(0.5);
    EXPECT_EQ(step("AD-20"), MagTransport::Sent::Delivered) << link->Why();
    EXPECT_TRUE(run()) << app.Commands().substr(app.Commands().size() - 200);
    held.reset();
    const long afterHeld = app.RssKb();
    EXPECT_LT(afterBad - start, 4096);
    EXPECT_LT(afterHeld - start, 8192);

    const std::vector<std::uint8_t> frame = Frame_Encode(Text_Payload("AD-26"), 1);
    std::vector<std::uint8_t> oversized = Frame_Encode({kTypeText, {}}, 1);
    oversized[11] = 0x7f;
    const std::vector<std::uint8_t> half(frame.begin(), frame.begin() + 12);
    for (int round = 0; round < 9; ++round) {
        SCOPED_TRACE(round);
        if (round % 3 == 0) {  // a flood of steps that switch the mode back and forth
            for (int i = 0; i < 300; ++i) step(i % 2 ? "IRM-5" : "AD-2" + std::to_string(i % 10));
            step("AD-25");
        } else if (round % 3 == 1) {  // malformed, oversized and cut frames; stalled ones stay open
            for (int i = 0; i < 100; ++i)
                Held junk(path, 1, {'G', 'E', 'T', ' ', '/'}), big(path, 1, oversized),
                    cut(path, 1, half);
            Held stalled(path, 40, half);
            EXPECT_TRUE(run());
        } else {
            e2e::SendBad(*link, 300, rng);
            EXPECT_TRUE(boxAnswered());
        }
        ASSERT_TRUE(app.WaitReady(60)) << e2e::FileBytes(app.Output());
        EXPECT_TRUE(run());
    }
    EXPECT_EQ(app.Journal().size(), 13u);
    std::cout << "RSS of the program (kB): " << start << " at the start, " << afterBad
              << " after bad payloads, " << afterHeld << " after held connections, " << app.RssKb()
              << " after 13 runs amid the faults\n";
    EXPECT_LT(app.RssKb() - start, 12288);
}
