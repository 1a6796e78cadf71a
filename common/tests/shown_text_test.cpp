#include <gtest/gtest.h>

#include "common/shown_text.h"

using namespace parvex;

TEST(ShownText, ControlsBecomeQuestionMarksLineBreaksStay) {
    EXPECT_EQ(ShownText(std::wstring(L"404 Not\0Found", 13)), L"404 Not?Found");
    const std::wstring controls = {L'a', 0x1b, L'[', L'2', L'J', 0x07, 0x7f, 0x85, 0x9f, L'b'};
    EXPECT_EQ(ShownText(controls), L"a?[2J????b");
    EXPECT_EQ(ShownText(L"invoice\u202Efdp.exe \u2066x\u2069 \u200E\u200F"), L"invoice?fdp.exe ?x? ??");
    EXPECT_EQ(ShownText(L"line one\r\nline\ttwo\n"), L"line one\r\nline\ttwo\n");
    EXPECT_EQ(ShownText(L"한글 \u00A0\u2010\u2029"), L"한글 \u00A0\u2010\u2029");
}
