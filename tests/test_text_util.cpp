#include <gtest/gtest.h>

#include "link/TextUtil.h"
#include "support/TestProgram.h"

using namespace zavo;

TEST(TextUtil, StripAndDigits) {
    EXPECT_EQ(CRLF_Strip("\rSD1\r\n"), "SD1");
    EXPECT_EQ(CRLF_Strip("\n\r"), "\n");
    EXPECT_EQ(Digits_ToInt("-12.5"), 125);
    EXPECT_EQ(Digits_ToInt("no digits"), 0);
    EXPECT_EQ(Text_PadLeft("5", 4), "         5");
    EXPECT_EQ(Text_PadLeft("12345", 4), "2345");
    EXPECT_EQ(Number_Format(43.054, "0.0"), "43.1");
    EXPECT_EQ(Number_Format(1234, "0 "), "1234 ");
    EXPECT_EQ(Num_Extract("1045d"), 1045.0f);
    EXPECT_EQ(Num_Extract("-5"), 5.0f);
    EXPECT_EQ(Num_Extract("TMB"), 0.0f);
    EXPECT_EQ(RoundToInt16(2.5), 2);
    EXPECT_EQ(RoundToInt16(3.5), 4);
    const auto w = Words_Split("  T: 3189mV   27 x");
    EXPECT_EQ(w[1], "T:");
    EXPECT_EQ(w[2], "3189mV");
    EXPECT_EQ(w[3], "27");
}

TEST(Skeleton, ProgramBuildsOnFakes) {
    test::TestProgram tp;
    EXPECT_NE(tp.ctx().ui, nullptr);
}
