// The magnetometer link: its messages, a step's effect on the panel, the local-socket transport.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <cstring>
#include <sstream>
#include <thread>

#include "core/Activity.h"
#include "core/Waits.h"
#include "link/CommLog.h"
#include "link/StatusLine.h"
#include "maglink/MagLink.h"
#include "maglink/MagTransport.h"
#include "operations/Tumbler.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "support/FakeMagTransport.h"
#include "support/Rig.h"

using namespace zavo;
using namespace zavo::test;
using std::tuple;
using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;
using Sent = MagTransport::Sent;
using Served = MagTransport::Served;

static Bytes Doubles(std::initializer_list<double> values) {
    Bytes b(values.size() * 8);
    std::memcpy(b.data(), std::data(values), b.size());
    return b;
}
static Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Mode, AC max, AC min, DC field, pulse field ("-": none), [position] set, count, index.
std::string Read(const std::string& text) {
    const Step s = Step_Read(text);
    std::ostringstream o;
    o << s.mode;
    for (auto [has, v] : {std::pair{s.hasACMax, s.ACMax},
                          {s.hasACMin, s.ACMin},
                          {s.hasDCField, s.DCField},
                          {s.hasTOVField, s.TOVField}})
        o << ' ' << (has ? std::to_string(v) : "-");
    if (s.hasPosition)
        o << " [" << s.positionText << "] " << s.MMode << ' ' << s.MIndexMax << ' '
          << (s.hasMIndex ? std::to_string(s.MIndex) : "-");
    return o.str();
}

TEST(MagProtocol, StepGrammar) {
    // clang-format off
    const std::pair<const char*, const char*> rows[] = {
        {"AD-250", "1 - - - -"}, {"AD-050", "1 50 - - -"}, {"AD-200", "1 200 - - -"},
        {"AD-", "1 0 - - -"},                      // a missing element reads as 0
        {"AD-12.5", "1 125 - - -"},                // only the digits count
        {"AD-99999999999", "1 - - - -"}, {" AD-50", "0 - - - -"}, {"AD-050  ", "1 50 - - -"},
        {"ARM-80-90-20", "2 80 - 20 -"},           // an AC min above the AC max sent
        {"ARM--80", "2 80 0 0 -"},                 // a run of delimiters is one
        {"ARM-250-220-501", "2 - 220 - -"},        // against the max sent, even one refused
        {"ARM-200-200-500", "2 200 200 500 -"},
        {"AAR-100-20-300-U18", "2 100 20 300 - [U18] 7 18 18"},
        {"AAR-100-20-300", "2 100 20 300 - [] 0 0 0"},
        {"IRM-20", "3 - - - 20"}, {"IRM-21", "3 - - - -"},
        {"AIR-5-A3", "3 - - - 5 [A3] 8 12 3"}, {"AIR-5-D2", "3 - - - 5 [D2] 12 3 2"},
        {"AIR-5-X7", "3 - - - 5 [X7] 0 0 7"},             // an unknown set keeps the mode
        {"AIR-5-B123456", "3 - - - 5 [B123456] 9 6 -"},   // an index beyond 16 bits
        {"NRM-1", "0 - - - -"}, {"TD-300", "0 - - - -"}, {"ad-50", "0 - - - -"},
        {"-AD--5", "0 - - - -"},                   // the first character opens the first element
        {"AD", "0 - - - -"}, {"A", "0 - - - -"}};
    // clang-format on
    for (auto [text, read] : rows) EXPECT_EQ(Read(text), read) << text;
}

