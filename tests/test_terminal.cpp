// The daily communication log, the service terminal, the port's events and TestTimes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTime>

#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "link/StatusLine.h"
#include "link/Terminal.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;
using std::tuple;

TEST(TermAppend, BackspacesLineEndsAndTrimming) {
    QPlainTextEdit box;
    Term_Append(&box, "AB\bC");
    Term_Append(&box, "\bX");  // overwrites the last character already there
    Term_Append(&box, "1\r\n2\n3\r");
    EXPECT_EQ(box.toPlainText(), "AX1\n23\n");
    Term_Append(&box, "\b\b");
    EXPECT_EQ(box.toPlainText(), "AX1\n23");
    Term_Append(&box, "\xb0");  // Latin-1, not UTF-8
    EXPECT_EQ(box.toPlainText(), QString::fromLatin1("AX1\n23\xb0"));
    QPlainTextEdit full;
    full.setPlainText(QString(16000, 'a'));
    Term_Append(&full, "b");  // 16000 is still within the limit
    EXPECT_EQ(full.toPlainText().size(), 16001);
    Term_Append(&full, "c");
    EXPECT_TRUE(full.toPlainText() == QString(16000 - 4096, 'a') + "bc" &&
                full.textCursor().position() == full.toPlainText().size());
}

TEST(Service, EchoTypedKeysTestTimesAndPortEvents) {
    TestProgram tp;
    Ctx& ctx = tp.ctx();
    ctx.settings.SERVMODE = true;
    ASSERT_TRUE(tp.port.Open(1));
    auto term = [&] { return ctx.ui->txtTerm->toPlainText(); };
    auto type = [&](const QString& text, int key = 0) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(ctx.ui->txtTerm, &press);
    };
    tp.port.Answers({{"SD1", "SD1\r\n"},
                     {"\x10", "5\2566\257\r\n"},
                     {"G", ".."},
                     {"\x1b", "Actual RAM\r\n** STOP \r\n"}});
    ctx.cmd->Command_Execute("SD1", false, false);
    ctx.cmd->Command_Execute("\x10", false, false);  // in-band characters are not shown
    ctx.ui->cmdTestTimes->click();  // writes a report and ESC, then reads two lines
    EXPECT_EQ(term(),
              "-> SD1\n<- SD1\n\n-> Crtl P\n<- 56\n\n-> IP\n-> ESC\nActual RAM\n** STOP \n");
    ctx.settings.SERVMODE = false;  // no echo, and typed keys go nowhere
    ctx.cmd->Command_Execute("SD1", false, false);
    type("x");
    ctx.settings.SERVMODE = true;
    type("I");
    type("P");
    EXPECT_TRUE(term().endsWith("** STOP \nxIP"));  // the box keeps the keys
    type(QString(QChar(0xff)));
    type(QString(QChar(0x100)));  // a byte only for Latin-1 keys: no NUL beginning a command
    type("", Qt::Key_Return);
    tp.port.Close();
    type("y");
    ASSERT_TRUE(tp.port.Open(1));
    tp.clock.After(1, [&] { type("z"); });  // not during an exchange either
    tp.clock.After(2, [&] { tp.port.Deliver("\r\n"); });
    ctx.cmd->Command_Execute("G", false, false);
    EXPECT_EQ(tp.port.writes,
              (std::vector<std::string>{"SD1", "\x10", "IP", "\x1b", "SD1", "I", "P", "\xff", "\r", "G"}));

}

// The port's events are told in the status line; its errors also ask: OK ignores, Cancel
// closes the port. Send and receive events are never raised: nothing to tell.
TEST(Service, PortEvents) {
    TestProgram tp;
    ASSERT_TRUE(tp.port.Open(1));
    const tuple<int, int, const char*, size_t, bool> rows[] = {  // answer, text, boxes, open
        {4, kCancel, "Status: Change in DSR Detected", 0, true},
        {7, kCancel, "Status: End of File Detected", 0, true},
        {1001, kOK, "Status: Break Received", 1, true},
        {1011, kOK, "Status: Error retrieving DCB", 1, true},
        {1, kCancel, "Status: Error retrieving DCB", 0, true},
        {4711, kCancel, "Status: Unknown error or event", 1, false}};
    for (const auto& [event, answer, text, boxes, open] : rows) {
        tp.dialogs.boxes.clear();
        tp.dialogs.boxAnswers = {answer};
        tp.port.RaiseEvent(event);
        EXPECT_EQ(tuple(tp.ctx().ui->picStat[1]->Text(), tp.dialogs.boxes.size(), tp.port.IsOpen()),
                  tuple(text, boxes, open)) << event;
    }
    const AskedBox& b = tp.dialogs.boxes.at(0);
    EXPECT_EQ(tuple(b.prompt, b.title), tuple("Unknown error or event", "Click Cancel to quit, OK to ignore."));
}

// One record per whole reply, in-band codes left out; nothing while the log is closed.
TEST(CommLog, OneRecordPerReplyAppendedOnlyWhileOpen) {
    TestProgram tp;
    Ctx& ctx = tp.ctx();
    EXPECT_FALSE(ctx.log->Open(tp.Dir() / "no" / "such" / "dir.mon") || ctx.log->IsOpen());
    const auto file = tp.Dir() / "mon" / "06-12-2026.mon";
    ASSERT_TRUE(ctx.log->Open(file));
    ASSERT_TRUE(tp.port.Open(1));
    tp.port.responder = [](const std::string& cmd) {
        return cmd == "SD1" ? std::string("SD1\r\n") : "1\2562\257 ok\370\r\n";
    };
    auto now = [&] {
        const QTime t = QTime::fromMSecsSinceStartOfDay(int(tp.clock.Now()) * 1000);
        return QLocale::system().toString(t, QLocale::ShortFormat).toStdString();
    };
    ctx.cmd->Command_Execute("SD1", true, false);
    const std::string t1 = now();
    ctx.cmd->Command_Execute("G", true, false);
    const std::string t2 = now();
    ctx.log->Close();
    ctx.log->Record("lost");
    EXPECT_EQ(ReadBytes(file), t1 + " SD1\r\n\r\n" + t2 + " 12 ok\r\n\r\n");  // reply's CR LF, record's
}
