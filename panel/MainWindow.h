#pragma once
// The main window frmZAV: lays out the controls for the desktop or the
// tablet and runs the start-up.

#include <QMainWindow>

namespace zavo {

struct Ctx;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Ctx& ctx);
    // The central widget the controls are created in.
    QWidget* Body() const { return body_; }
    // Builds the window once the controls exist.
    void Build();
    // The start-up sequence.
    void Form_Load();

private:
    Ctx& ctx_;
    QWidget* body_;
};

}  // namespace zavo