TEST(MagProtocol, Payloads) {
    const Bytes good =
        Bag_Encode({{"NumEls", "2"}, {"0", "Item #0"}, {"1", "Item #1"}, {"2", "Item #2"}});
    Bytes truncated = good, trailing = good;
    truncated.pop_back(), trailing.push_back(0);
    const auto bag = [](const std::vector<std::pair<std::string, std::string>>& p) {
        return CopyData{kTypePropertyBag, Bag_Encode(p)};
    };
    // The items as read, "!" when the check pattern failed.
    const std::pair<CopyData, const char*> lists[] = {
        {{1, Doubles({0, 1, 2})}, "0|1|2"},
        {{1, Doubles({0, 1.5, 2})}, "0|1.5|2 !"},
        {{1, Bytes(11, 0)}, "0"},  // stray bytes after a double
        {{1, Text("abc")}, ""},    // no whole double
        {{2, good}, "Item #0|Item #1|Item #2"},
        {bag({{"NumEls", "1"}, {"0", "Item #0"}, {"1", "Item #9"}}), "Item #0|Item #9 !"},
        {bag({{"NumEls", "1"}, {"1", "Item #1"}}), "|Item #1 !"},
        {bag({{"NumEls", "1000000000"}, {"0", "Item #0"}}), "Item #0|| !"},
        {bag({{"NumEls", "-1"}}), ""},
        {bag({{"0", "Item #0"}}), "Item #0"},  // no count: string 0 alone
        {bag({{"NumEls", "two"}}), " !"},
        {{2, truncated}, " !"},
        {{2, trailing}, " !"},
        {{2, Text("hello")}, " !"}};
    for (const auto& [data, items] : lists) {
        const Payload p = CopyData_Read(data);
        std::string read;
        for (const std::string& item : p.items) read += (&item == p.items.data() ? "" : "|") + item;
        EXPECT_EQ(read + (p.mismatch ? " !" : ""), items);
        EXPECT_EQ(p.kind, Payload::Kind::List);
    }
    const std::pair<Bytes, std::string> texts[] = {
        {Text(std::string("AD-050\0junk", 11)), "AD-050"},  // up to the zero byte
        {Text("AD-050"), "AD-050"},                         // no zero byte at all
        {Bytes(300, 'x'), std::string(255, 'x')},           // cut at the buffer's size
        {{}, ""}};
    for (const auto& [bytes, text] : texts)
        EXPECT_EQ(tuple(CopyData_Read({kTypeText, bytes}).kind, CopyData_Read({3, bytes}).text),
                  tuple(Payload::Kind::Text, text));
    for (std::uint32_t type : {0u, 4u, 0xFFFFFFFFu})
        EXPECT_EQ(CopyData_Read({type, Text("AD-050")}).kind, Payload::Kind::Ignored) << type;
}

// A frame is complete only with all its bytes; the largest payload is taken, one byte more is not.
TEST(MagProtocol, Frames) {
    using S = FrameRead::Status;
    const Bytes full = Frame_Encode({kTypeText, Bytes(kMaxPayload, 'x')}, 7);
    const Bytes tooBig = Frame_Encode({kTypeText, Bytes(kMaxPayload + 1, 'x')}, 7);
    EXPECT_EQ(Frame_Decode(full.data(), full.size() - 1).status, S::Incomplete);
    const FrameRead f = Frame_Decode(full.data(), full.size());
    EXPECT_EQ(tuple(f.status, f.used, f.sender, f.data.bytes.size()),
              tuple(S::Complete, full.size(), std::uint64_t(7), kMaxPayload));
    EXPECT_EQ(Frame_Decode(tooBig.data(), kFrameHeader).status, S::Malformed);
}

// Seconds since midnight in seven significant digits, "." whatever the locale.
TEST(MagProtocol, TimeStampText) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    // clang-format off
    for (auto [seconds, text] : {std::pair{45296.5, "45296.5"}, {45296.53125, "45296.53"},
             {86399.99, "86399.99"}, {3600.0, "3600"}, {0.0, "0"}, {0.25, "0.25"},
             {0.00005, "0.00005"}, {12.3456789, "12.34568"}})
        EXPECT_EQ(TimeStamp_Text(seconds), text) << seconds;
    // clang-format on
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_TRUE(Text_Payload("").bytes.empty());
    const CopyData longest = Text_Payload(std::string(400, 'y'));  // cut to fit the buffer
    EXPECT_EQ(tuple(longest.bytes.size(), int(longest.bytes.back())), tuple(kTextBuffer, 0));
}

