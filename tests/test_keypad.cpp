// The tablet keypad: entries and their limits, colours and sounds, placement
// under the touched box, the keyboard path, and the box's click opening it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
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
using Keys = std::vector<const char*>;
using Sounds = std::vector<std::string>;

namespace {

struct KeypadTest : ::testing::Test {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    MainWindow& window = tp.program->window();

    void SetUp() override {
        window.Form_Load();
        ctx.settings.TOUCHMODE = ctx.settings.SOUNDMODE = true;
        ctx.settings.ZAVMODE = 1, ctx.settings.DMGER = 2, ctx.settings.DMGFD = 37;
        window.Layout_Apply(true);
        ctx.limits->Limits_Set();
        window.show();
        ctx.enabling->Panels_Enable(true), ctx.options->Controls_Enable(true);
    }
    // Touches a key as a finger does: press, then release.
    static void Touch(Keypad& kb, const QString& caption) {
        QPushButton* b = caption == "Clear" ? kb.cmdDelete
                         : caption == "OK"  ? kb.cmdEnter
                                            : kb.cmdKey[caption == "." ? 10 : caption.toInt()];
        const QPointF at = QPointF(b->rect().center());
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, at, b->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, {});
            QApplication::sendEvent(b, &e);
        }
    }
    static void Type(Keypad& kb, const QString& text) {
        QKeyEvent e(QEvent::KeyPress, 0, {}, text);
        QApplication::sendEvent(&kb, &e);
    }
};

TEST_F(KeypadTest, EntriesAgainstTheRateLimit) {
    const struct {
        Keys keys;
        const char* text;  // in the box afterwards
        bool open;
        const char* line;
        Sounds sounds;
    } cases[] = {
        {{"1", "2", "3", "4"}, "123", true, "Limits: <0 - 150 mT>", Sounds(4, "start.wav")},
        {{"OK"}, "37", false, "Limits: <0 - 150 mT>", {}},  // nothing typed: unchanged
        {{"1", "8", "0", "OK"},
         "180",
         true,
         "Out of limits: <0 - 150 mT>",
         {"start.wav", "start.wav", "start.wav", "error.wav"}},
        {{"1", "8", "0", "OK", "1", "5", "0", "OK"},
         "150",
         false,
         "Limits: <0 - 150 mT>",
         {"start.wav", "start.wav", "start.wav", "error.wav", "start.wav", "start.wav", "start.wav",
          "start.wav"}},  // rejected, then a new entry
        {{"1", "8", "0", "OK", "OK"}, "180", true, "Out of limits: <0 - 150 mT>", {}},
        {{"5", "Clear"}, "0", true, "Limits: <0 - 150 mT>", {}},
        {{"."}, ".", true, "Limits: <0 - 150 mT>", {}},
        {{".", "OK"}, "0", false, "Limits: <0 - 150 mT>", {}},
        {{"0", "5", "OK"}, "5", false, "Limits: <0 - 150 mT>", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "ends in " << c.text);
        ui.txtACMax->SetText("37"), tp.sound.played.clear();
        Keypad kb(ctx, ui.txtACMax);
        kb.Form_Activate(), kb.show();
        for (const char* k : c.keys) Touch(kb, k);
        EXPECT_EQ(ui.txtACMax->text(), c.text);
        EXPECT_EQ(kb.isVisible(), c.open);
        EXPECT_EQ(kb.picFocus->text(), c.line);
        if (!c.sounds.empty()) {
            EXPECT_EQ(tp.sound.played, c.sounds);
        }
    }
    ctx.settings.DMGER = 3, ctx.settings.SOUNDMODE = false, tp.sound.played.clear();
    ui.txtACMax->setToolTip(Limits::Rate_Range(3));
    Keypad kb(ctx, ui.txtACMax);
    kb.Form_Activate(), kb.show();
    for (const char* k : {"1", "0", "1", "OK"}) Touch(kb, k);
    EXPECT_TRUE(kb.isVisible() && tp.sound.played.empty());
    EXPECT_EQ(ForeColor(kb.picFocus), kRed);
}

