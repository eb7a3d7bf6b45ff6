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
QString Refusal_Text(SerialPort::Refusal why, const std::string& device, int Port) {
    const QString port = Port_Name(Port) + " (" + QString::fromStdString(device) + ")";
    if (why == SerialPort::Refusal::InUse)
        return "THE SERIAL PORT " + port + " IS IN USE BY ANOTHER PROGRAM.";
    return "NO PERMISSION TO USE THE SERIAL PORT " + port +
           ".\r\nADD THE USER TO THE GROUP \"dialout\" AND LOG IN AGAIN.";
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
    if (port.OpenRefusal() != SerialPort::Refusal::None)
        refused_[Port] = Refusal_Text(port.OpenRefusal(), port.DeviceName(Port), Port);
    return false;
}

void PortSearch::Port_Close() {
    if (ctx_.port->IsOpen()) ctx_.port->Close();
}

bool PortSearch::Instrument_Identify(int Port) {
    if (ctx_.settings.SIMULMODE) return true;
    const bool& stop = ctx_.run.StopRequest;
    bool found = false;
    const bool exists = Port_Exists(Port) && !stop;
    if (exists) tried_.insert(ctx_.port->DeviceName(Port));
    if (exists && Port_Open(Port) && !stop) {
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
        refused_.clear();
        tried_.clear();
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

        const QString hints = NoConnection_Show();
        QString question = QString("Instrument is OFF or not connected!").toUpper();
        if (!hints.isEmpty()) question += "\r\n\r\n" + hints;
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

QString PortSearch::NoConnection_Show() {
    QStringList hints;
    for (const auto& [port, text] : refused_) hints << text;
#ifndef Q_OS_WIN
    // A USB adapter gets a device name but no COM number: say which devices
    // the search could not try and how to number one.
    QStringList untried;
    for (const std::string& d : ctx_.port->Devices())
        if (!tried_.count(d)) untried << QString::fromStdString(d);
    if (!untried.isEmpty())
        hints << "SERIAL DEVICES NOT TRIED: " + untried.join(", ") + ".\r\nLINK ONE AS " +
                     QString::fromStdString((ctx_.paths.dir / "ports").string()) + "/COM<n>.";
#endif
    const QString text = hints.join("\r\n");
    ctx_.status->Lamp(kRed);
    ctx_.status->Text("## NO CONNECTION", kBlack, text);
    // Told once: a search repeated on Retry would fill the log with it.
    const std::string line =
        ToBytes(QString("No instrument on COM1..COM16. " + text).replace("\r\n", " ").trimmed());
    if (line != lastHint_ && ctx_.log) ctx_.log->Record(line);
    lastHint_ = line;
    return text;
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
