// ZAVO: operator program of the alternating-field coil unit.

#include <QApplication>

#include "app/Program.h"
#include "app/Signals.h"
#include "core/Clock.h"
#include "core/QtSound.h"
#include "dialogs/QtDialogs.h"
#include "link/QtSerialPort.h"
#include "maglink/MagLink.h"
#include "maglink/MagTransport.h"
#include "operations/DemagHold.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle("Fusion");
    const std::filesystem::path dir = QCoreApplication::applicationDirPath().toStdString();

    zavo::RealClock clock;
    zavo::QtSound sound(clock);
    zavo::QtDialogs dialogs(clock);
    zavo::QtSerialPort port(dir / "ports");
    zavo::Program program(dir, clock, sound, dialogs, port);
    dialogs.SetWindow(&program.window(), program.ctx().ui->fraCmd);
    program.ctx().maglink->Transport_Set(zavo::MagTransport_System());

    // Logout, shutdown or Ctrl-C: the instrument is switched off and the
    // settings saved as at a confirmed exit.
    zavo::TerminationSignals termination([&program](int) { program.ctx().hold->Terminate(); });

    program.window().Form_Load();
    program.window().Activation_InitEnable();
    program.window().show();
    return app.exec();
}
