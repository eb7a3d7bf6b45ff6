#pragma once

#include <filesystem>
#include <memory>

#include "link/SerialPort.h"

class QSerialPort;

namespace zavo {

// The real port. Port n is <program folder>/ports/COM<n> when that path
// exists (a link to a device or a pseudo-terminal), else the platform's name.
//
// A fatal device error (unplugged, the other end of a pseudo-terminal gone)
// closes the port at once and is remembered in Failed(): the device keeps
// reporting the same failure, and the link must handle it only once. Other
// port errors go to OnComm.
class QtSerialPort : public SerialPort {
  public:
    explicit QtSerialPort(std::filesystem::path portsDir);
    ~QtSerialPort() override;

    bool Port_Exists(int n) override;
    bool Open(int n) override;
    void Close() override;
    bool IsOpen() const override;
    int PortNumber() const override { return number_; }
    int BytesAvailable() override;
    int ReadByte() override;
    bool Write(const std::string& bytes) override;
    void DiscardInput() override;
    void DiscardOutput() override;
    bool Failed() const override { return failed_; }
    std::string LastError() const override { return error_; }

    // The device path port n maps to.
    std::string DeviceName(int n) const;

  private:
    void OnError(int error);

    std::filesystem::path portsDir_;
    std::unique_ptr<QSerialPort> port_;
    int number_ = 0;
    bool failed_ = false;
    bool opening_ = false;
    std::string error_;
};

}  // namespace zavo
