#pragma once
// Parameter limits, validation of the boxes and the panel fill.

#include <QObject>
#include <QString>

#include "core/State.h"

namespace zavo {

struct Ctx;
class TextBox;

class Limits : public QObject {
    Q_OBJECT
  public:
    // A parameter box with its messages and range.
    struct Box;

    // Connects the handler family of the six parameter boxes.
    explicit Limits(Ctx& ctx);
    // Fills the panel from the settings for the current instrument mode.
    void Limits_Set();
    // Checks and stores every box of the current mode; false at the first
    // failure (its message shown) or at once when the panel is locked.
    bool Input_Validate();
    bool Input_Check(TextBox* box, const QString& head, const QString& unit, Int16 min, Int16 max);
    static void Text_SelectAll(TextBox* box);
    // The upper limit the tablet keypad's OK checks for a box (the lower one
    // is 0): only a bound, the panel's validation applies its full rules.
    double Keypad_Limit(const TextBox* box) const;

    // Numbers typed by the operator, "." as the decimal point in every
    // locale. Text_Value reads the leading number (0 when there is none);
    // Text_IsNumber is true only when the whole text is that number, so a
    // text that passes as a number is never read as something else.
    static double Text_Value(const QString& text);
    static bool Text_IsNumber(const QString& text);
    // The AC field limit of a decrease rate and its range text.
    static Int16 Rate_Limit(int rate);
    static QString Rate_Range(int rate);
    // The rate field of the instrument mode; null in the pulse mode.
    static Int16* Rate_Field(Settings& s);
    // The text of a stored pulse-time code.
    static QString PulseTime_Text(Int16 code);
    // The code stored for a pulse time in seconds.
    static Int16 PulseTime_Code(double seconds);

    void txtACMax_Change();
    void txtTOVTime_Change();
    void txtACMax_LostFocus();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Box_Click(const Box& b);
    void Box_Validate(const Box& b, bool& cancel);
    bool Box_Check(const Box& b);
    void ACMinTip_Set();

    Ctx& ctx_;
    bool validating_ = false;
    // Focus that comes back with the window (after a message box) is not the
    // operator entering a box.
    bool windowFocus_ = false;
};

}  // namespace zavo
