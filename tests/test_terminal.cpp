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
    EXPECT_EQ(box.toPlainText(), "AC");
    Term_Append(&box, "\bX");  // overwrites the last character already there
    EXPECT_EQ(box.toPlainText(), "AX");
    Term_Append(&box, "1\r\n2\n3\r");
    EXPECT_EQ(box.toPlainText(), "AX1\n23\n");
    Term_Append(&box, "\b\b");
    EXPECT_EQ(box.toPlainText(), "AX1\n23");
    QPlainTextEdit empty;
    Term_Append(&empty, "\bQ");
    EXPECT_EQ(empty.toPlainText(), "Q");
    Term_Append(&empty, std::string("\xb0", 1));  // Latin-1, not UTF-8
    EXPECT_EQ(empty.toPlainText(), QString::fromLatin1("Q\xb0"));

    QPlainTextEdit full;
    full.setPlainText(QString(16000, 'a'));
    Term_Append(&full, "b");  // 16000 is still within the limit
    EXPECT_EQ(full.toPlainText().size(), 16001);
    Term_Append(&full, "c");
    EXPECT_EQ(full.toPlainText().size(), 16001 - 4096 + 1);
    EXPECT_TRUE(full.toPlainText().endsWith("bc"));
    EXPECT_EQ(full.textCursor().position(), full.toPlainText().size());
}

namespace {

class Service : public ::testing::Test {
  protected:
    void SetUp() override {
        ctx.settings.SERVMODE = true;
        ASSERT_TRUE(tp.port.Open(1));
    }
    QString Term() const { return ctx.ui->txtTerm->toPlainText(); }
    void Type(const QString& text) {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(ctx.ui->txtTerm, &press);
        }
    }
    TestProgram tp;
    Ctx& ctx = tp.ctx();
};

}  // namespace

TEST_F(Service, EchoOfCommandsAndReplies) {
    tp.port.responder = [](const std::string&) { return std::string("SD1\r\n"); };
    ctx.cmd->Command_Execute("SD1", false, false);
    EXPECT_EQ(Term(), "-> SD1\n<- SD1\n\n");
    // In-band characters above 128 are not shown.
    tp.port.responder = [](const std::string&) {
        return std::string(
            "5\xae"
            "6\xaf\r\n");
    };
    ctx.cmd->Command_Execute("\x10", false, false);
    EXPECT_TRUE(Term().endsWith("-> Crtl P\n<- 56\n\n"));
    ctx.cmd->Command_Send("\x1b");
    EXPECT_TRUE(Term().endsWith("-> ESC\n"));
    // Without service mode nothing is echoed.
    ctx.settings.SERVMODE = false;
    const QString before = Term();
    ctx.cmd->Command_Execute("SD1", false, false);
    EXPECT_EQ(Term(), before);
}

TEST_F(Service, TypedKeysGoStraightToThePort) {
    ctx.ui->txtTerm->setFocus();
    Type("IP");
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"I", "P"}));
    EXPECT_EQ(Term(), "IP");  // the box keeps the keys
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(ctx.ui->txtTerm, &enter);
    EXPECT_EQ(tp.port.writes.back(), "\r");
    // Not outside service mode, not to a closed port, not during an exchange.
    ctx.settings.SERVMODE = false;
    Type("x");
    ctx.settings.SERVMODE = true;
    tp.port.Close();
    Type("y");
    ASSERT_TRUE(tp.port.Open(1));
    tp.port.responder = [](const std::string& c) {
        return c == "G" ? std::string("..") : std::string();
    };
    tp.clock.After(1, [&] { Type("z"); });
    tp.clock.After(2, [&] { tp.port.Deliver("\r\n"); });
    ctx.cmd->Command_Execute("G", false, false);
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"I", "P", "\r", "G"}));
}

TEST_F(Service, PortEventsAndErrors) {
    tp.port.RaiseEvent(4);
    EXPECT_EQ(ctx.ui->picStat[1]->Text(), "Status: Change in DSR Detected");
    EXPECT_TRUE(tp.dialogs.boxes.empty());
    tp.dialogs.boxAnswers = {kOK, kCancel};
    tp.port.RaiseEvent(1004);
    EXPECT_EQ(ctx.ui->picStat[1]->Text(), "Status: Framing Error");
    ASSERT_EQ(tp.dialogs.boxes.size(), 1u);
    EXPECT_EQ(tp.dialogs.boxes[0].prompt, "Framing Error");
    EXPECT_EQ(tp.dialogs.boxes[0].title, "Click Cancel to quit, OK to ignore.");
    EXPECT_EQ(tp.dialogs.boxes[0].captions, (QStringList{"OK", "Cancel"}));
    EXPECT_TRUE(tp.port.IsOpen());  // OK ignores
    tp.port.RaiseEvent(4711);
    EXPECT_EQ(ctx.ui->picStat[1]->Text(), "Status: Unknown error or event");
    EXPECT_FALSE(tp.port.IsOpen());  // Cancel closes
    bool error = false;
    EXPECT_EQ(CommEvent_Text(7, error), "End of File Detected");
    EXPECT_FALSE(error);
    EXPECT_EQ(CommEvent_Text(1011, error), "Error retrieving DCB");
    EXPECT_TRUE(error);
}

TEST_F(Service, TestTimesWritesReportAndEscThenReadsTwoLines) {
    tp.port.responder = [](const std::string& c) {
        return c == "\x1b" ? std::string("Actual RAM\r\n** STOP \r\n") : std::string();
    };
    ctx.ui->cmdTestTimes->click();
    EXPECT_EQ(tp.port.writes, (std::vector<std::string>{"IP", "\x1b"}));
    EXPECT_EQ(Term(), "-> IP\n-> ESC\nActual RAM\n** STOP \n");
    EXPECT_EQ(tp.port.BytesAvailable(), 0);
}
