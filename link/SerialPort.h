#pragma once
// The serial-port seam. The link talks to the controller only through this;
// the real port is Qt SerialPort, tests use a scripted fake.

#include <functional>
#include <string>
#include <vector>

namespace zavo {

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Does a serial device of number n (1..16 and beyond) exist?
    virtual bool Port_Exists(int n) = 0;
    // Opens port n at 9600 8N1 without flow control, DTR on, both buffers
    // discarded. False when it cannot be opened (LastError says why).
    virtual bool Open(int n) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual int PortNumber() const = 0;

    // Bytes waiting to be read (InBufferCount).
    virtual int BytesAvailable() = 0;
    // Reads one byte; -1 when none is waiting.
    virtual int ReadByte() = 0;
    // Writes the bytes as they are; false when the port failed.
    virtual bool Write(const std::string& bytes) = 0;
    virtual void DiscardInput() = 0;
    virtual void DiscardOutput() = 0;

    // Set once the device failed while reading or writing (unplugged, the
    // other end gone); the port is closed then. Cleared by Open.
    virtual bool Failed() const = 0;
    virtual std::string LastError() const = 0;
    // Why the last Open was refused: the user may not use the device (on
    // Linux: not in the group that owns serial devices), or another program
    // holds it (its lock, or the device busy).
    enum class Refusal { None, NoPermission, InUse };
    virtual Refusal OpenRefusal() const { return Refusal::None; }
    // The device port n stands for, as the operator knows it ("COM3",
    // "/dev/ttyUSB0").
    virtual std::string DeviceName(int n) const { return "COM" + std::to_string(n); }
    // The serial devices the system has, whether numbered or not.
    virtual std::vector<std::string> Devices() const { return {}; }

    // Port events and errors as the link's event procedure numbers them
    // (3..7 events, 1001..1011 errors); set by the owner of the port.
    std::function<void(int commEvent)> OnComm;
    // The open port failed (Failed() turned true), told from the event loop
    // whether or not an exchange was running; set by the owner of the port.
    std::function<void()> OnLost;
};

}  // namespace zavo
