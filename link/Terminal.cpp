#include "link/Terminal.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <algorithm>
#include <functional>

#include "core/Context.h"
#include "dialogs/Dialogs.h"
#include "link/CommandLink.h"
#include "link/SerialPort.h"
#include "link/StatusLine.h"
#include "link/TextUtil.h"
#include "panel/Controls.h"

namespace zavo {

namespace {

constexpr int kTermLimit = 16000;
constexpr int kTermDrop = 4096;

class KeyFilter : public QObject {
  public:
    explicit KeyFilter(std::function<void(int)> onKey) : onKey_(std::move(onKey)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) {
            const int key = KeyAscii(static_cast<QKeyEvent*>(e));
            if (key >= 0) onKey_(key);
        }
        return QObject::eventFilter(watched, e);  // the box still gets the key
    }

  private:
    static int KeyAscii(const QKeyEvent* k) {
        const QString t = k->text();
        if (!t.isEmpty() && t[0].unicode() < 256) return t[0].unicode();
        switch (k->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                return 13;
            case Qt::Key_Backspace:
                return 8;
            case Qt::Key_Escape:
                return 27;
            case Qt::Key_Tab:
                return 9;
            default:
                return -1;
        }
    }
    std::function<void(int)> onKey_;
};

}  // namespace

void Term_Append(QPlainTextEdit* Term, std::string Text) {
    if (!Term) return;
    QTextDocument* doc = Term->document();
    QTextCursor cur(doc);
    if (doc->characterCount() - 1 > kTermLimit) {
        cur.setPosition(0);
        cur.setPosition(kTermDrop, QTextCursor::KeepAnchor);
        cur.removeSelectedText();
    }
    cur.movePosition(QTextCursor::End);
    for (size_t p; (p = Text.find('\b')) != std::string::npos;) {
        if (p == 0) {
            cur.movePosition(QTextCursor::End);
            cur.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor);
            Text.erase(0, 1);
        } else {
            Text.erase(p - 1, 2);
        }
    }
    std::erase(Text, '\n');
    // In the box a line end is one paragraph break: CR becomes the line end.
    std::replace(Text.begin(), Text.end(), '\r', '\n');
    cur.insertText(FromBytes(Text));
    Term->moveCursor(QTextCursor::End);
}

QString CommEvent_Text(int commEvent, bool& error) {
    error = false;
    switch (commEvent) {
        case 3:
            return "Change in CTS Detected";
        case 4:
            return "Change in DSR Detected";
        case 5:
            return "Change in CD Detected";
        case 6:
            return "The Phone is Ringing";
        case 7:
            return "End of File Detected";
        default:
            break;
    }
    error = true;
    switch (commEvent) {
        case 1001:
            return "Break Received";
        case 1002:
            return "CTS Timeout";
        case 1003:
            return "DSR Timeout";
        case 1004:
            return "Framing Error";
        case 1006:
            return "Overrun Error";
        case 1007:
            return "Carrier Detect Timeout";
        case 1008:
            return "Receive Buffer Overflow";
        case 1009:
            return "Parity Error";
        case 1010:
            return "Transmit Buffer Full";
        case 1011:
            return "Error retrieving DCB";
        default:
            return "Unknown error or event";
    }
}

Terminal::Terminal(Ctx& ctx) : ctx_(ctx) {
    if (ctx_.ui && ctx_.ui->txtTerm) {
        keyFilter_ = std::make_unique<KeyFilter>([this](int k) { txtTerm_KeyPress(k); });
        ctx_.ui->txtTerm->installEventFilter(keyFilter_.get());
    }
    if (ctx_.ui && ctx_.ui->cmdTestTimes)
        QObject::connect(ctx_.ui->cmdTestTimes, &QPushButton::clicked,
                         [this] { cmdTestTimes_Click(); });
    if (ctx_.port) ctx_.port->OnComm = [this](int ev) { MSComm1_OnComm(ev); };
}

Terminal::~Terminal() {
    if (ctx_.port) ctx_.port->OnComm = nullptr;
}

void Terminal::Echo(const std::string& text) {
    if (ctx_.settings.SERVMODE && ctx_.ui) Term_Append(ctx_.ui->txtTerm, text);
}

void Terminal::txtTerm_KeyPress(int KeyAscii) {
    if (!ctx_.settings.SERVMODE || !ctx_.port || !ctx_.port->IsOpen()) return;
    // A typed key must not land in the middle of a running exchange.
    if (ctx_.cmd && ctx_.cmd->InFlight()) return;
    ctx_.port->Write(std::string(1, char(KeyAscii)));
    if (ctx_.cmd) ctx_.cmd->Quiet_Reset();
}

void Terminal::MSComm1_OnComm(int commEvent) {
    if (commEvent == 1 || commEvent == 2) return;  // thresholds are 0: never raised
    bool error = false;
    const QString text = CommEvent_Text(commEvent, error);
    if (ctx_.ui && ctx_.ui->picStat[1]) {
        VbColor back = 0;
        StatusPanel_Print(ctx_.ui->picStat[1], back, kBlack, "Status: " + text);
    }
    if (!error || !ctx_.dialogs) return;
    const int r = ctx_.dialogs->MsgBox_Custom(
        text, kOKCancel, "Click Cancel to quit, OK to ignore.", 0, "OK", "Cancel");
    if (r == kCancel && ctx_.port) ctx_.port->Close();
}

void Terminal::cmdTestTimes_Click() {
    if (!ctx_.cmd) return;
    ctx_.cmd->Command_Send("IP");
    ctx_.cmd->Command_Send("\x1b");
    double t = 0;
    ctx_.cmd->Reply_Read(t);
    t = 0;
    ctx_.cmd->Reply_Read(t);
}

}  // namespace zavo
