#include <gtest/gtest.h>

#include <QCoreApplication>
#include <clocale>
#include <cstring>
#include <random>

#include "core/Activity.h"
#include "core/Waits.h"
#include "maglink/MagLink.h"
#include "operations/Tumbler.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"
#include "link/CommLog.h"
#include "link/StatusLine.h"
#include "support/FakeMagTransport.h"
#include "support/FakeUnit.h"
#include "support/TestProgram.h"

using namespace zavo;
using Bytes = std::vector<std::uint8_t>;
using Props = std::vector<std::pair<std::string, std::string>>;

namespace {

Bytes Doubles(std::initializer_list<double> values) {
    Bytes b(values.size() * 8);
    std::memcpy(b.data(), std::data(values), b.size());
    return b;
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Elements 1.. up to the last non-empty one.
std::vector<std::string> Elements(const std::string& text) {
    auto el = Text_Split(text, '-');
    EXPECT_EQ(el.size(), size_t(kMaxElements + 1));
    EXPECT_EQ(el[0], "");
    while (el.size() > 1 && el.back().empty()) el.pop_back();
    return {el.begin() + 1, el.end()};
}

}  // namespace

TEST(MagProtocol, TextSplit) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Elements("ARM-80-0-50"), (V{"ARM", "80", "0", "50"}));
    EXPECT_EQ(Elements("ARM--80"), (V{"ARM", "80"}));  // a run of delimiters is one
    EXPECT_EQ(Elements("  AD-050  "), (V{"AD", "050"}));
    EXPECT_EQ(Elements("-AD--5"), (V{"-AD", "5"}));  // the first character opens element 1
    EXPECT_EQ(Elements("A"), V{});                   // fewer than two characters: nothing
    EXPECT_EQ(Elements("   "), V{});
    std::string many = "X";
    for (int i = 2; i <= 150; ++i) many += "-" + std::to_string(i);
    const V cut = Elements(many);
    EXPECT_EQ(cut.size(), size_t(kMaxElements));
    EXPECT_EQ(cut.back(), "100");
}

