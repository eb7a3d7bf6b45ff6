#include <gtest/gtest.h>

#include <clocale>

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

// Controller numbers use "." whatever the operator's locale says.
TEST(TextUtil, NumbersIgnoreTheLocale) {
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "cs_CZ.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name)) {
            comma = true;
            break;
        }
    EXPECT_FLOAT_EQ(Num_Extract("1.5mV"), 1.5f);
    EXPECT_FLOAT_EQ(Num_Extract("43.0Hz"), 43.0f);
    EXPECT_EQ(Number_Format(2.25, "0.0"), "2.3");
    std::setlocale(LC_NUMERIC, old.c_str());
    if (!comma) GTEST_SKIP() << "no comma locale installed; checked under " << old;
}
