#pragma once
// The service panel's buttons: the three power stages, the controller's
// service mode, single info and test commands and the upload of the preset
// parameters. Each is one exchange or one short fixed sequence; while any
// operation talks to the controller the buttons are disabled, so a second
// click cannot cut into it.

#include <QObject>
#include <vector>

class QPushButton;

namespace zavo {

struct Ctx;

class ServiceControls : public QObject {
    Q_OBJECT
  public:
    // Connects the buttons and follows the activity guard.
    explicit ServiceControls(Ctx& ctx);

    void cmdSD_Click(int Index);
    void cmdSM_Click(int Index);
    void cmdH_Click(int Index);
    void cmdService_Click(int Index);
    void cmdControl_Click(int Index);
    void cmdARMSet_Click();

    // Every service button that talks to the controller (the tumbler's STOP
    // excepted: it must reach a moving tumbler).
    std::vector<QPushButton*> Buttons() const;

  private:
    void Buttons_Enable(bool on);
    // Another operation holds the instrument: the click is refused.
    bool Refused() const;
    // Runs fn with the mode panels locked, unlocking them afterwards only
    // when they were unlocked before.
    template <class F>
    void Panels_Locked(F fn);

    Ctx& ctx_;
};

}  // namespace zavo