// Each row: the text, then what it writes; -1 means "not written".
TEST(MagProtocol, StepGrammar) {
    struct Row {
        const char* text;
        int mode, acMax, acMin, dc, tov;
        const char* position;  // nullptr: no position element
        int mmode, mindexMax, mindex;
    };
    const Row rows[] = {
        {"AD-250", 1, -1, -1, -1, -1, nullptr, 0, 0, 0},
        {"AD-050", 1, 50, -1, -1, -1, nullptr, 0, 0, 0},
        {"AD-", 1, 0, -1, -1, -1, nullptr, 0, 0, 0},        // missing element reads as 0
        {"AD-12.5", 1, 125, -1, -1, -1, nullptr, 0, 0, 0},  // only the digits count
        {"AD-99999999999", 1, -1, -1, -1, -1, nullptr, 0, 0, 0},
        {"ARM-80-90-20", 2, 80, -1, 20, -1, nullptr, 0, 0, 0},
        {"ARM--80", 2, 80, 0, 0, -1, nullptr, 0, 0, 0},
        {"ARM-250-220-501", 2, -1, 220, -1, -1, nullptr, 0, 0, 0},  // AC min against the sent max
        {"AAR-100-20-300-U18", 2, 100, 20, 300, -1, "U18", 7, 18, 18},
        {"AAR-100-20-300", 2, 100, 20, 300, -1, "", 0, 0, 0},
        {"IRM-20", 3, -1, -1, -1, 20, nullptr, 0, 0, 0},
        {"IRM-21", 3, -1, -1, -1, -1, nullptr, 0, 0, 0},
        {"AIR-5-A3", 3, -1, -1, -1, 5, "A3", 8, 12, 3},
        {"AIR-5-D2", 3, -1, -1, -1, 5, "D2", 12, 3, 2},
        {"AIR-5-X7", 3, -1, -1, -1, 5, "X7", 0, 0, 7},             // unknown set: keep the mode
        {"AIR-5-B123456", 3, -1, -1, -1, 5, "B123456", 9, 6, -1},  // index beyond 16 bits
        {"NRM-1", 0, -1, -1, -1, -1, nullptr, 0, 0, 0},
        {"TD-300", 0, -1, -1, -1, -1, nullptr, 0, 0, 0},
        {"ad-50", 0, -1, -1, -1, -1, nullptr, 0, 0, 0},
        {" AD-50", 0, -1, -1, -1, -1, nullptr, 0, 0, 0},
        {"AD", 0, -1, -1, -1, -1, nullptr, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        const Step s = Step_Read(r.text);
        auto value = [](bool has, int v) { return has ? v : -1; };
        EXPECT_EQ(s.mode, r.mode);
        EXPECT_EQ(value(s.hasACMax, s.ACMax), r.acMax);
        EXPECT_EQ(value(s.hasACMin, s.ACMin), r.acMin);
        EXPECT_EQ(value(s.hasDCField, s.DCField), r.dc);
        EXPECT_EQ(value(s.hasTOVField, s.TOVField), r.tov);
        EXPECT_EQ(s.hasPosition, r.position != nullptr);
        if (!r.position) continue;
        EXPECT_EQ(s.positionText, r.position);
        EXPECT_EQ(s.MMode, r.mmode);
        EXPECT_EQ(s.MIndexMax, r.mindexMax);
        EXPECT_EQ(value(s.hasMIndex, s.MIndex), r.mindex);
    }
}

TEST(MagProtocol, ArrayPayloads) {
    struct Row {
        const char* what;
        CopyData data;
        std::vector<std::string> items;
        bool mismatch;
    };
    const Bytes good =
        Bag_Encode({{"NumEls", "2"}, {"0", "Item #0"}, {"1", "Item #1"}, {"2", "Item #2"}});
    Bytes truncated = good, trailing = good;
    truncated.pop_back();
    trailing.push_back(0);
    auto bag = [](const Props& p) { return CopyData{kTypePropertyBag, Bag_Encode(p)}; };
    // clang-format off
    const Row rows[] = {
        {"doubles 0..2",               {1, Doubles({0, 1, 2})},     {"0", "1", "2"},   false},
        {"a wrong double",             {1, Doubles({0, 1.5, 2})},   {"0", "1.5", "2"}, true},
        {"stray bytes after a double", {1, Bytes(11, 0)},           {"0"},             false},
        {"no whole double",            {1, Text("abc")},            {},                false},
        {"bag of three",               {2, good},                   {"Item #0", "Item #1", "Item #2"}, false},
        {"a wrong string",             bag({{"NumEls", "1"}, {"0", "Item #0"}, {"1", "Item #9"}}),
                                       {"Item #0", "Item #9"}, true},
        {"a missing string",           bag({{"NumEls", "1"}, {"1", "Item #1"}}), {"", "Item #1"}, true},
        {"a billion strings claimed",  bag({{"NumEls", "1000000000"}, {"0", "Item #0"}}),
                                       {"Item #0", "", ""}, true},
        {"a negative count",           bag({{"NumEls", "-1"}}),     {},                false},
        {"no NumEls: string 0 alone",  bag({{"0", "Item #0"}}),     {"Item #0"},       false},
        {"a non-numeric count",        bag({{"NumEls", "two"}}),    {},                true},
        {"a truncated bag",            {2, truncated},              {},                true},
        {"a bag with trailing bytes",  {2, trailing},               {},                true},
        {"not a bag",                  {2, Text("hello")},          {},                true},
    };
    // clang-format on
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const Payload p = CopyData_Read(r.data);
        EXPECT_EQ(p.kind, Payload::Kind::List);
        EXPECT_EQ(p.items, r.items);
        EXPECT_EQ(p.mismatch, r.mismatch);
    }
}

TEST(MagProtocol, TextPayloadsAndUnknownTypes) {
    const std::pair<Bytes, std::string> texts[] = {
        {Text(std::string("AD-050\0junk", 11)), "AD-050"},  // up to the zero byte
        {Text("AD-050"), "AD-050"},                         // no zero byte at all
        {Bytes(300, 'x'), std::string(255, 'x')},           // cut at the buffer's size
        {{}, ""},
    };
    for (const auto& [bytes, text] : texts) {
        const Payload p = CopyData_Read({kTypeText, bytes});
        EXPECT_EQ(p.kind, Payload::Kind::Text);
        EXPECT_EQ(p.text, text);
    }
    for (std::uint32_t type : {0u, 4u, 0xFFFFFFFFu})
        EXPECT_EQ(CopyData_Read({type, Text("AD-050")}).kind, Payload::Kind::Ignored) << type;
}

