#include <gtest/gtest.h>

#include "common/utf8.h"
#include "download/temporary_name.h"

using namespace parvex;

TEST(DownloadTemporaryName, FitsWheneverTheNameFitsAndIsNeverTheName) {
    EXPECT_EQ(TemporaryPath(L"C:\\save\\a.bin", 0), L"C:\\save\\a.bin.part");
    EXPECT_EQ(TemporaryPath(L"C:\\save\\a.bin", 2), L"C:\\save\\a.bin.2.part");
    const std::wstring folder = L"C:\\save\\";
    for (const std::wstring& name :
         {std::wstring(250, L'x'), std::wstring(251, L'x'), std::wstring(255, L'x'), std::wstring(251, L'x') + L".bin",
          std::wstring(85, L'가'), std::wstring(249, L'x') + L"~.part", std::wstring(248, L'x') + L"~1.PART"}) {
        ASSERT_TRUE(FitsOneName(name));
        std::wstring first;
        for (int attempt = 0; attempt < 3; ++attempt) {
            std::wstring path = TemporaryPath(folder + name, attempt);
            if (path.empty()) continue;  // would have been the name itself
            ASSERT_EQ(path.compare(0, folder.size(), folder), 0);
            std::wstring temporary = path.substr(folder.size());
            EXPECT_TRUE(FitsOneName(temporary)) << ToUtf8(temporary);
            EXPECT_NE(ToUtf8(temporary), ToUtf8(name));
            EXPECT_NE(temporary, first);
            if (first.empty()) first = temporary;
        }
        EXPECT_FALSE(first.empty());
    }
    // A shortened name keeps the name's beginning and is marked as such.
    EXPECT_EQ(TemporaryPath(folder + std::wstring(255, L'x'), 0), folder + std::wstring(249, L'x') + L"~.part");
    EXPECT_EQ(TemporaryPath(folder + std::wstring(85, L'가'), 1), folder + std::wstring(82, L'가') + L"~1.part");
}
