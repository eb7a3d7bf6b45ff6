// Fault soak of the magnetometer link against the real program: thousands of
// payloads that fail their check, a thousand held connections, then rounds
// of floods of steps, malformed and stalled frames, bad payloads and held
// connections, each followed by a run. Nothing may crash, every run must
// still send its time stamp and leave its journal row, and memory must not grow.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <iostream>

#include "e2e_maglink.h"
#include "operations/Journal.h"

using namespace zavo;

namespace {

// Connections opened to the program and kept open by this process.
struct Held {
    Held(const std::string& path, int n, const std::vector<std::uint8_t>& start = {}) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
        const double end = e2e::Now() + 20;
        while (int(fds.size()) < n && e2e::Now() < end) {
            const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
            if (fd < 0) break;
            // A full queue of new connections: the program accepts meanwhile.
            while (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 &&
                   errno == EAGAIN && e2e::Now() < end)
                poll(nullptr, 0, 1);
            if (!start.empty()) (void)!send(fd, start.data(), start.size(), MSG_NOSIGNAL);
            fds.push_back(fd);
        }
    }
    ~Held() {
        for (int fd : fds) close(fd);
    }
    std::vector<int> fds;
};

struct Rig {
    Rig() {
        e2e::AppOptions o;
        o.settings = e2e::SettingsText({{"DMGFD", "25"}, {"DMGER", "0"}, {"DMGET", "1"}});
        app = std::make_unique<e2e::App>(o);
        // The program gets the usual limit of descriptors, this test more.
        rlimit r{};
        getrlimit(RLIMIT_NOFILE, &r);
        rlimit usual = r;
        usual.rlim_cur = std::min<rlim_t>(r.rlim_max, 1024);
        setrlimit(RLIMIT_NOFILE, &usual);
        app->Start();
        r.rlim_cur = std::min<rlim_t>(r.rlim_max, 8192);
        setrlimit(RLIMIT_NOFILE, &r);
    }
    ~Rig() {
        if (listener > 0) kill(-listener, SIGTERM), e2e::Reap(listener, 5);
    }
    std::string Path() const { return (app->Temp() / "zavo" / kReceiveName).string(); }
    long Rss() const { return e2e::ProgramRssKb(app->Dir() / "zavo"); }
    int Stamps() const {
        const std::string t = e2e::FileBytes(app->Temp() / "stamps.out");
        return int(std::count(t.begin(), t.end(), '\t'));  // "<text>\t<bytes>" each
    }
    // One run started with Enter: it ends with its time stamp and journal row.
    bool Run() {
        const int stamps = Stamps();
        const size_t rows = Journal::Rows_Read(app->Dir() / "journal.csv", -1).size();
        app->Key("Return");
        return e2e::WaitUntil([&] { return Stamps() == stamps + 1; }, 60) &&
               e2e::WaitUntil(
                   [&] {
                       return Journal::Rows_Read(app->Dir() / "journal.csv", -1).size() == rows + 1;
                   },
                   30) &&
               app->WaitReady(30);
    }
    int Bad(int n) {
        int delivered = 0;
        for (int i = 0; i < n; ++i)
            delivered += link->Send(kReceiveName, e2e::BadPayload(rng), 1, 5000) ==
                         MagTransport::Sent::Delivered;
        return delivered;
    }
    bool BoxAnswered() {
        if (!app->WaitWindow("Error Receiving Data", 10)) return false;
        const int shown = e2e::WindowsShown(*app, "Error Receiving Data");
        app->Key("Return", "Error Receiving Data");
        return shown == 1 &&
               e2e::WaitUntil([&] { return app->FindWindow("Error Receiving Data") == 0; }, 10);
    }

    std::unique_ptr<e2e::App> app;
    std::unique_ptr<MagTransport> link;
    pid_t listener = -1;
    std::mt19937 rng{1019};
};

}  // namespace

