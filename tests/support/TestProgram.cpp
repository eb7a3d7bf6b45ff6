#include "support/TestProgram.h"

#include "panel/MainWindow.h"

namespace zavo::test {

namespace fs = std::filesystem;

TestProgram::TestProgram() {
    const fs::path d = Dir();
    fs::create_directories(d / "mon");
    for (const char* media : {"sounds", "pics"}) {
        const fs::path src = fs::path(ZAVO_SOURCE_DIR) / media;
        if (fs::exists(src)) fs::copy(src, d / media, fs::copy_options::recursive);
    }
    program = std::make_unique<Program>(d, clock, sound, dialogs, port);
    ctx().EndProgram = [this] { ++ended; };
}

TestProgram::~TestProgram() { program.reset(); }

}  // namespace zavo::test