namespace {

struct MagLinkTest : ::testing::Test, Bench {
    Settings& s = ctx.settings;
    MainWindow& window = *ctx.window;
    FakeMagTransport& link = Fake();

    FakeMagTransport& Fake() {
        auto t = std::make_unique<FakeMagTransport>();
        FakeMagTransport& fake = *t;
        return ctx.maglink->Transport_Set(std::move(t)), fake;
    }
    // Started, the mode switch talking to the simulated instrument; "7" in every box.
    void SetUp() override {
        window.Form_Load(), s.SIMULMODE = true;
        for (TextBox* b : {ui.txtACMax, ui.txtACMin, ui.txtDCField, ui.txtTOVField})
            b->SetText("7");
    }
    std::string Boxes() const {
        std::string out = std::to_string(s.ZAVMODE);
        for (TextBox* b : {ui.txtACMax, ui.txtACMin, ui.txtDCField, ui.txtTOVField})
            out += " " + b->text().toStdString();
        return out;
    }
    // The status line's text, and whether the daily log has it too.
    std::string Said() const {
        const std::string text = ui.picStat[1]->Text().trimmed().toStdString();
        const std::string log = ReadBytes(tp.Dir() / "mon" / "06-12-2026.mon");
        return text + (log.find(text) != std::string::npos ? " | logged" : " | not logged");
    }
};

// Each row after the one before; a mode switch first fills the new mode's boxes from the record.
TEST_F(MagLinkTest, StepsPresetThePanel) {
    s.REKFD = 1, s.REKFA = 3, s.REKFM = 2, s.TOVFP = 4, s.DMGFD = 5;
    // clang-format off
    for (auto [text, after] : {std::pair{"AD-250", "1 7 7 7 7"}, {"AD-050", "1 50 7 7 7"},
             {"ARM-80-90-20", "2 80 3 20 7"}, {"ARM--80", "2 80 0 0 7"}, {"IRM-21", "3 80 0 0 4"},
             {"IRM-12", "3 80 0 0 12"}, {"NRM", "3 80 0 0 12"}, {"TD-100", "3 80 0 0 12"},
             {"AD-9", "1 9 0 0 12"}}) {
        // clang-format on
        link.DeliverText(text);
        EXPECT_EQ(Boxes(), after) << text;
    }
    // The same text again changes nothing, even over the operator's own input.
    ui.txtACMax->SetText("33"), link.DeliverText("AD-9");
    EXPECT_EQ(ui.txtACMax->text(), "33");
}

// A position is taken only where the tumbler can go, else B2 stays and the status line says why.
TEST_F(MagLinkTest, PositionStep) {
    // clang-format off
    const std::tuple<bool, const char*, const char*, const char*> rows[] = {
        {true, "AIR-5-A3", "8 3 A3", "STEP FROM THE MAGNETOMETER PROGRAM: AIR-5-A3"},
        {true, "AIR-5-X5", "9 5 X5", "STEP FROM THE MAGNETOMETER PROGRAM: AIR-5-X5"},  // set kept
        {true, "AIR-5-A13", "9 2 B2", "STEP AIR-5-A13: POSITION A13 REFUSED, THE POSITIONS ARE 1 TO 12"},
        {true, "AIR-5-A0", "9 2 B2", "STEP AIR-5-A0: POSITION A0 REFUSED, THE POSITIONS ARE 1 TO 12"},
        {false, "AIR-5-A3", "9 2 B2", "STEP AIR-5-A3: POSITION A3 REFUSED, NO TUMBLER IN USE"}};
    // clang-format on
    for (auto [tumbler, text, position, said] : rows) {
        s.ZAVMODE = 3;
        ctx.pos = {.MMode = 9, .MIndex = 2, .MIndexMax = 6, .MPos = 7 + 2, .TumblerUsed = tumbler};
        for (OptionButton* o : ui.optMMode) SetTag(o, "0");  // locked: the click handlers stay out
        ui.optMMode[9]->setChecked(true), ui.lblMMode->setText("B2"), ui.txtTOVField->SetText("1");
        link.DeliverText(text);
        const PositionState& p = ctx.pos;
        EXPECT_EQ(std::to_string(p.MMode) + " " + std::to_string(p.MIndex) + " " +
                      ui.lblMMode->text().toStdString(),
                  position)
            << text;
        EXPECT_TRUE(p.MPos == MagPos(p.MMode, p.MIndex) && ui.optMMode[p.MMode]->isChecked() &&
                    std::ranges::all_of(ui.optMMode, [](auto* o) { return Tag(o) == "0"; }));
        EXPECT_EQ(ui.txtTOVField->text(), "5");  // the field is the step's either way
        EXPECT_EQ(Said(), std::string(said) + " | logged");
        link.DeliverText("NRM");  // asks for nothing; the next row's text is a new one
    }
}

// During an operation a step waits, the latest wins; a failed array check is told after it.
TEST_F(MagLinkTest, StepsWaitForARunningOperation) {
    {
        Activity::Scope running(*ctx.activity);
        tp.clock.After(0.1, [&] { link.DeliverText("AD-050"); });
        tp.clock.After(0.2, [&] { link.DeliverText("ARM-60-10-20"); });
        tp.clock.After(0.3, [&] { link.Deliver(kTypeDoubles, Doubles({0, 7})); });
        Wait_Seconds(tp.clock, 0.5);
        EXPECT_TRUE(Boxes() == "1 7 7 7 7" && tp.dialogs.boxes.empty());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(Boxes(), "2 60 10 20 7");
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    EXPECT_EQ(tp.dialogs.boxes[0].title + ": " + tp.dialogs.boxes[0].prompt,
              "Error Receiving Data: Data transferred incorrectly");
    EXPECT_EQ(ctx.maglink->lstArray(), (Strings{"0", "7"}));
    link.Deliver(kTypeDoubles, Doubles({0, 1, 2, 3}));
    link.Deliver(kTypePropertyBag, Bag_Encode({{"NumEls", "0"}, {"0", "Item #0"}}));
    link.Deliver(99, Text("AD-9"));
    EXPECT_EQ(tuple(tp.dialogs.boxes.size(), ctx.maglink->lstArray(), Boxes()),
              tuple(1u, Strings{"Item #0"}, "2 60 10 20 7"));
}

TEST_F(MagLinkTest, TimeStampsSent) {
    const double before = tp.clock.Absolute();
    ctx.maglink->LinkString_Send("45296.5");  // nobody listens: no delay, no message
    EXPECT_TRUE(tp.clock.Absolute() == before && tp.dialogs.boxes.empty());
    link.listening = true, ctx.maglink->LinkString_Send("");
    ctx.maglink->LinkString_Send("45296.5");
    ASSERT_EQ(link.sent.size(), 1u);
    const auto& m = link.sent[0];
    EXPECT_EQ(tuple(m.name, m.data.type, m.data.bytes, m.sender, m.timeoutMs <= 1000),
              tuple(std::string(kSendName), kTypeText, Text(std::string("45296.5\0", 8)),
                    std::uint64_t(window.winId()), true));
}

// Runs the event loop until done, for at most ms.
bool Pump(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit), loop.exec();
    }
    return done();
}

