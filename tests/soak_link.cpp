// Fault soak of the magnetometer link against the real program: thousands of payloads that fail
// their check, a thousand held connections, then rounds of floods of steps, malformed and stalled
// frames, bad payloads and held connections, each followed by a run. Nothing may crash, every run
// still sends its time stamp and leaves its journal row, and memory does not grow.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <iostream>

#include "e2e_app.h"

using namespace zavo;

namespace {

// Connections opened to the program and kept open by this process, each sent `start` first.
struct Held {
    Held(const std::string& path, int n, const std::vector<std::uint8_t>& start = {}) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
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
    ~Held() {
        for (int fd : fds) close(fd);
    }
    std::vector<int> fds;
};

}  // namespace

TEST(SoakLink, FloodsMalformedFramesAndHeldConnectionsMixedWithRuns) {
    e2e::App app(e2e::SettingsText({{"DMGFD", "25"}, {"DMGER", "0"}, {"DMGET", "1"}}));
    // The program gets the usual limit of descriptors, this test more.
    rlimit r{};
    getrlimit(RLIMIT_NOFILE, &r);
    const rlim_t most = r.rlim_max;
    r.rlim_cur = std::min<rlim_t>(most, 1024), setrlimit(RLIMIT_NOFILE, &r);
    app.Start();
    r.rlim_cur = std::min<rlim_t>(most, 8192), setrlimit(RLIMIT_NOFILE, &r);
    ASSERT_TRUE(app.WaitReady(60)) << app.Why();
    app.Listen();
    auto link = app.Link();
    std::mt19937 rng(1019);
    const auto step = [&](const std::string& text) {
        return link->Send(kReceiveName, Text_Payload(text), 1, 5000);
    };
    const std::string path = (app.Temp() / "zavo" / kReceiveName).string();
    // A run started with Enter ends with its journal row and its time stamp.
    const auto run = [&] {
        const int rows = int(app.Journal().size());
        app.Key("Return");
        return e2e::WaitUntil([&] { return app.Journal().size() > size_t(rows); }, 60) &&
               e2e::WaitUntil([&] { return app.Stamps() == rows + 1; }, 10) && app.WaitReady(30);
    };
    const auto boxAnswered = [&] {
        if (!app.WaitWindow("Error Receiving Data", 10)) return false;
        const size_t shown = app.Windows("Error Receiving Data").size();
        app.Key("Return", "Error Receiving Data");
        return shown == 1 &&
               e2e::WaitUntil([&] { return app.FindWindow("Error Receiving Data") == 0; }, 10);
    };

    // 5,000 payloads that fail their check: one box, no memory.
    const long start = app.RssKb();
    const int delivered = e2e::SendBad(*link, 5000, rng);
    e2e::Sleep(1);
    const long afterBad = app.RssKb();
    EXPECT_TRUE(boxAnswered());
    EXPECT_GT(delivered, 4500);

    // 1,100 connections held open, more than the program has descriptors for: steps and runs
    // still get through.
    auto held = std::make_unique<Held>(path, 1100);
    EXPECT_EQ(held->fds.size(), 1100u);
    e2e::Sleep(0.5);
    const long whileHeld = app.RssKb();
    EXPECT_EQ(step("AD-20"), MagTransport::Sent::Delivered) << link->Why();
    EXPECT_TRUE(run()) << app.Commands().substr(app.Commands().size() - 200);
    held.reset();
    const long afterHeld = app.RssKb();
    std::cout << "RSS of the program: " << start << " kB at the start, " << afterBad << " kB after "
              << delivered << " bad payloads, " << whileHeld << " kB with 1,100 connections held, "
              << afterHeld << " kB after them\n";
    EXPECT_LT(afterBad - start, 4096);
    EXPECT_LT(afterHeld - start, 8192);

    // Rounds of mixed faults, each followed by a run.
    const std::vector<std::uint8_t> frame = Frame_Encode(Text_Payload("AD-26"), 1);
    std::vector<std::uint8_t> oversized = Frame_Encode({kTypeText, {}}, 1);
    oversized[11] = 0x7f;
    const std::vector<std::uint8_t> half(frame.begin(), frame.begin() + 12);
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        if (round % 4 == 0) {  // a flood of steps that switch the mode back and forth
            for (int i = 0; i < 300; ++i) step(i % 2 ? "IRM-5" : "AD-2" + std::to_string(i % 10));
            step("AD-25");
        } else if (round % 4 == 1) {  // malformed, oversized and cut frames; stalled ones stay open
            for (int i = 0; i < 100; ++i)
                Held junk(path, 1, {'G', 'E', 'T', ' ', '/'}), big(path, 1, oversized),
                    cut(path, 1, half);
            Held stalled(path, 40, half);
            EXPECT_TRUE(run());
        } else if (round % 4 == 2) {
            e2e::SendBad(*link, 300, rng);
            EXPECT_TRUE(boxAnswered());
        } else {
            Held many(path, 500);
            e2e::Sleep(0.3);
            EXPECT_TRUE(run());
        }
        ASSERT_TRUE(app.WaitReady(60)) << e2e::FileBytes(app.Output());
        EXPECT_TRUE(run());
    }
    EXPECT_EQ(app.Journal().size(), 13u);
    const long end = app.RssKb();
    std::cout << "RSS after 13 runs amid the faults: " << end << " kB\n";
    EXPECT_LT(end - start, 12288);
}