TEST(MagProtocol, Frames) {
    const CopyData d{3, Text(std::string("AD-050\0", 7))};
    Bytes two = Frame_Encode(d, 0x1122334455667788ull);
    const size_t one = two.size();
    EXPECT_EQ(one, kFrameHeader + 7);
    const Bytes second = Frame_Encode({1, Doubles({0})}, 7);
    two.insert(two.end(), second.begin(), second.end());

    // Every prefix of a frame waits for more; the whole frame is read alone.
    for (size_t n = 0; n < one; ++n)
        EXPECT_EQ(Frame_Decode(two.data(), n).status, FrameRead::Status::Incomplete) << n;
    const FrameRead f = Frame_Decode(two.data(), two.size());
    ASSERT_EQ(f.status, FrameRead::Status::Complete);
    EXPECT_EQ(f.used, one);
    EXPECT_EQ(f.data.type, 3u);
    EXPECT_EQ(f.data.bytes, d.bytes);
    EXPECT_EQ(f.sender, 0x1122334455667788ull);
    EXPECT_EQ(Frame_Decode(two.data() + one, two.size() - one).data.type, 1u);

    // A wrong first byte is refused at once; an oversized count before its bytes come.
    EXPECT_EQ(Frame_Decode(Text("G").data(), 1).status, FrameRead::Status::Malformed);
    Bytes big = Frame_Encode({3, {}}, 0);
    big[8] = 1, big[10] = 1;  // 65537 bytes: one over the limit
    const FrameRead over = Frame_Decode(big.data(), big.size());
    EXPECT_EQ(over.status, FrameRead::Status::Malformed);
    EXPECT_NE(over.error.find("65537"), std::string::npos);
}

TEST(MagProtocol, TimeStampText) {
    const std::pair<double, const char*> rows[] = {
        {45296.5, "45296.5"},
        {45296.53125, "45296.53"},
        {86399.99, "86399.99"},
        {3600, "3600"},
        {0, "0"},
        {0.25, "0.25"},
        {0.00005, "0.00005"},
        {12.3456789, "12.34568"},
    };
    // Whatever the locale, the decimal point stays ".".
    const std::string before = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    for (const auto& [seconds, text] : rows) EXPECT_EQ(TimeStamp_Text(seconds), text) << seconds;
    std::setlocale(LC_ALL, before.c_str());

    EXPECT_TRUE(Text_Payload("").bytes.empty());
    const CopyData longest = Text_Payload(std::string(400, 'y'));  // cut to fit the buffer
    EXPECT_EQ(longest.bytes.size(), kTextBuffer);
    EXPECT_EQ(longest.bytes.back(), 0);
}

// Random and mutated frames, payloads and step texts: every reader returns
// within its bounds.
TEST(MagProtocol, RandomInputs) {
    std::mt19937 rng(20261207);
    const Bytes seeds[] = {Frame_Encode({3, Text(std::string("AAR-100-20-300-U18\0", 19))}, 1),
                           Frame_Encode({2, Bag_Encode({{"NumEls", "0"}, {"0", "Item #0"}})}, 2),
                           Frame_Encode({1, Doubles({0, 1, 2})}, 3)};
    const int kRuns = 100000;
    int complete = 0;
    for (int i = 0; i < kRuns; ++i) {
        Bytes b;
        if (i % 2) {
            b = seeds[i % 3];
            for (int m = int(rng() % 4); m >= 0; --m) b[rng() % b.size()] = std::uint8_t(rng());
            if (rng() % 4 == 0) b.resize(rng() % (b.size() + 1));
        } else {
            b.resize(rng() % 300);
            for (auto& c : b) c = std::uint8_t(rng() % 4 ? "AIRDM-0123456789U"[rng() % 17] : rng());
        }
        const FrameRead f = Frame_Decode(b.data(), b.size());
        ASSERT_LE(f.used, b.size());
        if (f.status == FrameRead::Status::Complete) ++complete;
        for (std::uint32_t type = 1; type <= 3; ++type) {
            const Payload p =
                CopyData_Read({type, f.status == FrameRead::Status::Complete ? f.data.bytes : b});
            ASSERT_LE(p.text.size(), kTextBuffer);
            ASSERT_EQ(p.text.find('\0'), std::string::npos);
            ASSERT_LE(p.items.size(), b.size() + 1);
        }
        const Step s = Step_Read(std::string(b.begin(), b.end()));
        ASSERT_TRUE(s.mode >= 0 && s.mode <= 3 && s.ACMax <= 200 && s.DCField <= 500 &&
                    s.TOVField <= 20 && s.MIndex <= 32767 && s.MMode <= 12);
    }
    EXPECT_GT(complete, kRuns / 20);
    RecordProperty("inputs", kRuns);
}