std::string Replies(std::initializer_list<std::pair<int, Delivery>> runs) {
    std::string out;
    for (auto [n, d] : runs)
        for (const auto r = Reply_Encode(d); n-- > 0;) out.append(r.begin(), r.end());
    return out;
}

struct LocalLinkTest : ::testing::Test {
    QTemporaryDir tmp;
    const std::string folder = tmp.path().toStdString() + "/zavo";
    const std::string path = folder + "/" + kReceiveName;
    std::unique_ptr<MagTransport> server = Local();
    std::vector<CopyData> got;
    std::string detail, why;

    std::unique_ptr<MagTransport> Local(unsigned user = geteuid()) const {
        return MagTransport_Local(folder, user);
    }
    Served Serve(MagTransport& t) {
        return t.Serve(
            kReceiveName, [this](const CopyData& d) { got.push_back(d); }, detail);
    }
    // The payloads handled so far, after waiting a moment for n of them.
    size_t Got(size_t n) {
        Pump([&] { return got.size() >= n; }, 1000);
        return got.size();
    }
    // A blocking send, as another program makes it, while this one serves.
    Sent Send(const std::string& text, int timeoutMs = 1000, MagTransport* from = nullptr) {
        std::atomic<bool> done{false};
        Sent result = Sent::Failed;
        std::unique_ptr<MagTransport> own = from ? nullptr : Local();
        MagTransport& t = from ? *from : *own;
        std::thread sender(
            [&] { result = t.Send(kReceiveName, Text_Payload(text), 42, timeoutMs), done = true; });
        Pump([&] { return done.load(); }, timeoutMs + 3000);
        sender.join(), why = t.Why();
        return result;
    }
    // Raw bytes from a client: the replies until the server closed.
    std::string Raw(const Bytes& bytes) {
        QLocalSocket c;
        c.connectToServer(QString::fromStdString(path));
        EXPECT_TRUE(c.waitForConnected(1000));
        c.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        QByteArray reply;
        Pump([&] { return reply += c.readAll(), c.state() == QLocalSocket::UnconnectedState; });
        return reply.toStdString();
    }
    // A socket at the endpoint's path, bound (and listening when asked) but accepting nobody.
    int Bound(bool listening = false) const {
        mkdir(folder.c_str(), 0700), unlink(path.c_str());
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{.sun_family = AF_UNIX, .sun_path = {}};
        std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
        EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
        if (listening) listen(fd, 4);
        return fd;
    }
};

}  // namespace

