// The tablet keypad: entries against each box's limit, and the keyboard path.
#include <QKeyEvent>
#include <QPushButton>

#include "dialogs/Keypad.h"
#include "panel/Limits.h"
#include "panel_test.h"

using namespace zavo;

namespace {

struct KeypadTest : test::Panel {
    void SetUp() override {
        window.Form_Load();
        s.TOUCHMODE = s.SOUNDMODE = true, s.ZAVMODE = 1, s.DMGER = 2, s.DMGFD = 37;
        window.Layout_Apply(true), ctx.limits->Limits_Set(), window.show(), Unlock();
    }
    std::unique_ptr<Keypad> Open(TextBox* box) {
        auto kb = std::make_unique<Keypad>(ctx, &window, box,
                                           [this, box] { return ctx.limits->Keypad_Limit(box); });
        kb->Form_Activate(), kb->show();
        return kb;
    }
    // Touches keys, each pressed and released: "1 8 0 OK", "Clear", ".".
    static void Touch(Keypad& kb, const QString& keys) {
        for (const QString& k : keys.split(' ')) {
            QPushButton* b = k == "Clear" ? kb.cmdDelete
                             : k == "OK"  ? kb.cmdEnter
                                          : kb.cmdKey[k == "." ? 10 : k.toInt()];
            emit b->pressed(), emit b->released();
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
        const char *keys, *text;  // the box's text afterwards
        bool open, rejected;
        const char* sounds;
    } cases[] = {
        {"1 2 3 4", "123", true, false, "ssss"},  // three characters at most
        {"OK", "37", false, false, ""},           // nothing typed: unchanged
        {"1 8 0 OK", "180", true, true, "ssse"},
        {"1 8 0 OK 1 5 0 OK", "150", false, false, "sssessss"},  // a new entry after OK
        {"5 Clear", "0", true, false, "ss"},
        {".", ".", true, false, "s"},
        {". OK", "0", false, false, "ss"},
        {"0 5 OK", "5", false, false, "sss"},
        {"5 . . OK", "5", false, false, "ssss"},  // a second point ends the number
    };
    for (const auto& c : cases) {
        ui.txtACMax->SetText("37"), Sounds();
        auto kb = Open(ui.txtACMax);
        Touch(*kb, c.keys);
        EXPECT_EQ(std::tuple(ui.txtACMax->text(), kb->isVisible(), kb->picFocus->text(),
                             ForeColor(kb->picFocus), Sounds()),
                  std::tuple(c.text, c.open,
                             QString(c.rejected ? "Out of limits: " : "Limits: ") + "<0 - 150 mT>",
                             c.rejected ? kRed : kWhite, std::string(c.sounds)))
            << c.keys;
    }
    s.DMGER = 3, s.SOUNDMODE = false;  // the slow rate's limit; no sounds when they are off
    auto kb = Open(ui.txtACMax);
    Touch(*kb, "1 0 1 OK");
    EXPECT_TRUE(kb->isVisible() && Sounds().empty());
    Touch(*kb, "1 0 0 OK");
    EXPECT_FALSE(kb->isVisible());
}

// A touched box is framed; the limit is the one at OK (a high AC max selects a faster rate).
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
    EXPECT_EQ(std::tuple(framed, ui.lblACMaxBlack->isVisible(), ui.txtACMax->text(), s.DMGER),
              std::tuple(true, false, "180", 1));
    EXPECT_TRUE(ui.picFocus->hasFocus() || !window.isActiveWindow());
}

// Digits, "," and "." from a keyboard are typed too; other keys and Escape change nothing.
TEST_F(KeypadTest, TheKeyboard) {
    auto kb = Open(ui.txtRampTime);
    const auto type = [&](const QString& text, int key = 0) {
        QKeyEvent e(QEvent::KeyPress, key, {}, text);
        QApplication::sendEvent(kb.get(), &e);
    };
    Touch(*kb, "Clear");
    for (const char* t : {"a", " ", "9", "9"}) type(t);
    EXPECT_EQ(ui.txtRampTime->text(), "99");
    Touch(*kb, "OK 1");  // 99 s is out of limits; a new entry, which the keyboard goes on with
    for (const char* t : {",", "5", "9"}) type(t);
    type("", Qt::Key_Escape);
    EXPECT_TRUE(ui.txtRampTime->text() == "1.5" && kb->isVisible());
    Touch(*kb, "OK");
    EXPECT_FALSE(kb->isVisible());
}

}  // namespace