// Pressed keys are coloured until 0.05 s after their release.
TEST_F(KeypadTest, KeyColoursOnPressAndRelease) {
    Keypad kb(ctx, ui.txtRampTime);
    kb.Form_Activate(), kb.show();
    kb.cmdKey_MouseDown(5);
    EXPECT_EQ(BackColor(kb.cmdKey[5]), kCyan);
    EXPECT_EQ(BackColor(kb.cmdKey[4]), kWhite);
    const double before = tp.clock.Absolute();
    kb.cmdKey_MouseUp(5);
    EXPECT_NEAR(tp.clock.Absolute() - before, 0.05, 0.011);
    EXPECT_EQ(BackColor(kb.cmdKey[5]), kWhite);
    kb.cmdDelete_MouseDown();
    EXPECT_EQ(BackColor(kb.cmdDelete), VbColor(0x0000C0));
    kb.cmdDelete_MouseUp();
    EXPECT_EQ(BackColor(kb.cmdDelete), kLightRed);
    for (int k : {9, 9}) kb.cmdKey_MouseDown(k);  // 99 s: out of limits, stays open
    kb.cmdEnter_MouseDown();
    EXPECT_EQ(BackColor(kb.cmdEnter), VbColor(0x00C000));
    kb.cmdEnter_MouseUp();
    EXPECT_EQ(BackColor(kb.cmdEnter), kLightGreen);
    EXPECT_EQ(std::pair(BackColor(kb.picFocus), ForeColor(kb.picFocus)), std::pair(kBlack, kRed));
}

// Digits, "," and "." from a keyboard; other keys change nothing; Escape does not close.
TEST_F(KeypadTest, PhysicalKeyboard) {
    ui.txtRampTime->SetText("7");
    Keypad kb(ctx, ui.txtRampTime);
    kb.Form_Activate(), kb.show();
    for (const char* t : {"a", " "}) Type(kb, t);
    EXPECT_EQ(ui.txtRampTime->text(), "7");
    for (const char* t : {"1", ",", "5", "9"}) Type(kb, t);
    EXPECT_EQ(ui.txtRampTime->text(), "1.5");
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, {});
    QApplication::sendEvent(&kb, &esc);
    EXPECT_TRUE(kb.isVisible());
    Touch(kb, "OK");
    EXPECT_FALSE(kb.isVisible());
}

// Below the box, as wide as the window, its left edge on the window's; above the box when the
// screen ends below it; on the screen when the window hangs over its edge.
TEST_F(KeypadTest, PlacedUnderTheBoxOnTheScreen) {
    const QRect screen = window.screen()->availableGeometry();
    const auto place = [&](TextBox* box) {
        auto kb = std::make_unique<Keypad>(ctx, box);
        kb->Form_Activate();
        EXPECT_TRUE(screen.contains(kb->geometry()))
            << screen.height() << " " << kb->geometry().bottom();
        return kb;
    };
    auto kb = place(ui.txtRampTime);
    EXPECT_EQ(kb->y(), ui.txtRampTime->mapToGlobal(QPoint(0, ui.txtRampTime->height())).y());
    // A tablet window wider than the screen hangs over its edges; the keypad does not.
    EXPECT_EQ(kb->x(), std::max(window.mapToGlobal(QPoint(0, 0)).x(), screen.x()));
    EXPECT_EQ(kb->width(), std::min(qRound(0.98 * window.frameGeometry().width()), screen.width()));
    EXPECT_FALSE(kb->PlacedAbove());

    window.setWindowState(Qt::WindowNoState);
    window.setGeometry(screen.x() - 100, screen.bottom() - 420, screen.width() / 2, 400);
    QApplication::processEvents();
    kb = place(ui.txtRampTime);
    EXPECT_TRUE(kb->PlacedAbove());
    EXPECT_EQ(kb->geometry().bottom() + 1, ui.txtRampTime->mapToGlobal(QPoint(0, 0)).y());
    EXPECT_EQ(kb->x(), screen.x());
}

// Touching a box frames it in black and opens the keypad over the tablet window; the value
// typed stays in the box and the focus goes to the window's focus sink.
TEST_F(KeypadTest, BoxClickOpensTheKeypad) {
    bool framed = false;
    tp.clock.After(0.1, [&] {
        auto* kb = qobject_cast<Keypad*>(QApplication::activeModalWidget());
        ASSERT_TRUE(kb);
        framed = ui.lblRampTimeBlack->isVisible();
        for (const char* k : {"2", "5"}) Touch(*kb, k);
        QPixmap shot = window.grab();
        QPainter(&shot).drawPixmap(kb->geometry().topLeft() - window.mapToGlobal(QPoint(0, 0)),
                                   kb->grab());
        shot.save(QString::fromStdString((test::ScreenshotDir() / "keypad_tablet.png").string()));
        Touch(*kb, "OK");
    });
    emit ui.txtRampTime->Click();
    EXPECT_TRUE(framed);
    EXPECT_FALSE(ui.lblRampTimeBlack->isVisible());
    EXPECT_EQ(ui.txtRampTime->text(), "25");
    EXPECT_TRUE(ui.picFocus->hasFocus() || !window.isActiveWindow());
}

}  // namespace