TEST_F(LocalLinkTest, DeliversOnlyToItsOwnUser) {
    ASSERT_EQ(Serve(*server), Served::Serving) << detail;
    struct stat folderStat {
    }, socketStat{};
    ASSERT_EQ(stat(folder.c_str(), &folderStat) | stat(path.c_str(), &socketStat), 0);
    EXPECT_EQ(folderStat.st_mode & 07777, 0700u) << "a folder only the user can enter";
    EXPECT_TRUE(S_ISSOCK(socketStat.st_mode) && socketStat.st_uid == geteuid());
    EXPECT_EQ(socketStat.st_mode & 077, 0u) << "group and others may not connect";

    EXPECT_EQ(Send("AD-050"), Sent::Delivered);
    ASSERT_EQ(Got(1), 1u);
    EXPECT_EQ(tuple(got[0].type, got[0].bytes), tuple(kTypeText, Text_Payload("AD-050").bytes));

    server->Stop();
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "the socket file goes with the server";
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(Send("AD-050"), Sent::NoReceiver);
    EXPECT_LT(t.elapsed(), 500) << "nobody listening costs no waiting";

    // The socket of a crashed run (bound, nobody accepting) is replaced.
    close(Bound());
    ASSERT_EQ(Serve(*server), Served::Serving) << detail;
    EXPECT_EQ(Send("IRM-5"), Sent::Delivered);
    EXPECT_EQ(Got(2), 2u);
}

// Junk and oversized frames are refused by reply (floods and cut frames: the soak's part).
TEST_F(LocalLinkTest, MalformedFramesRefused) {
    ASSERT_EQ(Serve(*server), Served::Serving) << detail;
    Bytes oversized = Frame_Encode({kTypeText, {}}, 1);
    Bytes goodThenJunk = Frame_Encode(Text_Payload("AD-050"), 1);
    oversized[11] = 0x7f;  // ~2 GB announced, nothing sent
    goodThenJunk.insert(goodThenJunk.end(), {'G', 'E', 'T'});
    EXPECT_EQ(Raw({'G', 'E', 'T', ' ', '/'}) + Raw(oversized), Replies({{2, Delivery::Rejected}}));
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(Raw(goodThenJunk), Replies({{1, Delivery::Handled}, {1, Delivery::Rejected}}));
    EXPECT_EQ(Got(1), 1u);
}

