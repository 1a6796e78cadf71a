// Names and server texts that would make a run report what did not happen:
// a file "done" that was never fetched, a name that reads as another, a
// summary cut short, a valid name that could never be saved.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/utf8.h"
#include "download_engine_fixture.h"

using namespace parvex;
using namespace parvex::testing;
using namespace parvex::dltest;
namespace fs = std::filesystem;

TEST_F(DownloadEngineTest, NamesThatMeetAFolderOrReadAsAnotherFailBeforeAnyRequest) {
    std::string h = Serve("f.bin", Bytes(3000, 51));
    fs::create_directories(Saved("report"));
    for (const std::wstring& name :
         {std::wstring(L"report"), std::wstring(L"made\\"), std::wstring(L"made"),
          std::wstring(L"invoice\u202Efdp.exe"), std::wstring(L"esc\x1b[2J"), std::wstring(L"ok.bin")})
        Queue(L"/f.bin", name, 3000);
    TestDialog& dialog = Run();

    EXPECT_EQ(Statuses(dialog),
              (std::vector<std::wstring>{L"실 패", L"완 료", L"실 패", L"실 패", L"실 패", L"완 료"}));
    // The summary shows each of them, their controls as "?".
    EXPECT_EQ(Summary(dialog),
              L"0. report -> 파일생성실패\r\n2. made -> 파일생성실패\r\n3. invoice?fdp.exe -> "
              L"파일생성실패\r\n4. esc?[2J -> 파일생성실패\r\n");
    EXPECT_EQ(server->RecordedCount(), 1);
    EXPECT_TRUE(fs::is_directory(Saved("report")) && fs::is_empty(Saved("report")));
    EXPECT_TRUE(fs::is_directory(Saved("made")) && fs::is_empty(Saved("made")));
    EXPECT_EQ(SavedHash("ok.bin"), h);
    Close();
}

TEST_F(DownloadEngineTest, EveryFailureLineOfTheSummaryShowsWhateverTheServerSays) {
    const char raw[] = "HTTP/1.1 404 Not\0Found\x1b[2J\r\nContent-Length: 0\r\n\r\n";
    std::string reply(raw, sizeof raw - 1);
    ASSERT_EQ(Fault("rawreply=" + Escape(reply) + "&target=download&count=1"), "ok");
    for (const wchar_t* name : {L"a.bin", L"b.bin", L"c.bin"}) Queue(L"/missing.bin", name, 10);
    TestDialog& dialog = Run();
    EXPECT_EQ(Summary(dialog), L"0. a.bin -> 404 not?found?[2j\r\n1. b.bin -> 404 not found\r\n2. c.bin -> 404 not found\r\n");
    Close();
}

TEST_F(DownloadEngineTest, NamesUpToTheFileSystemsLimitAreSaved) {
    std::string h = Serve("f.bin", Bytes(20000, 52));
    const std::vector<std::wstring> names = {std::wstring(251, L'a'), std::wstring(251, L'b') + L".bin",
                                             std::wstring(85, L'가')};
    for (auto& name : names) Queue(L"/f.bin", name, 20000);
    TestDialog& dialog = Run();
    EXPECT_EQ(Statuses(dialog), std::vector<std::wstring>(names.size(), L"완 료"));
    for (auto& name : names) EXPECT_EQ(SavedHash(ToUtf8(name)), h);
    EXPECT_EQ(std::distance(fs::directory_iterator(save.path()), fs::directory_iterator()), 3);
    Close();
}
