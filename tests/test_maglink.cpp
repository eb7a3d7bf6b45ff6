// The magnetometer link: what its messages say (random and damaged bytes are the fuzz target's
// part), and what a step does to the panel.
#include <cstring>

#include "core/Activity.h"
#include "core/Waits.h"
#include "link/CommLog.h"
#include "link/StatusLine.h"
#include "maglink/MagLink.h"
#include "operations/Tumbler.h"
#include "panel_test.h"
#include "support/FakeMagTransport.h"
#include "support/FakeUnit.h"

using namespace zavo;
using namespace zavo::test;
using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

namespace {

Bytes Doubles(std::initializer_list<double> values) {
    Bytes b(values.size() * 8);
    std::memcpy(b.data(), std::data(values), b.size());
    return b;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(MagProtocol, TextSplit) {
    const std::pair<std::string, Strings> rows[] = {
        {"ARM-80-0-50", {"ARM", "80", "0", "50"}},
        {"ARM--80", {"ARM", "80"}},   // a run of delimiters is one
        {"  AD-050  ", {"AD", "050"}},
        {"-AD--5", {"-AD", "5"}},     // the first character opens element 1
        {"A", {}},                    // fewer than two characters: nothing
        {"   ", {}},
    };
    for (const auto& [text, elements] : rows) {
        Strings el = Text_Split(text, '-');
        ASSERT_EQ(el.size(), size_t(kMaxElements + 1)) << text;
        EXPECT_EQ(el[0], "");
        el.erase(std::ranges::find(el.begin() + 1, el.end(), ""), el.end());
        EXPECT_EQ(Strings(el.begin() + 1, el.end()), elements) << text;
    }
    std::string many = "X";
    for (int i = 2; i <= 150; ++i) many += "-" + std::to_string(i);
    EXPECT_EQ(Text_Split(many, '-').back(), "100");  // the rest is dropped
}

// Each row: the text, then what it writes; -1 means "not written".
TEST(MagProtocol, StepGrammar) {
    const struct {
        const char* text;
        int mode, acMax, acMin, dc, tov;
        const char* position;  // nullptr: no position element
        int mmode, mindexMax, mindex;
    } rows[] = {
        {"AD-250", 1, -1, -1, -1, -1, nullptr, 0, 0, 0},
        {"AD-050", 1, 50, -1, -1, -1, nullptr, 0, 0, 0},
        {"AD-", 1, 0, -1, -1, -1, nullptr, 0, 0, 0},        // a missing element reads as 0
        {"AD-12.5", 1, 125, -1, -1, -1, nullptr, 0, 0, 0},  // only the digits count
        {"AD-200", 1, 200, -1, -1, -1, nullptr, 0, 0, 0},
        {"AD-99999999999", 1, -1, -1, -1, -1, nullptr, 0, 0, 0},
        {"ARM-80-90-20", 2, 80, -1, 20, -1, nullptr, 0, 0, 0},
        {"ARM--80", 2, 80, 0, 0, -1, nullptr, 0, 0, 0},
        {"ARM-250-220-501", 2, -1, 220, -1, -1, nullptr, 0, 0, 0},  // AC min against the sent max
        {"ARM-200-200-500", 2, 200, 200, 500, -1, nullptr, 0, 0, 0},
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
    for (const auto& r : rows) {
        const Step s = Step_Read(r.text);
        const auto value = [](bool has, int v) { return has ? v : -1; };
        EXPECT_EQ(std::tuple(s.mode, value(s.hasACMax, s.ACMax), value(s.hasACMin, s.ACMin),
                             value(s.hasDCField, s.DCField), value(s.hasTOVField, s.TOVField),
                             s.hasPosition),
                  std::tuple(r.mode, r.acMax, r.acMin, r.dc, r.tov, r.position != nullptr))
            << r.text;
        if (r.position) {
            EXPECT_EQ(std::tuple(s.positionText, s.MMode, s.MIndexMax, value(s.hasMIndex, s.MIndex)),
                      std::tuple(std::string(r.position), r.mmode, r.mindexMax, r.mindex))
                << r.text;
        }
    }
}

TEST(MagProtocol, Payloads) {
    const Bytes good =
        Bag_Encode({{"NumEls", "2"}, {"0", "Item #0"}, {"1", "Item #1"}, {"2", "Item #2"}});
    Bytes truncated = good, trailing = good;
    truncated.pop_back(), trailing.push_back(0);
    const auto bag = [](const std::vector<std::pair<std::string, std::string>>& p) {
        return CopyData{kTypePropertyBag, Bag_Encode(p)};
    };
    const struct {
        const char* what;
        CopyData data;
        Strings items;
        bool mismatch;
    } lists[] = {
        {"doubles 0..2", {1, Doubles({0, 1, 2})}, {"0", "1", "2"}, false},
        {"a wrong double", {1, Doubles({0, 1.5, 2})}, {"0", "1.5", "2"}, true},
        {"stray bytes after a double", {1, Bytes(11, 0)}, {"0"}, false},
        {"no whole double", {1, Text("abc")}, {}, false},
        {"bag of three", {2, good}, {"Item #0", "Item #1", "Item #2"}, false},
        {"a wrong string", bag({{"NumEls", "1"}, {"0", "Item #0"}, {"1", "Item #9"}}),
         {"Item #0", "Item #9"}, true},
        {"a missing string", bag({{"NumEls", "1"}, {"1", "Item #1"}}), {"", "Item #1"}, true},
        {"a billion strings claimed", bag({{"NumEls", "1000000000"}, {"0", "Item #0"}}),
         {"Item #0", "", ""}, true},
        {"a negative count", bag({{"NumEls", "-1"}}), {}, false},
        {"no NumEls: string 0 alone", bag({{"0", "Item #0"}}), {"Item #0"}, false},
        {"a non-numeric count", bag({{"NumEls", "two"}}), {}, true},
        {"a truncated bag", {2, truncated}, {}, true},
        {"a bag with trailing bytes", {2, trailing}, {}, true},
        {"not a bag", {2, Text("hello")}, {}, true},
    };
    for (const auto& r : lists) {
        const Payload p = CopyData_Read(r.data);
        EXPECT_EQ(std::tuple(p.kind, p.items, p.mismatch),
                  std::tuple(Payload::Kind::List, r.items, r.mismatch))
            << r.what;
    }
    const std::pair<Bytes, std::string> texts[] = {
        {Text(std::string("AD-050\0junk", 11)), "AD-050"},  // up to the zero byte
        {Text("AD-050"), "AD-050"},                         // no zero byte at all
        {Bytes(300, 'x'), std::string(255, 'x')},           // cut at the buffer's size
        {{}, ""},
    };
    for (const auto& [bytes, text] : texts)
        EXPECT_EQ(std::pair(CopyData_Read({kTypeText, bytes}).kind, CopyData_Read({3, bytes}).text),
                  std::pair(Payload::Kind::Text, text));
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
    EXPECT_EQ(std::tuple(f.status, f.used, f.data.type, f.data.bytes, f.sender),
              std::tuple(FrameRead::Status::Complete, one, 3u, d.bytes, 0x1122334455667788ull));
    EXPECT_EQ(Frame_Decode(two.data() + one, two.size() - one).data.type, 1u);

    // A wrong first byte is refused at once; an oversized count before its bytes come.
    EXPECT_EQ(Frame_Decode(Text("G").data(), 1).status, FrameRead::Status::Malformed);
    Bytes big = Frame_Encode({3, {}}, 0);
    big[8] = 1, big[10] = 1;  // 65537 bytes: one over the limit
    const FrameRead over = Frame_Decode(big.data(), big.size());
    EXPECT_EQ(over.status, FrameRead::Status::Malformed);
    EXPECT_NE(over.error.find("65537"), std::string::npos);
}

// Seconds since midnight in seven significant digits, "." whatever the locale.
TEST(MagProtocol, TimeStampText) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    for (const auto& [seconds, text] :
         {std::pair{45296.5, "45296.5"}, {45296.53125, "45296.53"}, {86399.99, "86399.99"},
          {3600.0, "3600"}, {0.0, "0"}, {0.25, "0.25"}, {0.00005, "0.00005"},
          {12.3456789, "12.34568"}})
        EXPECT_EQ(TimeStamp_Text(seconds), text) << seconds;
    std::setlocale(LC_ALL, before.c_str());

    EXPECT_TRUE(Text_Payload("").bytes.empty());
    const CopyData longest = Text_Payload(std::string(400, 'y'));  // cut to fit the buffer
    EXPECT_EQ(std::pair(longest.bytes.size(), int(longest.bytes.back())), std::pair(kTextBuffer, 0));
}

namespace {

struct MagLinkTest : Panel {
    FakeMagTransport& link = Fake(ctx);

    static FakeMagTransport& Fake(Ctx& c) {
        auto t = std::make_unique<FakeMagTransport>();
        FakeMagTransport& fake = *t;
        c.maglink->Transport_Set(std::move(t));
        return fake;
    }
    // Started; the mode switch talks to the simulated instrument.
    void Load() {
        window.Form_Load();
        s.SIMULMODE = true;
    }
    auto Boxes() const {
        return std::tuple(s.ZAVMODE, ui.txtACMax->text().toStdString(),
                          ui.txtACMin->text().toStdString(), ui.txtDCField->text().toStdString(),
                          ui.txtTOVField->text().toStdString());
    }
    void Fill(const char* text) {
        for (TextBox* b : {ui.txtACMax, ui.txtACMin, ui.txtDCField, ui.txtTOVField}) b->SetText(text);
    }
    std::vector<AskedBox> Asked(const char* title) const {
        std::vector<AskedBox> out;
        std::ranges::copy_if(tp.dialogs.boxes, std::back_inserter(out),
                             [&](const AskedBox& b) { return b.title == title; });
        return out;
    }
    std::string Said() const {
        return ui.picStat[1]->Text().trimmed().toStdString() + " | " +
               (test::ReadBytes(tp.Dir() / "mon" / "06-12-2026.mon").find(
                    ui.picStat[1]->Text().trimmed().toStdString()) != std::string::npos
                    ? "logged"
                    : "not logged");
    }
};

}  // namespace

TEST_F(MagLinkTest, ServedFromStartUpToClose) {
    Load();
    EXPECT_TRUE(link.served == kReceiveName && ctx.maglink->Serving() && tp.dialogs.boxes.empty());
    ctx.maglink->Close();
    EXPECT_EQ(link.served, "");
    link.DeliverText("AD-050");  // nothing arrives any more
    EXPECT_EQ(ctx.maglink->txtString(), "");

    // Another program serves the name already: said once, that program keeps it.
    TestProgram second;
    Fake(second.ctx()).serveResult = MagTransport::Served::Taken;
    second.ctx().window->Form_Load();
    ASSERT_EQ(second.dialogs.boxes.size(), 1u);
    EXPECT_TRUE(second.dialogs.boxes[0].prompt.startsWith("Another ZAVO program is already running"));
    EXPECT_FALSE(second.ctx().maglink->Serving());
}

// From mode 1 with "7" in every box, each row after the one before. A mode switch first fills
// the boxes of the new mode from the settings.
TEST_F(MagLinkTest, StepsPresetThePanel) {
    Load();
    s.REKFD = 1, s.REKFA = 3, s.REKFM = 2, s.TOVFP = 4, s.DMGFD = 5;
    Fill("7");
    const std::pair<const char*, std::tuple<int, std::string, std::string, std::string, std::string>>
        rows[] = {
            {"AD-250", {1, "7", "7", "7", "7"}},         {"AD-050", {1, "50", "7", "7", "7"}},
            {"ARM-80-90-20", {2, "80", "3", "20", "7"}}, {"ARM--80", {2, "80", "0", "0", "7"}},
            {"IRM-21", {3, "80", "0", "0", "4"}},        {"IRM-12", {3, "80", "0", "0", "12"}},
            {"NRM", {3, "80", "0", "0", "12"}},          {"TD-100", {3, "80", "0", "0", "12"}},
            {"AD-9", {1, "9", "0", "0", "12"}},
        };
    for (const auto& [text, after] : rows) {
        link.DeliverText(text);
        EXPECT_EQ(Boxes(), after) << text;
    }
    // The same text again changes nothing, even over the operator's own input.
    ui.txtACMax->SetText("33");
    link.DeliverText("AD-9");
    EXPECT_EQ(ui.txtACMax->text(), "33");
}

// A position is taken only where the tumbler can go: with the tumbler in use and an index
// within the set; otherwise the one in force stays, label and all, and the status line and the
// log say why. The input flags stay as they were: a locked panel stays locked.
TEST_F(MagLinkTest, PositionStep) {
    const struct {
        bool tumbler;
        const char* text;
        int mmode, mindex;
        const char* label;
        const char* said;
    } rows[] = {
        {true, "AIR-5-A3", 8, 3, "A3", "STEP FROM THE MAGNETOMETER PROGRAM: AIR-5-A3"},
        {true, "AIR-5-X5", 9, 5, "X5", "STEP FROM THE MAGNETOMETER PROGRAM: AIR-5-X5"},  // set kept
        {true, "AIR-5-A13", 9, 2, "B2", "STEP AIR-5-A13: POSITION A13 REFUSED, THE POSITIONS ARE 1 TO 12"},
        {true, "AIR-5-U25", 9, 2, "B2", "STEP AIR-5-U25: POSITION U25 REFUSED, THE POSITIONS ARE 1 TO 18"},
        {true, "AIR-5-A0", 9, 2, "B2", "STEP AIR-5-A0: POSITION A0 REFUSED, THE POSITIONS ARE 1 TO 12"},
        {false, "AIR-5-A3", 9, 2, "B2", "STEP AIR-5-A3: POSITION A3 REFUSED, NO TUMBLER IN USE"},
    };
    Load();
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        s.ZAVMODE = 3;
        ctx.pos = {.MMode = 9, .MIndex = 2, .MIndexMax = 6, .MPos = MagPos(9, 2), .TumblerUsed = r.tumbler};
        for (OptionButton* o : ui.optMMode) SetTag(o, "0");  // locked: the click handlers stay out
        ui.optMMode[9]->setChecked(true), ui.lblMMode->setText("B2");
        ui.txtTOVField->SetText("1");
        link.DeliverText(r.text);
        EXPECT_EQ(ui.txtTOVField->text(), "5");  // the field is the step's either way
        EXPECT_EQ(std::tuple(ctx.pos.MMode, ctx.pos.MIndex, ctx.pos.MPos, ui.lblMMode->text().toStdString()),
                  std::tuple(Int16(r.mmode), Int16(r.mindex), MagPos(r.mmode, r.mindex), std::string(r.label)));
        EXPECT_TRUE(ui.optMMode[size_t(r.mmode)]->isChecked());
        EXPECT_TRUE(std::ranges::all_of(ui.optMMode, [](OptionButton* o) { return Tag(o) == "0"; }));
        EXPECT_EQ(Said(), std::string(r.said) + " | logged");
        link.DeliverText("NRM");  // asks for nothing; the next row's text is a new one
    }
}

// A step whose mode the instrument cannot take (the YUL1 unit missing: the switch falls back
// to DEMAGNETIZER) writes nothing into the boxes the modes share, so the next START cannot
// demagnetize at the anhysteretic field; the operator and the log are told.
TEST_F(MagLinkTest, StepRefusedWhenItsModeIsNotTaken) {
    Load();
    s.SIMULMODE = false;
    ASSERT_TRUE(tp.port.Open(1));
    FakeUnit unit{tp.port, tp.clock};
    unit.yul = 2;
    s.ZAVMODE = 1, s.DMGFD = 5;
    Fill("7");
    link.DeliverText("ARM-80-0-50");
    EXPECT_EQ(std::tuple(s.ZAVMODE, ui.txtACMax->text()), std::tuple(1, "5"));
    EXPECT_EQ(Said(), "STEP ARM-80-0-50 NOT APPLIED: THE INSTRUMENT IS NOT IN ANHYSTERETIC "
                      "MAGNETIZER MODE | logged");
    EXPECT_EQ(Asked("Critical error").size(), 1u);  // the unit's absence, told by the switch
}

// Inside a running operation a step waits, the latest one wins, and a failed array check is
// told once the operation has ended.
TEST_F(MagLinkTest, StepsWaitForARunningOperation) {
    Load();
    Fill("7");
    {
        Activity::Scope running(*ctx.activity);
        tp.clock.After(0.1, [&] { link.DeliverText("AD-050"); });
        tp.clock.After(0.2, [&] { link.DeliverText("ARM-60-10-20"); });
        tp.clock.After(0.3, [&] { link.Deliver(kTypeDoubles, Doubles({0, 7})); });
        Wait_Seconds(tp.clock, 0.5);
        EXPECT_EQ(Boxes(), std::tuple(1, "7", "7", "7", "7"));
        EXPECT_TRUE(tp.dialogs.boxes.empty());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(Boxes(), std::tuple(2, "60", "10", "20", "7"));
    const auto errors = Asked("Error Receiving Data");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].prompt, "Data transferred incorrectly");
    EXPECT_EQ(ctx.maglink->lstArray(), (Strings{"0", "7"}));
    // Good arrays and unknown types say nothing.
    link.Deliver(kTypeDoubles, Doubles({0, 1, 2, 3}));
    link.Deliver(kTypePropertyBag, Bag_Encode({{"NumEls", "0"}, {"0", "Item #0"}}));
    link.Deliver(99, Text("AD-9"));
    EXPECT_EQ(std::tuple(tp.dialogs.boxes.size(), ctx.maglink->lstArray(), ctx.maglink->txtString()),
              std::tuple(1u, Strings{"Item #0"}, std::string("ARM-60-10-20")));
}

TEST_F(MagLinkTest, TimeStampsSent) {
    Load();
    const double before = tp.clock.Absolute();
    ctx.maglink->LinkString_Send("45296.5");  // nobody listens: no delay, no message
    EXPECT_TRUE(tp.clock.Absolute() == before && tp.dialogs.boxes.empty());

    link.listening = true;
    ctx.maglink->LinkString_Send("");
    ctx.maglink->LinkString_Send("45296.5");
    ASSERT_EQ(link.sent.size(), 1u);
    const auto& m = link.sent[0];
    EXPECT_EQ(std::tuple(m.name, m.data.type, m.data.bytes, m.sender),
              std::tuple(std::string(kSendName), kTypeText, Text(std::string("45296.5\0", 8)),
                         std::uint64_t(window.winId())));
    EXPECT_LE(m.timeoutMs, 1000);
}