// A receiver that never answers, or hangs up, holds the sender no longer than its time-out.
TEST_F(LocalLinkTest, SendBoundedWhenTheReceiverHangsOrHangsUp) {
    int mute = Bound(true);  // listens, never accepts
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(Send("45296.5", 300), Sent::Failed);
    EXPECT_TRUE(t.elapsed() >= 250 && t.elapsed() < 2000) << t.elapsed();
    EXPECT_EQ(why, "no answer from the receiver within 300 ms");
    close(mute), mute = Bound(true);
    std::thread hangUp([mute] {  // takes the whole frame, then hangs up
        char frame[kFrameHeader + 8];
        const int c = accept(mute, nullptr, nullptr);
        recv(c, frame, sizeof frame, MSG_WAITALL), close(c);
    });
    EXPECT_EQ(Send("45296.5", 300), Sent::Failed);
    hangUp.join(), close(mute);
    EXPECT_EQ(why, "the receiver closed the connection without an answer");
}

// Out of descriptors, a waiting sender stays queued and the operator is told; it is served
// once descriptors are free. (Not under the sanitizers: their runtime needs descriptors too.)
#ifndef ZAVO_SANITIZE
TEST_F(LocalLinkTest, ServesOnAfterRunningOutOfDescriptors) {
    std::vector<std::string> trouble;
    server->Trouble_Set([&](const std::string& w) { trouble.push_back(w); });
    ASSERT_EQ(Serve(*server), Served::Serving) << detail;
    QLocalSocket waiting;
    waiting.connectToServer(QString::fromStdString(path));
    ASSERT_TRUE(waiting.waitForConnected(1000));
    std::vector<int> spent;
    for (int fd; (fd = dup(0)) >= 0;) spent.push_back(fd);
    Pump([] { return false; }, 100);
    std::ranges::for_each(spent, close);
    EXPECT_EQ(trouble, std::vector<std::string>{"Too many open files"});
    EXPECT_TRUE(Pump([&] { return trouble.size() == 2; })) << "and told when it serves again";
    const Bytes frame = Frame_Encode(Text_Payload("AD-020"), 1);
    waiting.write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size()));
    EXPECT_EQ(Got(1), 1u);
}
#endif

TEST_F(LocalLinkTest, OtherUsersFoldersSocketsAndPeersNeitherUsedNorYieldedTo) {
    ASSERT_EQ(Serve(*server), Served::Serving) << detail;
    chmod(folder.c_str(), 0750);  // others may enter: anybody could have put the socket there
    EXPECT_EQ(
        tuple(Serve(*Local()), detail),
        tuple(Served::Failed, "the folder " + folder + " is open to other users (mode 0750)"));
    chmod(folder.c_str(), 0700);

    if (geteuid() != 0) GTEST_SKIP() << "handing files to another user needs root";
    const unsigned other = 4242;
    // A socket of another user in the folder: not sent to, not yielded to.
    ASSERT_EQ(lchown(path.c_str(), other, other), 0);
    EXPECT_EQ(Send("AD-010"), Sent::Failed);
    EXPECT_EQ(why, "the socket " + path + " belongs to another user (uid 4242)");
    auto second = Local();
    ASSERT_EQ(Serve(*second), Served::Serving) << detail;
    server->Stop();  // the first one's exit leaves the socket of the one that took over
    EXPECT_EQ(Send("AD-020"), Sent::Delivered) << why;
    EXPECT_EQ(Got(1), 1u);

    // A folder and socket file that look like the other user's, behind which a program of this
    // user listens: its peer credentials give it away, to the sender and to the receiver.
    ASSERT_EQ(chown(folder.c_str(), other, other) | lchown(path.c_str(), other, other), 0);
    auto asOther = Local(other);
    EXPECT_EQ(Send("AD-030", 1000, asOther.get()), Sent::Failed);
    EXPECT_EQ(why, path + " is served by a program of another user (uid 0)");
    second->Stop();
    ASSERT_EQ(Serve(*asOther), Served::Serving) << detail;
    EXPECT_EQ(Raw(Frame_Encode(Text_Payload("AD-040"), 1)), "");
    EXPECT_EQ(Got(2), 1u);
}
