#pragma once
// The option groups of the panel, their twins and the input lock.

class QAbstractButton;

namespace zavo {

struct Ctx;

class OptionGroups {
public:
    explicit OptionGroups(Ctx& ctx);
    // Sets the input flag of every panel control.
    void Controls_Enable(bool enable);
    void Option_Highlight(QAbstractButton* button);
    void Pulses_Enable(bool on);
    // Moves the focus to the hidden focus sink.
    void Focus_Sink();

private:
    Ctx& ctx_;
};

}  // namespace zavo
