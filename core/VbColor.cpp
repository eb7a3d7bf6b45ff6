#include "core/VbColor.h"

#include <QApplication>
#include <QPalette>

namespace zavo {

QColor ToQColor(VbColor c) {
    if (c == kButtonFace) return QApplication::palette().color(QPalette::Button);
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

VbColor FromQColor(const QColor& c) {
    return VbColor(c.red()) | (VbColor(c.green()) << 8) | (VbColor(c.blue()) << 16);
}

}  // namespace zavo