namespace {

struct MagLinkTest : ::testing::Test {
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    Controls& ui = *ctx.ui;
    test::FakeMagTransport* link = nullptr;

    void SetUp() override {
        auto t = std::make_unique<test::FakeMagTransport>();
        link = t.get();
        ctx.maglink->Transport_Set(std::move(t));
        // The mode switch talks to the simulated instrument.
        ctx.settings.SIMULMODE = true;
    }
    void Load() {
        tp.program->window().Form_Load();
        ctx.settings.SIMULMODE = true;
    }
    auto Boxes() const {
        return std::tuple(ctx.settings.ZAVMODE, ui.txtACMax->text().toStdString(),
                          ui.txtACMin->text().toStdString(), ui.txtDCField->text().toStdString(),
                          ui.txtTOVField->text().toStdString());
    }
    void Fill(const char* text) {
        for (TextBox* b : {ui.txtACMax, ui.txtACMin, ui.txtDCField, ui.txtTOVField})
            b->SetText(text);
    }
    std::vector<test::AskedBox> Asked(const char* title) const {
        std::vector<test::AskedBox> out;
        for (const auto& b : tp.dialogs.boxes)
            if (b.title == title) out.push_back(b);
        return out;
    }
};

}  // namespace

TEST_F(MagLinkTest, ServedFromStartUpToClose) {
    Load();
    EXPECT_EQ(link->served, kReceiveName);
    EXPECT_TRUE(ctx.maglink->Serving() && tp.dialogs.boxes.empty());
    ctx.maglink->Close();
    EXPECT_EQ(link->served, "");
    link->DeliverText("AD-050");  // nothing arrives any more
    EXPECT_EQ(ctx.maglink->txtString(), "");

    // Another program serves the name already: said once, that program keeps it.
    test::TestProgram second;
    auto t = std::make_unique<test::FakeMagTransport>();
    t->serveResult = MagTransport::Served::Taken;
    second.ctx().maglink->Transport_Set(std::move(t));
    second.program->window().Form_Load();
    ASSERT_EQ(second.dialogs.boxes.size(), 1u);
    EXPECT_TRUE(
        second.dialogs.boxes[0].prompt.startsWith("Another ZAVO program is already running"));
    EXPECT_FALSE(second.ctx().maglink->Serving());
}

TEST_F(MagLinkTest, StepsPresetThePanel) {
    using T = std::tuple<int, std::string, std::string, std::string, std::string>;
    Load();
    struct Row {
        const char* text;
        T after;
    };
    // From mode 1 with "7" in every box, each row after the one before. A mode
    // switch first fills the boxes of the new mode from the settings.
    Settings& st = ctx.settings;
    st.REKFD = 1, st.REKFA = 3, st.REKFM = 2, st.TOVFP = 4, st.DMGFD = 5;
    const Row rows[] = {
        {"AD-250", {1, "7", "7", "7", "7"}},         {"AD-050", {1, "50", "7", "7", "7"}},
        {"ARM-80-90-20", {2, "80", "3", "20", "7"}}, {"ARM--80", {2, "80", "0", "0", "7"}},
        {"IRM-21", {3, "80", "0", "0", "4"}},        {"IRM-12", {3, "80", "0", "0", "12"}},
        {"NRM", {3, "80", "0", "0", "12"}},          {"TD-100", {3, "80", "0", "0", "12"}},
        {"AD-9", {1, "9", "0", "0", "12"}},
    };
    Fill("7");
    for (const Row& r : rows) {
        link->DeliverText(r.text);
        EXPECT_EQ(Boxes(), r.after) << r.text;
    }
    // The same text again changes nothing, even over the operator's own input.
    ui.txtACMax->SetText("33");
    link->DeliverText("AD-9");
    EXPECT_EQ(ui.txtACMax->text(), "33");
    EXPECT_EQ(ctx.maglink->txtString(), "AD-9");
}

