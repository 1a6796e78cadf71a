// The names a downloaded file may be saved under; the same rules natively
// and in the Windows test program.
#include <gtest/gtest.h>

#include "download/file_name_rules.h"

using namespace parvex;

TEST(DownloadNameRulesTest, DevicesForbiddenCharactersAndAlteredNamesAreRefusedInAnyComponent) {
    for (auto name : {L"CON", L"con", L"PRN.txt", L"aux.tar.gz", L"Nul", L"NUL .log", L"COM1", L"com9.bin",
                      L"LPT1", L"lpt9.doc", L"COM\u00B9", L"CONIN$", L"conout$.x", L"sub\\AUX", L"sub/con\\x.bin",
                      L"com3\\", L"a*b", L"what?.txt", L"<x>", L"a|b", L"say\"hi\"", L"file.txt:stream",
                      L"sub\\c:d", L"bell\x07.txt", L"esc\x1b[31m", L"tab\there", L"dot.", L"sub.\\x",
                      L"space ", L"sub \\x", L"...", L"sub\\.\\x"})
        EXPECT_FALSE(IsAcceptableDownloadName(name)) << name;
    for (auto name : {L"COM10", L"COM0.txt", L"LPT", L"console.txt", L"auxiliary", L"nul-file", L"CONIN", L"a.con",
                      L"보고서 (최종).hwp", L"sub\\deep/x.bin", L"folder\\", L".hidden", L"a..b", L"x y.txt", L""})
        EXPECT_TRUE(IsAcceptableDownloadName(name)) << name;
    EXPECT_FALSE(IsAcceptableDownloadName(std::wstring(L"a\0b", 3)));
    // What stays inside the folder is decided as before.
    EXPECT_FALSE(IsAcceptableDownloadName(L"..\\up.bin"));
    EXPECT_FALSE(IsAcceptableDownloadName(L"C:\\x.bin"));
    EXPECT_FALSE(IsAcceptableDownloadName(L"\\\\server\\share\\x"));
}

TEST(DownloadNameRulesTest, ANameEndingInASeparatorNamesAFolder) {
    for (auto name : {L"folder\\", L"a/b/", L"a\\b\\"}) EXPECT_TRUE(NamesFolder(name)) << name;
    for (auto name : {L"folder", L"a\\b", L""}) EXPECT_FALSE(NamesFolder(name)) << name;
}

TEST(DownloadNameRulesTest, BidirectionalControlsAreRefused) {
    for (wchar_t c : {0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069}) {
        EXPECT_FALSE(IsAcceptableDownloadName(std::wstring(L"invoice") + c + L"fdp.exe")) << std::hex << c;
        EXPECT_FALSE(IsAcceptableDownloadName(std::wstring(L"sub") + c + L"\\x.bin")) << std::hex << c;
    }
    // Their neighbours are ordinary characters.
    for (wchar_t c : {0x200D, 0x2010, 0x2029, 0x202F, 0x2065, 0x206A})
        EXPECT_TRUE(IsAcceptableDownloadName(std::wstring(L"a") + c + L"b.txt")) << std::hex << c;
}
