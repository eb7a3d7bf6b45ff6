#include "link/QtSerialPort.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTimer>
#include <algorithm>

#ifndef Q_OS_WIN
#include <unistd.h>

#include <cerrno>
#endif

namespace zavo {

namespace fs = std::filesystem;

namespace {

// The number the port's event procedure gives an error it has no name for.
constexpr int kUnknownCommError = 1000;

}  // namespace

QtSerialPort::QtSerialPort(fs::path portsDir)
    : portsDir_(std::move(portsDir)), queue_(std::make_unique<QObject>()) {}

QtSerialPort::~QtSerialPort() {
    if (!port_) return;
    port_->disconnect();
    port_->close();
}

fs::path QtSerialPort::Link(int n) const {
    return portsDir_ / ("COM" + std::to_string(n));
}

bool QtSerialPort::Linked(int n) const {
    std::error_code ec;
    const fs::path link = Link(n);
    return fs::is_symlink(link, ec) || fs::exists(link, ec);
}

std::string QtSerialPort::DeviceName(int n) const {
    if (Linked(n)) {
        std::error_code ec;
        const fs::path target = fs::canonical(Link(n), ec);
        return ec ? Link(n).string() : target.string();
    }
#ifdef Q_OS_WIN
    return "COM" + std::to_string(n);
#else
    return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

std::vector<std::string> QtSerialPort::Devices() const {
    std::vector<std::string> names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        names.push_back(info.portName().toStdString());
#else
        names.push_back(info.systemLocation().toStdString());
#endif
    }
    return names;
}

bool QtSerialPort::Port_Exists(int n) {
    if (n < 1) return false;
    // A link whose device is gone (unplugged, the terminal closed) is an
    // absent port: the platform's device of that number is something else.
    if (Linked(n)) {
        std::error_code ec;
        return fs::exists(Link(n), ec);
    }
    // Only devices with hardware behind them: the kernel keeps placeholders
    // for serial ports that are not there, and Qt's list leaves them out.
    const std::vector<std::string> devices = Devices();
    return std::find(devices.begin(), devices.end(), DeviceName(n)) != devices.end();
}

bool QtSerialPort::Open(int n) {
    Close();
    failed_ = false;
    refusal_ = Refusal::None;
    error_.clear();
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(QString::fromStdString(DeviceName(n)));
    port->setBaudRate(QSerialPort::Baud9600);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    if (!port->open(QIODevice::ReadWrite)) {
        error_ = port->errorString().toStdString();
        if (port->error() == QSerialPort::PermissionError) refusal_ = Refusal_Of(DeviceName(n));
        return false;
    }
    // A pseudo-terminal has no modem lines: DTR cannot be set there.
    opening_ = true;
    port->setDataTerminalReady(true);
    port->clearError();
    opening_ = false;
    port->clear(QSerialPort::AllDirections);
    QObject::connect(port.get(), &QSerialPort::errorOccurred,
                     [this](QSerialPort::SerialPortError e) { OnError(int(e)); });
    port_ = std::move(port);
    number_ = n;
    return true;
}

// Qt reports a device the user may not open and one another program holds
// (its lock file, or the device busy) alike; the operator's remedy differs.
SerialPort::Refusal QtSerialPort::Refusal_Of([[maybe_unused]] const std::string& device) {
#ifndef Q_OS_WIN
    if (::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES) return Refusal::NoPermission;
#endif
    return Refusal::InUse;
}

void QtSerialPort::OnError(int error) {
    if (opening_ || !port_) return;
    switch (QSerialPort::SerialPortError(error)) {
        case QSerialPort::NoError:
        case QSerialPort::TimeoutError:
        case QSerialPort::NotOpenError:
            return;
        case QSerialPort::ResourceError:
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
        case QSerialPort::DeviceNotFoundError:
        case QSerialPort::PermissionError:
            // Close on the first one: the device would report it without end.
            if (failed_) return;
            failed_ = true;
            error_ = port_->errorString().toStdString();
            port_->close();
            // Not from inside the port's own signal: the handler may ask.
            QTimer::singleShot(0, queue_.get(), [this] {
                if (OnLost) OnLost();
            });
            return;
        default:
            port_->clearError();
            // Not from inside the port's own signal: the handler may ask.
            QTimer::singleShot(0, port_.get(), [this] {
                if (OnComm) OnComm(kUnknownCommError);
            });
            return;
    }
}

void QtSerialPort::Close() {
    if (!port_) return;
    port_->disconnect();
    if (port_->isOpen()) port_->close();
    // Deleted later: Close may run inside one of the port's own signals.
    port_.release()->deleteLater();
}

bool QtSerialPort::IsOpen() const {
    return port_ && port_->isOpen();
}

int QtSerialPort::BytesAvailable() {
    return IsOpen() ? int(port_->bytesAvailable()) : 0;
}

int QtSerialPort::ReadByte() {
    char c = 0;
    if (!IsOpen() || !port_->getChar(&c)) return -1;
    return static_cast<unsigned char>(c);
}

bool QtSerialPort::Write(const std::string& bytes) {
    if (!IsOpen()) return false;
    const qint64 n = port_->write(bytes.data(), qint64(bytes.size()));
    if (n != qint64(bytes.size())) return false;
    port_->flush();  // on the wire now, not at the next event-loop pass
    return !failed_;
}

void QtSerialPort::DiscardInput() {
    if (IsOpen()) port_->clear(QSerialPort::Input);
}

void QtSerialPort::DiscardOutput() {
    if (IsOpen()) port_->clear(QSerialPort::Output);
}

}  // namespace zavo
