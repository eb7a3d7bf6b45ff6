#pragma once
// The whole program on fakes, in a temporary program folder.

#include <QString>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>

#include "app/Program.h"
#include "core/Context.h"
#include "support/FakeClock.h"
#include "support/FakePort.h"
#include "support/FakeSound.h"
#include "support/ScriptedDialogs.h"

// Failing checks print texts as text.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace zavo::test {

struct TestProgram {
    // The folder (mon/, and sounds/ and pics/ from the sources) and the program; nothing loaded.
    TestProgram() {
        namespace fs = std::filesystem;
        fs::create_directories(Dir() / "mon");
        for (const char* media : {"sounds", "pics"})
            if (const fs::path src = fs::path(ZAVO_SOURCE_DIR) / media; fs::exists(src))
                fs::copy(src, Dir() / media, fs::copy_options::recursive);
        program = std::make_unique<Program>(Dir(), clock, sound, dialogs, port);
        ctx().EndProgram = [this] { ++ended; };
    }
    ~TestProgram() { program.reset(); }

    std::filesystem::path Dir() const { return dir.path().toStdString(); }
    Ctx& ctx() { return program->ctx(); }

    QTemporaryDir dir;
    FakeClock clock;
    FakeSound sound;
    ScriptedDialogs dialogs;
    FakePort port{clock};
    int ended = 0;  // how often the program was told to end
    std::unique_ptr<Program> program;
};

// The whole file as bytes ("" when it cannot be read).
inline std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace zavo::test
