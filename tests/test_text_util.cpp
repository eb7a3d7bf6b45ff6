// The text helpers (controller numbers alike in every locale), the waits and the clocks.
#include <gtest/gtest.h>

#include <QTimer>
#include <clocale>
#include <cmath>

#include "core/Waits.h"
#include "link/TextUtil.h"
#include "support/FakeClock.h"

using namespace zavo;
using std::tuple;

TEST(TextUtil, StripAndDigits) {
    EXPECT_EQ(tuple(CRLF_Strip("\rSD1\r\n"), CRLF_Strip("\n\r"), CRLF_Strip("")),
              tuple("SD1", "\n", ""));
    EXPECT_EQ(tuple(Digits_ToInt("-12.5"), Digits_ToInt("no digits"), Digits_ToInt("99999999999")),
              tuple(125, 0, 32767));
    EXPECT_EQ(tuple(Text_PadLeft("5", 4), Text_PadLeft(" 12345", 4)), tuple("         5", "2345"));
    EXPECT_EQ(tuple(Number_Format(43.054, "0.0"), Number_Format(1234, "0 "), Number_Format(-0.04, "0.0")),
              tuple("43.1", "1234 ", "0.0"));
    EXPECT_EQ(tuple(Num_Extract("1045d"), Num_Extract("-5"), Num_Extract("TMB"), Num_Extract("1.2.3")),
              tuple(1045.f, 5.f, 0.f, 1.2f));
    EXPECT_EQ(tuple(RoundToInt16(2.5), RoundToInt16(3.5), RoundToInt16(1e9), RoundToInt16(NAN)),
              tuple(2, 4, 32767, 0));
    const auto w = Words_Split("  T: 3189mV   27 x");
    EXPECT_EQ(tuple(w.size(), w[1], w[2], w[3], w[4], Words_Split("T")[1]),
              tuple(701u, "T:", "3189mV", "27", "x", ""));
}

// Controller numbers use "." whatever the operator's locale says.
TEST(TextUtil, NumbersIgnoreTheLocale) {
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "cs_CZ.UTF-8"})
        if ((comma = std::setlocale(LC_NUMERIC, name) != nullptr)) break;
    EXPECT_EQ(tuple(Num_Extract("1.5mV"), Num_Extract("43.0Hz"), Number_Format(2.25, "0.0")),
              tuple(1.5f, 43.f, "2.3"));
    std::setlocale(LC_NUMERIC, old.c_str());
    if (!comma) GTEST_SKIP() << "no comma locale installed; checked under " << old;
}

// Waits: events run meanwhile, midnight is crossed, NaN and more than a day never hang.
TEST(Waits, EventsMidnightAndBadDurations) {
    test::FakeClock clock(86400.0 - 2.2, QDate(2026, 12, 31));
    int events = 0;
    clock.After(1.0, [&] { ++events; });
    QTimer::singleShot(0, [&] { ++events; });
    EXPECT_NEAR(Wait_Seconds(clock, -2), 2.0, 1e-5);
    EXPECT_TRUE(events == 2 && Wait_Seconds(clock, 0) == 0);
    EXPECT_NEAR(Wait_Seconds(clock, 0.5), 0.5, 1e-6);
    EXPECT_TRUE(std::abs(clock.Now() - 0.3) < 1e-5 && clock.Today() == QDate(2027, 1, 1));
    EXPECT_NEAR(Timer_Elapsed(clock, 86399.9), 0.4, 1e-5);
    EXPECT_NEAR(Timer_Elapsed(clock, 0.305), -0.005, 1e-5);  // a hair in the future: left alone
    clock.SetStep(3600);
    EXPECT_EQ(Wait_Seconds(clock, std::nan("")), 0);
    const double waited = Wait_Seconds(clock, 1e9);
    EXPECT_TRUE(waited >= 86399.0 && waited < 86400.0) << waited;
}
