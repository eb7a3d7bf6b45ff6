// The daily communication log: the bytes of its records.
#include <gtest/gtest.h>

#include <QLocale>
#include <QTime>

#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;

TEST(CommLog, OneRecordPerReplyAppendedOnlyWhileOpen) {
    TestProgram tp;
    Ctx& ctx = tp.ctx();
    EXPECT_FALSE(ctx.log->Open(tp.Dir() / "no" / "such" / "dir.mon"));
    EXPECT_FALSE(ctx.log->IsOpen());
    ctx.log->Record("lost");  // harmless
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
    ASSERT_TRUE(ctx.log->Open(file));
    ctx.log->Record("x");
    ctx.log->Close();
    // The reply's CR LF, then the record's: an empty line after each.
    EXPECT_EQ(ReadBytes(file), t1 + " SD1\r\n\r\n" + t2 + " 12 ok\r\n\r\n" + t2 + " x\r\n");
}
