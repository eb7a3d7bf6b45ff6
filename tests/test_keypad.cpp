// The tablet keypad: entries against the limit the panel gives each box, colours and sounds,
// the keyboard path, placement under the touched box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

#include "dialogs/Keypad.h"
#include "panel/Controls.h"
#include "panel/Limits.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "support/TestProgram.h"

using namespace zavo;

namespace {

struct KeypadTest : ::testing::Test {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    MainWindow& window = *ctx.window;

    void SetUp() override {
        window.Form_Load();
        ctx.settings.TOUCHMODE = ctx.settings.SOUNDMODE = true;
        ctx.settings.ZAVMODE = 1, ctx.settings.DMGER = 2, ctx.settings.DMGFD = 37;
        window.Layout_Apply(true);
        ctx.limits->Limits_Set();
        window.show();
        ctx.enabling->Panels_Enable(true), ctx.options->Controls_Enable(true);
    }
    std::unique_ptr<Keypad> Open(TextBox* box) {
        auto kb = std::make_unique<Keypad>(ctx, &window, box,
                                           [this, box] { return ctx.limits->Keypad_Limit(box); });
        kb->Form_Activate(), kb->show();
        return kb;
    }
    // Touches keys as a finger does, press then release: "1 8 0 OK", "Clear", ".".
    static void Touch(Keypad& kb, const QString& keys) {
        for (const QString& k : keys.split(' ')) {
            QPushButton* b = k == "Clear" ? kb.cmdDelete
                             : k == "OK"  ? kb.cmdEnter
                                          : kb.cmdKey[k == "." ? 10 : k.toInt()];
            const QPointF at = QPointF(b->rect().center());
            for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                QMouseEvent e(type, at, b->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, {});
                QApplication::sendEvent(b, &e);
            }
        }
    }
    // The sounds played since the last call: s the click, e the rejection.
    std::string Sounds() {
        std::string s;
        for (const std::string& wav : std::exchange(tp.sound.played, {})) s += wav[0];
        return s;
    }
};

TEST_F(KeypadTest, EntriesAgainstTheRateLimit) {
    const struct {
        const char* keys;
        const char* text;  // in the box afterwards
        bool open;
        const char* line;
        const char* sounds;
    } cases[] = {
        {"1 2 3 4", "123", true, "Limits: <0 - 150 mT>", "ssss"},  // three characters at most
        {"OK", "37", false, "Limits: <0 - 150 mT>", ""},           // nothing typed: unchanged
        {"1 8 0 OK", "180", true, "Out of limits: <0 - 150 mT>", "ssse"},
        {"1 8 0 OK OK", "180", true, "Out of limits: <0 - 150 mT>", "sssee"},
        {"1 8 0 OK 1 5 0 OK", "150", false, "Limits: <0 - 150 mT>", "sssessss"},  // a new entry
        {"5 Clear", "0", true, "Limits: <0 - 150 mT>", "ss"},
        {".", ".", true, "Limits: <0 - 150 mT>", "s"},
        {". OK", "0", false, "Limits: <0 - 150 mT>", "ss"},
        {"0 5 OK", "5", false, "Limits: <0 - 150 mT>", "sss"},
        {"5 . . OK", "5", false, "Limits: <0 - 150 mT>", "ssss"},  // a second point ends the number
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        ui.txtACMax->SetText("37"), Sounds();
        auto kb = Open(ui.txtACMax);
        Touch(*kb, c.keys);
        EXPECT_EQ(ui.txtACMax->text(), c.text);
        EXPECT_EQ(kb->isVisible(), c.open);
        EXPECT_EQ(kb->picFocus->text(), c.line);
        EXPECT_EQ(ForeColor(kb->picFocus), c.line[0] == 'O' ? kRed : kWhite);
        EXPECT_EQ(Sounds(), c.sounds);
    }
    // The slow rate's limit; no sounds when they are off.
    ctx.settings.DMGER = 3, ctx.settings.SOUNDMODE = false;
    auto kb = Open(ui.txtACMax);
    Touch(*kb, "1 0 1 OK");
    EXPECT_TRUE(kb->isVisible() && Sounds().empty());
    Touch(*kb, "1 0 0 OK");
    EXPECT_FALSE(kb->isVisible());
}

// OK checks only an upper bound; the panel's validation applies its full rules afterwards.
TEST_F(KeypadTest, LimitOfEachBox) {
    Settings& s = ctx.settings;
    s.REKFD = 120;
    const struct {
        TextBox* box;
        int mode, rate;
        double limit;
    } rows[] = {
        {ui.txtACMax, 1, 0, 200},   {ui.txtACMax, 1, 1, 200},   {ui.txtACMax, 1, 2, 150},
        {ui.txtACMax, 2, 3, 100},   {ui.txtACMax, 3, 3, 0},     {ui.txtACMin, 2, 3, 120},
        {ui.txtDCField, 2, 3, 500}, {ui.txtRampTime, 1, 3, 30}, {ui.txtTOVField, 3, 3, 20},
        {ui.txtTOVTime, 3, 3, 10},
    };
    for (const auto& r : rows) {
        s.ZAVMODE = Int16(r.mode), s.DMGER = s.REKER = Int16(r.rate);
        EXPECT_EQ(ctx.limits->Keypad_Limit(r.box), r.limit)
            << r.box->objectName().toStdString() << " mode " << r.mode << " rate " << r.rate;
    }
    s.ZAVMODE = 2, s.DMGER = 3, s.REKER = 2;  // each mode its own rate
    EXPECT_EQ(ctx.limits->Keypad_Limit(ui.txtACMax), 150);
}

