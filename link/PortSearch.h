#pragma once
// Finding the controller: which serial port it is on, opening and closing
// that port, and the service panel's hand-opened port.

#include <QString>
#include <map>
#include <set>
#include <string>

namespace zavo {

struct Ctx;

class PortSearch {
  public:
    // Connects the service panel's "Open Port" button.
    explicit PortSearch(Ctx& ctx);

    // A serial device of that number exists (never opened to find out).
    bool Port_Exists(int Port);
    // Opens the port (closing another one first), DTR on, both buffers
    // discarded. False when it cannot be opened.
    bool Port_Open(int Port);
    void Port_Close();
    // A controller of this kind answers on the port with its banner. The port
    // is left closed.
    bool Instrument_Identify(int Port);
    // The remembered port first, then 1..16; asks Retry/Abort when none
    // answers. True with COMM set to the port found; false on Abort or STOP.
    bool Port_Search();
    void CommPortPanel_Enable(bool Enable);
    // "Open Port" (service mode): opens the port typed in, or closes the
    // open one.
    void cmdCommPort_Click();

  private:
    // Status line and log after a search that found nothing; what the
    // operator can do about it (refused ports, devices not tried).
    QString NoConnection_Show();
    void Testing_Show(int Port);

    Ctx& ctx_;
    // Ports the system refused to open during the search now running, with
    // the reason told to the operator; the devices it tried.
    std::map<int, QString> refused_;
    std::set<std::string> tried_;
    // The last hint logged after a search that found nothing.
    std::string lastHint_;
};

}  // namespace zavo
