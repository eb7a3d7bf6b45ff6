// The service terminal, the port's event texts and the TestTimes button.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>

#include "link/CommandLink.h"
#include "link/StatusLine.h"
#include "link/Terminal.h"
#include "panel/Controls.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;

TEST(TermAppend, BackspacesLineEndsAndTrimming) {
    QPlainTextEdit box;
    Term_Append(&box, "AB\bC");
    Term_Append(&box, "\bX");  // overwrites the last character already there
    Term_Append(&box, "1\r\n2\n3\r");
    EXPECT_EQ(box.toPlainText(), "AX1\n23\n");
    Term_Append(&box, "\b\b");
    EXPECT_EQ(box.toPlainText(), "AX1\n23");
    QPlainTextEdit empty;
    Term_Append(&empty, "\bQ\xb0");  // Latin-1, not UTF-8
    EXPECT_EQ(empty.toPlainText(), QString::fromLatin1("Q\xb0"));
    QPlainTextEdit full;
    full.setPlainText(QString(16000, 'a'));
    Term_Append(&full, "b");  // 16000 is still within the limit
    EXPECT_EQ(full.toPlainText().size(), 16001);
    Term_Append(&full, "c");
    EXPECT_EQ(full.toPlainText(), QString(16000 - 4096, 'a') + "bc");
    EXPECT_EQ(full.textCursor().position(), full.toPlainText().size());
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
    type("", Qt::Key_Return);
    tp.port.Close();
    type("y");
    ASSERT_TRUE(tp.port.Open(1));
    tp.clock.After(1, [&] { type("z"); });  // not during an exchange either
    tp.clock.After(2, [&] { tp.port.Deliver("\r\n"); });
    ctx.cmd->Command_Execute("G", false, false);
    EXPECT_EQ(tp.port.writes,
              (std::vector<std::string>{"SD1", "\x10", "IP", "\x1b", "SD1", "I", "P", "\r", "G"}));

    tp.port.RaiseEvent(4);
    EXPECT_EQ(ctx.ui->picStat[1]->Text(), "Status: Change in DSR Detected");
    EXPECT_TRUE(tp.dialogs.boxes.empty());
    tp.dialogs.boxAnswers = {kOK, kCancel};
    tp.port.RaiseEvent(1004);
    EXPECT_EQ(ctx.ui->picStat[1]->Text(), "Status: Framing Error");
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    EXPECT_EQ(tp.dialogs.boxes[0].prompt, "Framing Error");
    EXPECT_EQ(tp.dialogs.boxes[0].title, "Click Cancel to quit, OK to ignore.");
    EXPECT_TRUE(tp.port.IsOpen());  // OK ignores
    tp.port.RaiseEvent(4711);
    EXPECT_EQ(ctx.ui->picStat[1]->Text(), "Status: Unknown error or event");
    EXPECT_FALSE(tp.port.IsOpen());  // Cancel closes
}
