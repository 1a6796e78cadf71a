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
