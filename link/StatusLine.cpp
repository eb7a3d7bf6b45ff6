// Placeholder until this subsystem is built.
#include "link/StatusLine.h"
#include "core/Context.h"

namespace zavo {

StatusPanel::StatusPanel(QWidget* parent) : QFrame(parent) {}
void StatusPanel::Paint(VbColor back, VbColor fore, const QString& text) {
    back_ = back;
    fore_ = fore;
    text_ = text;
    tag_ = " " + text;
}
void StatusPanel::paintEvent(QPaintEvent* e) { QFrame::paintEvent(e); }
void StatusPanel_Print(StatusPanel* pic, VbColor& backColor, VbColor foreColor, const QString& text,
                       const QString&) {
    pic->Paint(backColor, foreColor, text);
}
StatusLine::StatusLine(Ctx& ctx) : ctx_(ctx) {}
void StatusLine::Status_Show(bool) {}
void StatusLine::Lamp(VbColor) {}
void StatusLine::Text(const QString&, VbColor) {}

}  // namespace zavo
