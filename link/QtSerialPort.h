#pragma once

#include <filesystem>
#include <memory>

#include "link/SerialPort.h"

class QObject;
class QSerialPort;

namespace zavo {

// The real port. Port n is <program folder>/ports/COM<n> when that link
// exists (to a device or a pseudo-terminal; a link whose target is gone is an
// absent port), else the platform's device of that number.
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
    Refusal OpenRefusal() const override { return refusal_; }
    // The device path port n maps to.
    std::string DeviceName(int n) const override;
    std::vector<std::string> Devices() const override;

  private:
    std::filesystem::path Link(int n) const;
    // ports/COM<n> is there, whether or not its target still is.
    bool Linked(int n) const;
    void OnError(int error);
    static Refusal Refusal_Of(const std::string& device);

    std::filesystem::path portsDir_;
    std::unique_ptr<QSerialPort> port_;
    int number_ = 0;
    bool failed_ = false;
    Refusal refusal_ = Refusal::None;
    // Context of the calls queued from the port's own signals.
    std::unique_ptr<QObject> queue_;
    bool opening_ = false;
    std::string error_;
};

}  // namespace zavo
