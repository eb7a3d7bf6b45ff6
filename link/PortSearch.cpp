#include "link/PortSearch.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "core/Activity.h"
#include "core/Context.h"
#include "core/Waits.h"
#include "dialogs/Dialogs.h"
#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/SerialPort.h"
#include "link/StatusLine.h"
#include "link/TextUtil.h"
#include "panel/Controls.h"
#include "panel/PanelEnabling.h"

namespace zavo {

namespace {

constexpr int kLastPort = 16;
constexpr const char* kBanner = "** ZAVO";
constexpr char kFirmwareRequest = 16;

QString Port_Name(int Port) {
    return "COM" + QString::number(Port);
}

// What the operator can do about a port the system refuses to open.
QString Denied_Text([[maybe_unused]] const std::string& device, int Port) {
#ifdef Q_OS_WIN
    return "SERIAL PORT " + Port_Name(Port) + " IS USED BY ANOTHER PROGRAM.";
#else
    return "NO PERMISSION TO USE THE SERIAL PORT " + Port_Name(Port) + " (" +
           QString::fromStdString(device) +
           ").\r\nADD THE USER TO THE GROUP \"dialout\" AND LOG IN AGAIN.";
#endif
}

}  // namespace

PortSearch::PortSearch(Ctx& ctx) : ctx_(ctx) {
    QObject::connect(ctx_.ui->cmdCommPort, &QPushButton::clicked, [this] { cmdCommPort_Click(); });
}

bool PortSearch::Port_Exists(int Port) {
    return ctx_.port->Port_Exists(Port);
}

bool PortSearch::Port_Open(int Port) {
    SerialPort& port = *ctx_.port;
    if (port.IsOpen() && port.PortNumber() == Port) {
        port.DiscardInput();
        port.DiscardOutput();
        return true;
    }
    if (port.Open(Port)) return true;
    if (port.AccessDenied()) {
        deniedNow_.insert(Port);
        // Told once: a search repeated on Retry would fill the log with it.
        if (denied_.insert(Port).second && ctx_.log)
            ctx_.log->Record(
                ToBytes(Denied_Text(port.DeviceName(Port), Port).replace("\r\n", " ")));
    }
    return false;
}

void PortSearch::Port_Close() {
    if (ctx_.port->IsOpen()) ctx_.port->Close();
}

bool PortSearch::Instrument_Identify(int Port) {
    if (ctx_.settings.SIMULMODE) return true;
    const bool& stop = ctx_.run.StopRequest;
    bool found = false;
    if (Port_Exists(Port) && !stop && Port_Open(Port) && !stop) {
        ctx_.link.CmdText = std::string(1, kFirmwareRequest);
        ctx_.cmd->Command_Execute(ctx_.link.CmdText, false, true);
        // Only this exchange's reply counts, never one left from before.
        found = !stop && ctx_.link.ReplyText.rfind(kBanner, 0) == 0;
    }
    Port_Close();
    return found;
}

void PortSearch::Testing_Show(int Port) {
    ctx_.status->Lamp(kLightOrange);
    ctx_.status->Text("TESTING CONNECTION: " + Port_Name(Port));
}

bool PortSearch::Port_Search() {
    Settings& s = ctx_.settings;
    const bool& stop = ctx_.run.StopRequest;
    for (;;) {
        deniedNow_.clear();
        int found = 0;
        Testing_Show(s.COMM);
        if (stop) return false;
        if (Instrument_Identify(s.COMM)) found = s.COMM;
        for (int port = 1; !found && port <= kLastPort; ++port) {
            // The instrument was lost on the way (the program is ending).
            if (ctx_.link.CmdFatal) return false;
            if (port == s.COMM) continue;
            Testing_Show(port);
            if (stop) return false;
            if (Instrument_Identify(port))
                found = port;
            else
                Wait_Seconds(*ctx_.clock, 0.2);
        }
        if (found) {
            s.COMM = Int16(found);
            ctx_.status->Lamp(kLightOrange);
            ctx_.status->Text("TESTING CONNECTION: " + Port_Name(found) + "    OK");
            return !stop;
        }
        if (ctx_.link.CmdFatal || stop) return false;

        NoConnection_Show();
        QString question = QString("Instrument is OFF or not connected!").toUpper();
        if (!deniedNow_.empty())
            question = Denied_Text(ctx_.port->DeviceName(*deniedNow_.begin()), *deniedNow_.begin());
        bool retry = false;
        if (s.TOUCHMODE)
            retry = ctx_.dialogs->MsgBox_Large("RETRY", "ABORT");
        else
            retry =
                ctx_.dialogs->MsgBox_Custom(question, kRetryCancel + kCritical,
                                            "Communication error", 0, "&Retry", "&Abort") == kRetry;
        if (!retry) return false;
    }
}

void PortSearch::NoConnection_Show() {
    SerialPort& port = *ctx_.port;
    ctx_.status->Lamp(kRed);
    if (!deniedNow_.empty()) {
        const int p = *deniedNow_.begin();
        const QString text = Denied_Text(port.DeviceName(p), p);
        ctx_.status->Text("## " + text.section("\r\n", 0, 0), kBlack, text.section("\r\n", 1));
        return;
    }
#ifdef Q_OS_WIN
    ctx_.status->Text("## NO CONNECTION");
#else
    // A USB adapter gets a device name but no COM number: say which devices
    // there are and how to number one.
    QStringList devices;
    for (const std::string& d : port.Devices()) devices << QString::fromStdString(d);
    const QString link = QString::fromStdString((ctx_.paths.dir / "ports").string()) + "/COM<n>";
    const QString hint = devices.isEmpty()
                             ? QString("NO SERIAL DEVICE FOUND")
                             : "SERIAL DEVICES: " + devices.join(", ") + " - LINK ONE AS " + link;
    ctx_.status->Text("## NO CONNECTION: " + hint, kBlack, hint);
    const std::string line = ToBytes("No instrument on COM1..COM16. " + hint);
    if (line != lastHint_ && ctx_.log) ctx_.log->Record(line);
    lastHint_ = line;
#endif
}

void PortSearch::CommPortPanel_Enable(bool Enable) {
    Controls& ui = *ctx_.ui;
    for (QWidget* w : {static_cast<QWidget*>(ui.fraCommPort), static_cast<QWidget*>(ui.txtCommPort),
                       static_cast<QWidget*>(ui.cmdCommPort)})
        w->setEnabled(Enable);
}

void PortSearch::cmdCommPort_Click() {
    // Never under an exchange that is running.
    if (ctx_.activity->Active()) return;
    Controls& ui = *ctx_.ui;
    const int Port = Digits_ToInt(ToBytes(ui.txtCommPort->text()));
    // The serial control takes no new number while a port is open: the one
    // open is closed first, then the number typed in is opened.
    Port_Close();
    if (!Port_Open(Port)) {
        SerialPort& port = *ctx_.port;
        ctx_.status->Lamp(kRed);
        ctx_.status->Text("## " + Port_Name(Port) + " CANNOT BE OPENED", kBlack,
                          QString::fromStdString(port.LastError()));
        return;
    }
    CommPortPanel_Enable(false);
    ctx_.enabling->Panels_Enable(true);
    ctx_.enabling->FieldMeters_Enable(true);
    ctx_.status->Status_Show(true);
    ui.cmdInit->hide();
    ui.txtTerm->setFocus();
}

}  // namespace zavo