// A position is taken only where the tumbler can go: with the tumbler in use and an index
// within the set; otherwise the one in force stays, label and all, and the status line and the
// log say why. The input flags stay as they were: a locked panel stays locked.
TEST_F(MagLinkTest, PositionStep) {
    struct Row {
        bool tumbler;
        const char* text;
        int mmode, mindex;
        const char* label;
        const char* status;
    };
    const Row rows[] = {
        {true, "AIR-5-A3", 8, 3, "A3", "STEP FROM THE MAGNETOMETER PROGRAM: AIR-5-A3"},
        {true, "AIR-5-X5", 9, 5, "X5", "STEP FROM THE MAGNETOMETER PROGRAM: AIR-5-X5"},  // set kept
        {true, "AIR-5-A13", 9, 2, "B2",
         "STEP AIR-5-A13: POSITION A13 REFUSED, THE POSITIONS ARE 1 TO 12"},
        {true, "AIR-5-U25", 9, 2, "B2",
         "STEP AIR-5-U25: POSITION U25 REFUSED, THE POSITIONS ARE 1 TO 18"},
        {true, "AIR-5-A0", 9, 2, "B2",
         "STEP AIR-5-A0: POSITION A0 REFUSED, THE POSITIONS ARE 1 TO 12"},
        {false, "AIR-5-A3", 9, 2, "B2", "STEP AIR-5-A3: POSITION A3 REFUSED, NO TUMBLER IN USE"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        test::TestProgram t;
        Ctx& c = t.ctx();
        auto fake = std::make_unique<test::FakeMagTransport>();
        test::FakeMagTransport& mag = *fake;
        c.maglink->Transport_Set(std::move(fake));
        t.program->window().Form_Load();
        c.settings.SIMULMODE = true;
        c.settings.ZAVMODE = 3;
        c.pos.TumblerUsed = r.tumbler;
        c.pos.MMode = 9, c.pos.MIndexMax = 6, c.pos.MIndex = 2, c.pos.MPos = MagPos(9, 2);
        c.ui->lblMMode->setText("B2");
        SetTag(c.ui->optMMode[8], "0");
        c.log->Open(t.Dir() / "mon" / "today.mon");
        mag.DeliverText(r.text);
        EXPECT_EQ(c.ui->txtTOVField->text(), "5");  // the field is the step's either way
        EXPECT_EQ(std::tuple(c.pos.MMode, c.pos.MIndex, c.pos.MPos,
                             c.ui->lblMMode->text().toStdString()),
                  std::tuple(Int16(r.mmode), Int16(r.mindex), MagPos(r.mmode, r.mindex),
                             std::string(r.label)));
        const bool taken = std::strncmp(r.status, "STEP FROM", 9) == 0;
        EXPECT_EQ(c.ui->optMMode[size_t(r.mmode)]->isChecked(), taken);
        EXPECT_EQ(Tag(c.ui->optMMode[8]), "0");
        EXPECT_EQ(c.ui->picStat[1]->Text().trimmed().toStdString(), r.status);
        EXPECT_NE(test::ReadBytes(t.Dir() / "mon" / "today.mon").find(r.status), std::string::npos);
    }
}

// A step whose mode the instrument cannot take (the YUL1 unit missing: the switch falls back
// to DEMAGNETIZER) writes nothing into the boxes the modes share, so the next START cannot
// demagnetize at the anhysteretic field; the operator and the log are told.
TEST_F(MagLinkTest, StepRefusedWhenItsModeIsNotTaken) {
    Load();
    ctx.settings.SIMULMODE = false;
    ASSERT_TRUE(tp.port.Open(1));
    test::FakeUnit unit{tp.port, tp.clock};
    unit.yul = 2;
    ctx.log->Open(tp.Dir() / "mon" / "today.mon");
    ctx.settings.ZAVMODE = 1;
    ctx.settings.DMGFD = 5;
    Fill("7");
    link->DeliverText("ARM-80-0-50");
    // The switch's own panel update shows the demagnetizer's peak, not the step's 80.
    EXPECT_EQ(std::tuple(ctx.settings.ZAVMODE, ui.txtACMax->text().toStdString()),
              std::tuple(1, std::string("5")));
    const std::string said =
        "STEP ARM-80-0-50 NOT APPLIED: THE INSTRUMENT IS NOT IN ANHYSTERETIC MAGNETIZER MODE";
    EXPECT_EQ(ui.picStat[1]->Text().trimmed().toStdString(), said);
    EXPECT_NE(test::ReadBytes(tp.Dir() / "mon" / "today.mon").find(said), std::string::npos);
    ASSERT_EQ(Asked("Critical error").size(), 1u);  // the unit's absence, told by the switch
}

TEST_F(MagLinkTest, StepsWaitForARunningOperation) {
    Load();
    Fill("7");
    ctx.settings.ZAVMODE = 1;
    {
        Activity::Scope running(*ctx.activity);
        tp.clock.After(0.1, [&] { link->DeliverText("AD-050"); });
        tp.clock.After(0.2, [&] { link->DeliverText("ARM-60-10-20"); });
        tp.clock.After(0.3, [&] { link->Deliver(kTypeDoubles, Doubles({0, 7})); });
        Wait_Seconds(tp.clock, 0.5);
        EXPECT_EQ(Boxes(), std::tuple(1, "7", "7", "7", "7"));
        EXPECT_TRUE(tp.dialogs.boxes.empty());
        EXPECT_EQ(ctx.maglink->txtString(), "ARM-60-10-20");
    }
    QCoreApplication::processEvents();
    // Only the latest step, and the mismatch once the operation has ended.
    EXPECT_EQ(Boxes(), std::tuple(2, "60", "10", "20", "7"));
    const auto errors = Asked("Error Receiving Data");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].prompt, "Data transferred incorrectly");
    EXPECT_EQ(ctx.maglink->lstArray(), (std::vector<std::string>{"0", "7"}));
}

