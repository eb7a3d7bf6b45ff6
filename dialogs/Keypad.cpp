#include "dialogs/Keypad.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "core/Clock.h"
#include "core/Context.h"
#include "core/Sound.h"
#include "core/Waits.h"
#include "core/Widgets.h"

namespace zavo {

namespace {

constexpr int kEntryMax = 3;
constexpr double kReleasePause = 0.05;
constexpr VbColor kKeyPressed = kCyan;
constexpr VbColor kClearPressed = 0x0000C0;  // dark red
constexpr VbColor kOKPressed = 0x00C000;     // dark green

QPushButton* Key(QWidget* parent, const QString& name, const QString& caption, VbColor colour) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    // The display line keeps the focus, so the keyboard path always works and
    // Enter or Space never press a key by themselves.
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    SetBackColor(b, colour);
    SetForeColor(b, kBlack);
    return b;
}

// The entry as a plain number: "05" is 5, "." is 0, and a second point ends
// the number ("5.." is 5), as the panel reads a box.
double Entry_Value(const QString& entry) {
    const qsizetype second = entry.indexOf('.', entry.indexOf('.') + 1);
    bool ok = false;
    const double v = entry.left(second < 0 ? entry.size() : second).toDouble(&ok);
    return ok ? v : 0;
}

// A key row never gets lower than a fingertip (about 9 mm).
int FingerPixels(const QWidget* w) {
    return std::max(24, qRound(w->logicalDpiY() * 0.35));
}

}  // namespace

Keypad::Keypad(Ctx& ctx, QWidget* owner, TextBox* target, Limit limit)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint),
      Target(target),
      ctx_(ctx),
      owner_(owner),
      limit_(std::move(limit)) {
    setObjectName("frmKbrd");
    setModal(true);
    setFont(QFont("Arial"));

    picFocus = new PictureBox(this);
    picFocus->setObjectName("picFocus");
    picFocus->setFocusPolicy(Qt::StrongFocus);
    picFocus->setIndent(12);
    picFocus->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    for (int k = 0; k <= 10; ++k)
        cmdKey[size_t(k)] = Key(this, QString("cmdKey(%1)").arg(k),
                                k == 10 ? QString(".") : QString::number(k), kWhite);
    cmdDelete = Key(this, "cmdDelete", "Clear", kLightRed);
    cmdEnter = Key(this, "cmdEnter", "OK", kLightGreen);

    // 7 8 9 Clear / 4 5 6 / 1 2 3 OK / 0 .
    auto* keys = new QGridLayout;
    keys->setSpacing(6);
    for (int k = 1; k <= 9; ++k) keys->addWidget(cmdKey[size_t(k)], 2 - (k - 1) / 3, (k - 1) % 3);
    keys->addWidget(cmdKey[0], 3, 0, 1, 2);
    keys->addWidget(cmdKey[10], 3, 2);
    keys->addWidget(cmdDelete, 0, 3, 2, 1);
    keys->addWidget(cmdEnter, 2, 3, 2, 1);
    for (int c = 0; c < 4; ++c) keys->setColumnStretch(c, 1);
    for (int r = 0; r < 4; ++r) keys->setRowStretch(r, 1);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(6, 6, 6, 6);
    page->setSpacing(6);
    page->addWidget(picFocus, 1);
    page->addLayout(keys, 4);

    for (int k = 0; k <= 10; ++k) {
        connect(cmdKey[size_t(k)], &QPushButton::pressed, this, [this, k] { cmdKey_MouseDown(k); });
        connect(cmdKey[size_t(k)], &QPushButton::released, this, [this, k] { cmdKey_MouseUp(k); });
    }
    connect(cmdDelete, &QPushButton::pressed, this, &Keypad::cmdDelete_MouseDown);
    connect(cmdDelete, &QPushButton::released, this, &Keypad::cmdDelete_MouseUp);
    connect(cmdEnter, &QPushButton::pressed, this, &Keypad::cmdEnter_MouseDown);
    connect(cmdEnter, &QPushButton::released, this, &Keypad::cmdEnter_MouseUp);
    SetTag(cmdEnter, "0");
}

void Keypad::Keypad_Show(Ctx& ctx, QWidget* owner, TextBox* target, Limit limit) {
    const QPointer<Keypad> kb(new Keypad(ctx, owner, target, std::move(limit)));
    kb->setWindowModality(Qt::ApplicationModal);
    kb->Form_Activate();
    kb->show();
    kb->activateWindow();
    kb->picFocus->setFocus();
    while (kb && kb->isVisible()) ctx.clock->Yield(0.5);
    delete kb.data();
}