TEST(SoakLink, FloodsMalformedFramesAndHeldConnectionsMixedWithRuns) {
    Rig rig;
    e2e::App& app = *rig.app;
    ASSERT_TRUE(app.WaitReady(60)) << app.Commands() << e2e::FileBytes(app.Output());
    rig.link = e2e::LinkTo(app);
    rig.listener = e2e::Spawn({std::string(ZAVO_BINARY_DIR) + "/tools/magnetometer-link", "listen"},
                              app.Env(), {}, app.Temp() / "stamps.out");
    e2e::WaitUntil([] { return false; }, 1);

    // 5,000 payloads that fail their check: one box, no memory.
    const long start = rig.Rss();
    const int delivered = rig.Bad(5000);
    e2e::WaitUntil([] { return false; }, 1);
    const long afterBad = rig.Rss();
    EXPECT_TRUE(rig.BoxAnswered());
    EXPECT_GT(delivered, 4500);

    // 1,100 connections held open, more than the program has descriptors
    // for: steps and runs still get through.
    long whileHeld = 0;
    {
        Held held(rig.Path(), 1100);
        EXPECT_EQ(held.fds.size(), 1100u);
        e2e::WaitUntil([] { return false; }, 0.5);
        whileHeld = rig.Rss();
        EXPECT_EQ(rig.link->Send(kReceiveName, Text_Payload("AD-20"), 1, 5000),
                  MagTransport::Sent::Delivered)
            << rig.link->Why();
        EXPECT_TRUE(rig.Run()) << app.Commands().substr(app.Commands().size() - 200);
    }
    const long afterHeld = rig.Rss();
    std::cout << "RSS of the program: " << start << " kB at the start, " << afterBad << " kB after "
              << delivered << " bad payloads, " << whileHeld << " kB with 1,100 connections held, "
              << afterHeld << " kB after them\n";
    RecordProperty("rss_start_kb", int(start));
    RecordProperty("rss_after_bad_payloads_kb", int(afterBad));
    RecordProperty("rss_held_connections_kb", int(whileHeld));
    EXPECT_LT(afterBad - start, 4096);
    EXPECT_LT(afterHeld - start, 8192);

    // Rounds of mixed faults, each followed by a run.
    const std::vector<std::uint8_t> step = Frame_Encode(Text_Payload("AD-26"), 1);
    std::vector<std::uint8_t> oversized = Frame_Encode({kTypeText, {}}, 1);
    oversized[11] = 0x7f;
    const std::vector<std::uint8_t> half(step.begin(), step.begin() + 12);
    int runs = 1;
    for (int round = 0; round < 8; ++round) {
        switch (round % 4) {
            case 0:  // a flood of steps that switch the mode back and forth
                for (int i = 0; i < 300; ++i)
                    rig.link->Send(kReceiveName,
                                   Text_Payload(i % 2 ? "IRM-5" : "AD-2" + std::to_string(i % 10)),
                                   1, 5000);
                rig.link->Send(kReceiveName, Text_Payload("AD-25"), 1, 5000);
                break;
            case 1: {  // malformed, oversized and cut frames; stalled ones stay open
                for (int i = 0; i < 100; ++i) {
                    Held junk(rig.Path(), 1, {'G', 'E', 'T', ' ', '/'});
                    Held big(rig.Path(), 1, oversized);
                    Held cut(rig.Path(), 1, half);
                }
                Held stalled(rig.Path(), 40, half);
                EXPECT_TRUE(rig.Run()) << "round " << round;
                ++runs;
                break;
            }
            case 2:
                rig.Bad(300);
                EXPECT_TRUE(rig.BoxAnswered()) << "round " << round;
                break;
            case 3: {
                Held held(rig.Path(), 500);
                e2e::WaitUntil([] { return false; }, 0.3);
                EXPECT_TRUE(rig.Run()) << "round " << round;
                ++runs;
                break;
            }
        }
        ASSERT_TRUE(app.WaitReady(60)) << "round " << round << ": " << e2e::FileBytes(app.Output());
        EXPECT_TRUE(rig.Run()) << "round " << round;
        ++runs;
    }
    EXPECT_EQ(rig.Stamps(), runs) << e2e::FileBytes(app.Temp() / "stamps.out");
    EXPECT_EQ(Journal::Rows_Read(app.Dir() / "journal.csv", -1).size(), size_t(runs));
    const long end = rig.Rss();
    std::cout << "RSS after " << runs << " runs amid the faults: " << end << " kB\n";
    EXPECT_LT(end - start, 12288);
}