TEST_F(MagLinkTest, ArrayChecks) {
    Load();
    link->Deliver(kTypeDoubles, Doubles({0, 1, 2, 3}));
    link->Deliver(kTypePropertyBag, Bag_Encode({{"NumEls", "0"}, {"0", "Item #0"}}));
    link->Deliver(99, Text("AD-050"));
    EXPECT_TRUE(tp.dialogs.boxes.empty());
    EXPECT_EQ(ctx.maglink->lstArray(), std::vector<std::string>{"Item #0"});
    EXPECT_EQ(ctx.maglink->txtString(), "");
    link->Deliver(kTypePropertyBag, Bag_Encode({{"NumEls", "0"}, {"0", "Item 0"}}));
    EXPECT_EQ(Asked("Error Receiving Data").size(), 1u);
}

TEST_F(MagLinkTest, TimeStampsSent) {
    Load();
    const double before = tp.clock.Absolute();
    ctx.maglink->LinkString_Send("45296.5");  // nobody listens: no delay, no message
    EXPECT_EQ(tp.clock.Absolute(), before);
    EXPECT_TRUE(tp.dialogs.boxes.empty());

    link->listening = true;
    ctx.maglink->LinkString_Send("");
    ctx.maglink->LinkString_Send(TimeStamp_Text(45296.5));
    ASSERT_EQ(link->sent.size(), 1u);
    const auto& m = link->sent[0];
    EXPECT_EQ(m.name, kSendName);
    EXPECT_EQ(m.data.type, kTypeText);
    EXPECT_EQ(m.data.bytes, Text(std::string("45296.5\0", 8)));
    EXPECT_EQ(m.sender, std::uint64_t(tp.program->window().winId()));
    EXPECT_LE(m.timeoutMs, 1000);
}
