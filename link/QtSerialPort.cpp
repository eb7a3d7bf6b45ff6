#include "link/QtSerialPort.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTimer>

namespace zavo {

namespace fs = std::filesystem;

namespace {

// The number the port's event procedure gives an error it has no name for.
constexpr int kUnknownCommError = 1000;

}  // namespace

QtSerialPort::QtSerialPort(fs::path portsDir) : portsDir_(std::move(portsDir)) {}

QtSerialPort::~QtSerialPort() {
    if (!port_) return;
    port_->disconnect();
    port_->close();
}

std::string QtSerialPort::DeviceName(int n) const {
    const fs::path link = portsDir_ / ("COM" + std::to_string(n));
    std::error_code ec;
    if (fs::exists(link, ec)) {
        const fs::path target = fs::canonical(link, ec);
        return ec ? link.string() : target.string();
    }
#ifdef Q_OS_WIN
    return "COM" + std::to_string(n);
#else
    return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

bool QtSerialPort::Port_Exists(int n) {
    if (n < 1) return false;
    std::error_code ec;
    if (fs::exists(portsDir_ / ("COM" + std::to_string(n)), ec)) return true;
#ifdef Q_OS_WIN
    const QString name = QString("COM%1").arg(n);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        if (info.portName().compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
#else
    return fs::exists(DeviceName(n), ec);
#endif
}

bool QtSerialPort::Open(int n) {
    Close();
    failed_ = false;
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