void Keypad::Form_Activate() {
    const QWidget* main = owner_;
    const QRect avail = main->screen()->availableGeometry();
    int w = std::min(qRound(0.98 * main->frameGeometry().width()), avail.width());
    int h = qRound(0.5 * main->frameGeometry().width());

    // Directly below the box; above it when the screen ends first. When
    // neither side holds the whole keypad it takes the larger one, shortened
    // to it but never below finger-sized keys.
    const int boxTop = Target->mapToGlobal(QPoint(0, 0)).y();
    const int boxBottom = Target->mapToGlobal(QPoint(0, Target->height())).y();
    const int roomBelow = avail.bottom() + 1 - boxBottom;
    const int roomAbove = boxTop - avail.top();
    const int least = 5 * FingerPixels(this) + 36;
    above_ = h > roomBelow && (h <= roomAbove || roomAbove > roomBelow);
    if (h > (above_ ? roomAbove : roomBelow)) h = std::max(above_ ? roomAbove : roomBelow, least);
    h = std::min(h, avail.height());
    int top = above_ ? boxTop - h : boxBottom;
    top = std::clamp(top, avail.top(), avail.bottom() + 1 - h);
    const int left =
        std::clamp(main->mapToGlobal(QPoint(0, 0)).x(), avail.left(), avail.right() + 1 - w);
    setGeometry(left, top, w, h);

    for (QPushButton* k : cmdKey) SetTag(k, "0");
    Line_Print("Limits: ", kWhite);
    picFocus->setFocus();
}

void Keypad::Line_Print(const QString& head, VbColor fore) {
    SetBackColor(picFocus, kBlack);
    SetForeColor(picFocus, fore);
    picFocus->setText(head + Target->toolTip());
}

void Keypad::Keys_Paint(int pressed) {
    for (int k = 0; k <= 10; ++k)
        SetBackColor(cmdKey[size_t(k)], k == pressed ? kKeyPressed : kWhite);
}

void Keypad::Target_Write(const QString& text) {
    // As typing would: the box's change handler runs.
    Target->SetText(text);
}

void Keypad::Sound_Play(const char* wav) {
    if (ctx_.settings.SOUNDMODE && ctx_.sound) ctx_.sound->Play(ctx_.paths.Sound(wav), true);
}

void Keypad::cmdKey_MouseDown(int Index) {
    if (Index < 0 || Index > 10 || closing_) return;
    Keys_Paint(Index);
    Sound_Play("start.wav");
    SetTag(cmdEnter, "1");
    Line_Print("Limits: ", kWhite);
    // The first key after opening or after OK begins a new entry.
    if (Tag(cmdKey[size_t(Index)]) == "0") {
        Entry.clear();
        for (QPushButton* k : cmdKey) SetTag(k, "1");
    }
    if (Entry.size() < kEntryMax) Entry += Index == 10 ? QChar('.') : QChar('0' + Index);
    Target_Write(Entry);
    picFocus->setFocus();
}

void Keypad::cmdKey_MouseUp(int /*Index*/) {
    Wait_Seconds(*ctx_.clock, kReleasePause);
    Keys_Paint(-1);
}

void Keypad::cmdDelete_MouseDown() {
    if (closing_) return;
    SetBackColor(cmdDelete, kClearPressed);
    Sound_Play("start.wav");
    SetTag(cmdEnter, "1");
    Line_Print("Limits: ", kWhite);
    Entry.clear();
    Target_Write("0");
    picFocus->setFocus();
}

void Keypad::cmdDelete_MouseUp() {
    Wait_Seconds(*ctx_.clock, kReleasePause);
    SetBackColor(cmdDelete, kLightRed);
}

void Keypad::cmdEnter_MouseDown() {
    if (closing_) return;
    if (Tag(cmdEnter) != "1") {
        Form_Close();
        return;
    }
    for (QPushButton* k : cmdKey) SetTag(k, "0");
    SetBackColor(cmdEnter, kOKPressed);
    const double v = Entry_Value(Entry);
    Target_Write(QString::number(v, 'g', 15));
    repaint();
    if (v >= 0 && v <= limit_()) {
        Sound_Play("start.wav");
        Form_Close();
        return;
    }
    Line_Print("Out of limits: ", kRed);
    Sound_Play("error.wav");
}

void Keypad::cmdEnter_MouseUp() {
    if (closing_ || !isVisible()) return;
    Wait_Seconds(*ctx_.clock, kReleasePause);
    SetBackColor(cmdEnter, kLightGreen);
}

void Keypad::Form_KeyPress(QChar c) {
    QChar ch;
    if (c == ',' || c == '.')
        ch = '.';
    else if (c >= '0' && c <= '9')
        ch = c;
    else
        return;  // a stray key must not wipe the box
    SetTag(cmdEnter, "1");
    if (Entry.size() < kEntryMax) Entry += ch;
    Target_Write(Entry);
    picFocus->setFocus();
}

void Keypad::keyPressEvent(QKeyEvent* e) {
    const QString t = e->text();
    if (t.size() == 1 && t[0].isPrint()) Form_KeyPress(t[0]);
    // Neither Enter nor Escape leaves the keypad: only OK does.
    e->accept();
}

void Keypad::closeEvent(QCloseEvent* e) {
    if (!closing_) e->ignore();
}

void Keypad::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    Fonts_Scale();
}

void Keypad::Fonts_Scale() {
    // The captions grow with the keypad, as the form's controls scale with it.
    const int row = std::max(1, (height() - 36) / 5);
    QFont key("Arial");
    key.setBold(true);
    key.setPixelSize(std::clamp(row * 9 / 20, 12, 96));
    for (QPushButton* k : cmdKey) k->setFont(key);
    cmdDelete->setFont(key);
    cmdEnter->setFont(key);
    QFont line("Arial");
    line.setBold(true);
    line.setPixelSize(std::clamp(row * 2 / 5, 11, 64));
    picFocus->setFont(line);
}

void Keypad::Form_Close() {
    closing_ = true;
    done(Accepted);
}

}  // namespace zavo
