#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/utf8.h"

using namespace parvex;

namespace {
// U+1F600 written as the platform's wide text (a surrogate pair on Windows).
std::wstring Emoji() {
    if (sizeof(wchar_t) == 2) return std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    return std::wstring(1, static_cast<wchar_t>(0x1F600));
}
}  // namespace

TEST(Utf8, KoreanAndOutsideTheBasicPlane) {
    EXPECT_EQ(ToUtf8(std::wstring(L"한글.txt")), "\xED\x95\x9C\xEA\xB8\x80.txt");
    EXPECT_EQ(ToUtf8(Emoji()), "\xF0\x9F\x98\x80");
    EXPECT_EQ(FromUtf8(std::string("\xF0\x9F\x98\x80")), Emoji());
    std::wstring mixed = L"a/첨부 파일" + Emoji() + L"é\\z";
    EXPECT_EQ(FromUtf8(ToUtf8(mixed)), mixed);
    EXPECT_EQ(ToUtf8(std::wstring()), "");
}

TEST(Utf8, BufferFormsCountTheTerminator) {
    const wchar_t* text = L"한a";
    int needed = ToUtf8(text, nullptr, 0);
    EXPECT_EQ(needed, 5);  // 3 + 1 + terminator
    std::vector<char> buffer(needed + 1, 'x');
    EXPECT_EQ(ToUtf8(text, buffer.data(), needed + 1), 5);
    EXPECT_STREQ(buffer.data(), "\xED\x95\x9C" "a");
    // Too small a buffer fails instead of cutting the text.
    EXPECT_EQ(ToUtf8(text, buffer.data(), 3), 0);

    int wide = FromUtf8("\xED\x95\x9C" "a", nullptr, 0);
    EXPECT_EQ(wide, 3);
    std::vector<wchar_t> out(wide);
    EXPECT_EQ(FromUtf8("\xED\x95\x9C" "a", out.data(), wide), 3);
    EXPECT_EQ(std::wstring(out.data()), L"한a");
    EXPECT_EQ(ToUtf8(L"", nullptr, 0), 1);
}

TEST(Utf8, InvalidInputIsRefusedOrReplaced) {
    // Overlong slash, lone continuation byte, truncated sequence, encoded surrogate.
    for (const char* bad : {"\xC0\xAF", "\x80", "\xED\x95", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        EXPECT_FALSE(IsValidUtf8(bad, std::strlen(bad))) << bad;
        EXPECT_EQ(FromUtf8(bad, nullptr, 0), 0);
        std::wstring decoded = FromUtf8(std::string(bad));
        EXPECT_NE(decoded.find(static_cast<wchar_t>(0xFFFD)), std::wstring::npos);
    }
    if (sizeof(wchar_t) == 2) {
        std::wstring lone{static_cast<wchar_t>(0xD800), L'a'};
        EXPECT_EQ(ToUtf8(lone.c_str(), nullptr, 0), 0);
        EXPECT_EQ(ToUtf8(lone), "\xEF\xBF\xBD" "a");
    }
}
