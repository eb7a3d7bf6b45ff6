#include "link/QtSerialPort.h"

#include <QSerialPort>

namespace zavo {

QtSerialPort::QtSerialPort(std::filesystem::path portsDir) : portsDir_(std::move(portsDir)) {}
QtSerialPort::~QtSerialPort() = default;
bool QtSerialPort::Port_Exists(int) { return false; }
bool QtSerialPort::Open(int) { return false; }
void QtSerialPort::Close() {}
bool QtSerialPort::IsOpen() const { return false; }
int QtSerialPort::BytesAvailable() { return 0; }
int QtSerialPort::ReadByte() { return -1; }
bool QtSerialPort::Write(const std::string&) { return false; }
void QtSerialPort::DiscardInput() {}
void QtSerialPort::DiscardOutput() {}
std::string QtSerialPort::DeviceName(int) const { return {}; }

}  // namespace zavo
