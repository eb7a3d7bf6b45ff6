#pragma once
// What the link's end-to-end tests and its soak read from the real program:
// its resident memory, the message boxes it shows, and a sender of payloads
// that fail their check.

#include <random>
#include <string>

#include "e2e_app.h"
#include "maglink/MagTransport.h"

namespace e2e {

// The process of the running program started from `exe` (0: none).
inline pid_t ProgramPid(const fs::path& exe) {
    std::error_code ec;
    for (const auto& d : fs::directory_iterator("/proc", ec)) {
        std::error_code lost;
        if (fs::read_symlink(d.path() / "exe", lost) == exe)
            return pid_t(std::atoi(d.path().filename().c_str()));
    }
    return 0;
}

// Its resident memory in kB (0: not running).
inline long ProgramRssKb(const fs::path& exe) {
    std::ifstream status("/proc/" + std::to_string(ProgramPid(exe)) + "/status");
    for (std::string key; status >> key;)
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
    return 0;
}

// How many windows with exactly this title are shown on the app's display.
inline int WindowsShown(App& app, const std::string& title) {
    const fs::path out = app.Temp() / "xdotool.out";
    fs::remove(out);
    pid_t pid = Spawn({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"},
                      {"DISPLAY=" + app.DisplayName()}, {}, out);
    Reap(pid, 10);
    const std::string ids = FileBytes(out);
    return int(std::count(ids.begin(), ids.end(), '\n'));
}

// The program's link as the magnetometer program reaches it from this test.
inline std::unique_ptr<zavo::MagTransport> LinkTo(App& app) {
    return zavo::MagTransport_Local((app.Temp() / "zavo").string(), geteuid());
}

// A type-1 payload of 16 random bytes: two doubles that are not 0 and 1.
inline zavo::CopyData BadPayload(std::mt19937& rng) {
    zavo::CopyData d{zavo::kTypeDoubles, std::vector<std::uint8_t>(16)};
    for (auto& b : d.bytes) b = std::uint8_t(rng());
    return d;
}

}  // namespace e2e
