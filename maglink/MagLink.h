#pragma once
// The link to the sibling magnetometer program: the receive endpoint
// "ZAVO Receive Data" and the time stamps sent to "Tervok Receive Data".

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "maglink/MagProtocol.h"

namespace zavo {

struct Ctx;
class MagTransport;

class MagLink {
  public:
    explicit MagLink(Ctx& ctx);
    ~MagLink();
    MagLink(const MagLink&) = delete;
    MagLink& operator=(const MagLink&) = delete;

    // The way messages travel; without one the link stays closed. The program
    // wires the platform's own (MagTransport_System), tests a fake.
    void Transport_Set(std::unique_ptr<MagTransport> transport);

    // Serves the receive endpoint from start-up to exit. A second running
    // program is told that the first one keeps the messages.
    bool Open();
    void Close();
    bool Serving() const { return serving_; }
    // Sends a text to the magnetometer program; nothing for an empty text or
    // when no program listens.
    void LinkString_Send(const std::string& text);

    // One payload as the transport delivers it.
    void CopyData_Receive(const CopyData& data);
    // The last text received and the list of the last array payload.
    const std::string& txtString() const { return txtString_; }
    const std::vector<std::string>& lstArray() const { return lstArray_; }

  private:
    void String_Set(const std::string& text);
    void Mismatch_Tell();
    void Trouble_Tell(const std::string& why);
    void Step_Apply(const std::string& text);
    // The position of "AAR"/"AIR"; why it was refused, empty when taken.
    QString Position_Apply(const Step& s);
    // A step taken or refused, in the status line and the daily log.
    void Step_Tell(const QString& text, bool refused);

    Ctx& ctx_;
    std::unique_ptr<MagTransport> transport_;
    bool serving_ = false;
    std::string txtString_;
    std::vector<std::string> lstArray_;
    // Failed checks since the message box was asked for (0: none is open).
    int mismatches_ = 0;
};

}  // namespace zavo
