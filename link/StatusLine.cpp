#include "link/StatusLine.h"

#include <QPainter>
#include <QPushButton>

#include "core/Context.h"
#include "link/CommLog.h"
#include "panel/Controls.h"

namespace zavo {

StatusPanel::StatusPanel(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setMinimumHeight(fontMetrics().height() + 2 * frameWidth() + 2);
}

void StatusPanel::Paint(VbColor back, VbColor fore, const QString& text) {
    back_ = back;
    fore_ = fore;
    text_ = text;
    tag_ = " " + text;
    // Readable back like any other control's colours.
    setProperty("BackColor", qlonglong(back));
    setProperty("ForeColor", qlonglong(fore));
    update();
}

void StatusPanel::paintEvent(QPaintEvent* e) {
    {
        QPainter p(this);
        const QRect r = contentsRect();
        p.fillRect(r, ToQColor(back_));
        if (!text_.isEmpty()) {
            p.setPen(ToQColor(fore_));
            p.setFont(font());
            // The leading blank keeps the text off the panel's edge.
            p.drawText(r.adjusted(2, 0, -2, 0),
                       Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, tag_);
        }
    }
    QFrame::paintEvent(e);
}

VbColor WindowBackColor(const QWidget* w) {
    const QWidget* top = w->window();
    const QVariant v = top->property("BackColor");
    if (v.isValid()) return VbColor(v.toLongLong());
    return FromQColor(top->palette().color(QPalette::Window));
}

void StatusPanel_Print(StatusPanel* pic, VbColor& backColor, VbColor foreColor, const QString& text,
                       const QString& toolTip) {
    if (!pic) return;
    if (backColor == 0) backColor = WindowBackColor(pic);
    pic->Paint(backColor, foreColor, text);
    if (!toolTip.isEmpty()) pic->setToolTip(toolTip);
}

StatusLine::StatusLine(Ctx& ctx) : ctx_(ctx) {}

StatusPanel* StatusLine::Panel(int index) const {
    return ctx_.ui ? ctx_.ui->picStat[size_t(index)] : nullptr;
}

void StatusLine::Status_Show(bool ready) {
    // While no log is written the operator keeps seeing why.
    const QString noLog = ctx_.log && !ctx_.log->IsOpen() ? ctx_.log->Failure() : QString();
    const QString tail = noLog.isEmpty() ? QString() : "  -  " + noLog;
    if (ready) {
        Lamp(kGreen);
        Text("INSTRUMENT IS READY" + tail, kBlack, noLog);
        if (ctx_.ui && ctx_.ui->cmdStart) ctx_.ui->cmdStart->setDefault(true);
    } else {
        Lamp(kGrey);
        Text("INSTRUMENT IS NOT INITIALIZED" + tail, kGrey, noLog);
    }
}

void StatusLine::Lamp(VbColor color, const QString& toolTip) {
    StatusPanel_Print(Panel(0), color, kBlack, QString(), toolTip);
}

void StatusLine::Text(const QString& text, VbColor fore, const QString& toolTip) {
    VbColor back = 0;
    StatusPanel_Print(Panel(1), back, fore, text, toolTip);
}

}  // namespace zavo
