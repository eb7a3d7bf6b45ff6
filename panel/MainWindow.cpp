// Placeholder until this subsystem is built.
#include "panel/MainWindow.h"
#include "core/Context.h"

namespace zavo {

MainWindow::MainWindow(Ctx& ctx) : ctx_(ctx), body_(new QWidget(this)) { setCentralWidget(body_); }
void MainWindow::Build() {}
void MainWindow::Form_Load() {}

}  // namespace zavo
