#include <gtest/gtest.h>

#include "common/format.h"

using namespace parvex;

TEST(FormatSize, ThresholdsAndRounding) {
    EXPECT_EQ(FormatSize(0), L"0.00KB");
    EXPECT_EQ(FormatSize(500), L"0.49KB");
    EXPECT_EQ(FormatSize(1023), L"1.00KB");
    EXPECT_EQ(FormatSize(1048575), L"1024.00KB");
    EXPECT_EQ(FormatSize(1048576), L"1.00MB");
    EXPECT_EQ(FormatSize(1073741823), L"1024.00MB");
    EXPECT_EQ(FormatSize(1073741824), L"1.00GB");
    EXPECT_EQ(FormatSize(1610612736), L"1.50GB");
    // No digit grouping for big values.
    EXPECT_EQ(FormatSize(5000.0 * 1073741824.0), L"5000.00GB");
}

TEST(FormatDuration, EveryForm) {
    EXPECT_EQ(FormatDuration(0), L"1초");
    EXPECT_EQ(FormatDuration(999), L"1초");
    EXPECT_EQ(FormatDuration(1000), L"1초");
    EXPECT_EQ(FormatDuration(59999), L"59초");
    EXPECT_EQ(FormatDuration(61000), L"1분 1초");
    EXPECT_EQ(FormatDuration(60000), L"1분 0초");
    EXPECT_EQ(FormatDuration(3600000), L"1시간 0분 0초");
    EXPECT_EQ(FormatDuration(3723000), L"1시간 2분 3초");
    // Hours are not reduced to days.
    EXPECT_EQ(FormatDuration(90.0 * 3600000.0), L"90시간 0분 0초");
}

TEST(FormatDuration, NonsenseTimesStayDefined) {
    EXPECT_EQ(FormatDuration(-5000), L"1초");
    EXPECT_EQ(FormatDuration(0.0 / 0.0), L"1초");
    // Beyond 32 bits of seconds the time is held at the largest count.
    EXPECT_EQ(FormatDuration(1e300), L"1193046시간 28분 15초");
    EXPECT_EQ(FormatDuration(4294967295000.0), L"1193046시간 28분 15초");
}

TEST(MakeUniqueName, StampHasNoLeadingZeros) {
    LocalTime t;
    t.year = 2012; t.month = 3; t.day = 5; t.hour = 9; t.minute = 7; t.second = 4; t.milliseconds = 58;
    // stamp.ms.digit.n, the digit drawn from the tick 12345
    EXPECT_EQ(MakeUniqueName(2, t, 12345), L"201235974.58.8.2");
}

TEST(MakeUniqueName, DigitIsSeededAtEveryCall) {
    LocalTime t;
    t.year = 2026; t.month = 12; t.day = 7; t.hour = 10; t.minute = 0; t.second = 0; t.milliseconds = 0;
    // Same tick, same name: nothing guarantees uniqueness within a millisecond.
    EXPECT_EQ(MakeUniqueName(1, t, 777), MakeUniqueName(1, t, 777));
    // The digit covers 0..9 over many ticks.
    bool seen[10] = {};
    for (uint32_t tick = 0; tick < 2000; ++tick) {
        std::wstring name = MakeUniqueName(0, t, tick);
        wchar_t digit = name[name.size() - 3];
        ASSERT_TRUE(digit >= L'0' && digit <= L'9') << name;
        seen[digit - L'0'] = true;
    }
    for (bool s : seen) EXPECT_TRUE(s);
}

TEST(FormatText, GrowsForLongText) {
    std::wstring longText(5000, L'가');
    EXPECT_EQ(FormatText(L"[%ls]", longText.c_str()), L"[" + longText + L"]");
}
