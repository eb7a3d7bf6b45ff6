#pragma once
// Parameter limits, validation of the boxes and the panel fill.

#include <QString>

#include "core/State.h"

namespace zavo {

struct Ctx;
class TextBox;

class Limits {
public:
    explicit Limits(Ctx& ctx);
    void Limits_Set();
    bool Input_Validate();
    bool Input_Check(TextBox* box, const QString& head, const QString& unit, Int16 min, Int16 max);
    static void Text_SelectAll(TextBox* box);

private:
    Ctx& ctx_;
};

}  // namespace zavo
