#pragma once
// The link to the sibling magnetometer program: the receive endpoint
// "ZAVO Receive Data" and the time stamps sent to "Tervok Receive Data".

#include <string>

namespace zavo {

struct Ctx;

class MagLink {
  public:
    explicit MagLink(Ctx& ctx);
    ~MagLink();
    MagLink(const MagLink&) = delete;
    MagLink& operator=(const MagLink&) = delete;

    // Serves the receive endpoint from start-up to exit.
    bool Open();
    void Close();
    // Sends a text to the magnetometer program; nothing for an empty text or
    // when no program listens.
    void LinkString_Send(const std::string& text);

  private:
    Ctx& ctx_;
};

}  // namespace zavo
