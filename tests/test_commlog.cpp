// The daily communication log: the bytes of its records.
#include <gtest/gtest.h>

#include <QLocale>
#include <QTime>
#include <fstream>

#include "link/CommLog.h"
#include "link/CommandLink.h"
#include "support/TestProgram.h"

using namespace zavo;
using namespace zavo::test;

namespace {

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string ShortTime(double secondsOfDay) {
    return QLocale::system()
        .toString(QTime::fromMSecsSinceStartOfDay(int(secondsOfDay) * 1000), QLocale::ShortFormat)
        .toStdString();
}

}  // namespace

TEST(CommLog, OneRecordPerReplyWithItsOwnLineEnd) {
    TestProgram tp;
    Ctx& ctx = tp.ctx();
    const auto file = tp.Dir() / "mon" / "06-12-2026.mon";
    ASSERT_TRUE(ctx.log->Open(file));
    ASSERT_TRUE(tp.port.Open(1));
    tp.port.responder = [](const std::string& cmd) {
        return cmd == "SD1" ? std::string("SD1\r\n")
                            : std::string(
                                  "1\xae"
                                  "2\xaf ok\xf8\r\n");
    };
    ctx.cmd->Command_Execute("SD1", true, false);
    const std::string t1 = ShortTime(tp.clock.Now());
    ctx.cmd->Command_Execute("G", true, false);
    const std::string t2 = ShortTime(tp.clock.Now());
    ctx.log->Close();
    // The reply's CR LF, then the record's: an empty line after each.
    EXPECT_EQ(ReadAll(file), t1 + " SD1\r\n\r\n" + t2 + " 12 ok\r\n\r\n");
    // Appends to what is there; nothing is written while closed.
    ctx.log->Record("lost");
    ASSERT_TRUE(ctx.log->Open(file));
    ctx.log->Record("x");
    ctx.log->Close();
    EXPECT_EQ(ReadAll(file), t1 + " SD1\r\n\r\n" + t2 + " 12 ok\r\n\r\n" + t2 + " x\r\n");
}

TEST(CommLog, UnopenableFileIsReported) {
    TestProgram tp;
    EXPECT_FALSE(tp.ctx().log->Open(tp.Dir() / "no" / "such" / "dir.mon"));
    EXPECT_FALSE(tp.ctx().log->IsOpen());
    tp.ctx().log->Record("x");  // harmless
}
