#include "support/TestProgram.h"

#include <QWidget>

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

void TestProgram::Screenshot(const QString& name) {
    const fs::path d = fs::path(ZAVO_BINARY_DIR) / "screenshots";
    fs::create_directories(d);
    program->window().grab().save(QString::fromStdString((d / (name.toStdString() + ".png")).string()));
}

}  // namespace zavo::test