// Touching a box frames it in black and opens the keypad over the window. The limit is the one in
// force at OK: an AC max above the rate's reach selects a faster rate as it is typed.
TEST_F(KeypadTest, BoxTouchOpensTheKeypadWithTheLimitInForce) {
    ctx.run.InstrReady = true;
    bool framed = false;
    tp.clock.After(0.1, [&] {
        auto* kb = qobject_cast<Keypad*>(QApplication::activeModalWidget());
        ASSERT_TRUE(kb);
        framed = ui.lblACMaxBlack->isVisible();
        Touch(*kb, "1 8 0 OK");
    });
    tp.clock.After(5, [&] {  // rejected: leave with 0 rather than hang
        if (auto* kb = qobject_cast<Keypad*>(QApplication::activeModalWidget()))
            ADD_FAILURE() << "still open", Touch(*kb, "Clear OK");
    });
    emit ui.txtACMax->Click();
    EXPECT_TRUE(framed);
    EXPECT_FALSE(ui.lblACMaxBlack->isVisible());
    EXPECT_EQ(std::tuple(ui.txtACMax->text(), ctx.settings.DMGER), std::tuple("180", 1));
    EXPECT_TRUE(ui.picFocus->hasFocus() || !window.isActiveWindow());
}

// A pressed key is coloured until 0.05 s after its release. Digits, "," and "." from a keyboard
// are typed too; other keys change nothing; Escape does not close.
TEST_F(KeypadTest, KeyColoursAndTheKeyboard) {
    ui.txtRampTime->SetText("7");
    auto kb = Open(ui.txtRampTime);
    kb->cmdKey_MouseDown(5);
    EXPECT_EQ(std::pair(BackColor(kb->cmdKey[5]), BackColor(kb->cmdKey[4])), std::pair(kCyan, kWhite));
    const double before = tp.clock.Absolute();
    kb->cmdKey_MouseUp(5);
    EXPECT_NEAR(tp.clock.Absolute() - before, 0.05, 0.011);
    EXPECT_EQ(BackColor(kb->cmdKey[5]), kWhite);
    kb->cmdDelete_MouseDown();
    EXPECT_EQ(BackColor(kb->cmdDelete), VbColor(0x0000C0));
    kb->cmdDelete_MouseUp();
    EXPECT_EQ(BackColor(kb->cmdDelete), kLightRed);

    const auto type = [&](const char* text, int key = 0) {
        QKeyEvent e(QEvent::KeyPress, key, {}, text);
        QApplication::sendEvent(kb.get(), &e);
    };
    for (const char* t : {"a", " ", "9", "9"}) type(t);  // 99 s: out of limits, stays open
    EXPECT_EQ(ui.txtRampTime->text(), "99");
    kb->cmdEnter_MouseDown();
    EXPECT_EQ(BackColor(kb->cmdEnter), VbColor(0x00C000));
    kb->cmdEnter_MouseUp();
    EXPECT_EQ(BackColor(kb->cmdEnter), kLightGreen);
    Touch(*kb, "1");  // a new entry, which the keyboard goes on with
    for (const char* t : {",", "5", "9"}) type(t);
    EXPECT_EQ(ui.txtRampTime->text(), "1.5");
    type("", Qt::Key_Escape);
    EXPECT_TRUE(kb->isVisible());
    Touch(*kb, "OK");
    EXPECT_FALSE(kb->isVisible());
}

// Below the box, as wide as the window, its left edge on the window's; above the box when the
// screen ends below it; on the screen when the window hangs over its edge.
TEST_F(KeypadTest, PlacedUnderTheBoxOnTheScreen) {
    const QRect screen = window.screen()->availableGeometry();
    auto kb = Open(ui.txtRampTime);
    EXPECT_TRUE(screen.contains(kb->geometry()));
    EXPECT_EQ(kb->y(), ui.txtRampTime->mapToGlobal(QPoint(0, ui.txtRampTime->height())).y());
    EXPECT_EQ(kb->x(), std::max(window.mapToGlobal(QPoint(0, 0)).x(), screen.x()));
    EXPECT_EQ(kb->width(), std::min(qRound(0.98 * window.frameGeometry().width()), screen.width()));
    EXPECT_FALSE(kb->PlacedAbove());

    window.setWindowState(Qt::WindowNoState);
    window.setGeometry(screen.x() - 100, screen.bottom() - 420, screen.width() / 2, 400);
    QApplication::processEvents();
    kb = Open(ui.txtRampTime);
    EXPECT_TRUE(screen.contains(kb->geometry()) && kb->PlacedAbove());
    EXPECT_EQ(kb->geometry().bottom() + 1, ui.txtRampTime->mapToGlobal(QPoint(0, 0)).y());
    EXPECT_EQ(kb->x(), screen.x());
}

}  // namespace
