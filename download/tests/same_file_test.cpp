#include <gtest/gtest.h>

#include <filesystem>

#include "common/format.h"
#include "common/settings.h"
#include "download/download_engine.h"
#include "download/file_name_rules.h"
#include "download/same_file.h"
#include "download_engine_fixture.h"
#include "download_test_support.h"
#include "tests/support/mail_server_process.h"

using namespace parvex;
using namespace parvex::testing;
using namespace parvex::dltest;
namespace fs = std::filesystem;

TEST(DownloadNameEntryTest, UnchangedNamesAndFoldersKeepTheDialogOpen) {
    RecordingMessageBox boxes;
    std::wstring renameText = L"report.txt";
    NameEntryLogic logic(renameText, boxes);
    EXPECT_EQ(logic.Open(), L"report.txt");
    EXPECT_EQ(renameText, L"");

    std::wstring edit = L"report.txt";
    EXPECT_FALSE(logic.Ok(edit));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"변경되지않았습니다.");
    EXPECT_EQ(boxes.shown[0].caption, L"No Changed Filename");
    EXPECT_EQ(boxes.shown[0].style, static_cast<unsigned>(MbOk | MbIconStop));

    for (std::wstring name : {L"sub\\report.txt", L"sub/report.txt"}) {
        edit = name;
        EXPECT_FALSE(logic.Ok(edit));
        EXPECT_EQ(boxes.shown.back().text, L"디렉토리는 추가할수없습니다.");
        EXPECT_EQ(boxes.shown.back().caption, L"Not Add Directory in Filename");
        EXPECT_EQ(edit, L"report.txt");
    }

    // The comparison is case-sensitive.
    edit = L"Report.txt";
    EXPECT_TRUE(logic.Ok(edit));
    EXPECT_EQ(renameText, L"Report.txt");
    EXPECT_EQ(boxes.shown.size(), 3u);
}

TEST(DownloadNameCheckTest, OnlyNamesInsideTheFolderPass) {
    for (auto name : {L"a.txt", L"sub\\a.txt", L"sub/deep/a.txt", L"..a", L"a..", L"x\\...\\y", L""})
        EXPECT_TRUE(IsNameInsideFolder(name)) << name;
    for (auto name : {L"..", L"..\\a", L"a/../../b", L"a\\..", L"/etc/x", L"\\\\server\\share\\x", L"c:x", L"D:\\x"})
        EXPECT_FALSE(IsNameInsideFolder(name)) << name;
}

namespace {

// Downloads into a folder where the names are already taken.
struct DownloadConflictTest : DownloadEngineTest {
    std::string served = std::string(20000, 'n') + "new content";

    void SetUp() override {
        DownloadEngineTest::SetUp();
        serve.Write("new.bin", served);
    }
    std::string Content(const std::string& name) { return ReadWholeFile((save.path() / name).string()); }
    // Queues the names (each already on disk with old content), runs, and
    // returns the dialog.
    TestDialog& Run(const std::vector<std::wstring>& queued) {
        for (auto& n : queued) {
            save.Write(fs::path(n), "old " + fs::path(n).string());
            state->AddDownloadFile(L"/new.bin", n, static_cast<double>(served.size()), 0);
        }
        return DownloadEngineTest::Run();
    }
};

}  // namespace

TEST_F(DownloadConflictTest, OverwriteReplacesTheFileAndShowsNameAndSize) {
    same.answer = [](SameFileLogic& l) { return ScriptedSamePrompt::Press(l, "o"); };
    TestDialog& dialog = Run({L"a.bin"});
    EXPECT_EQ(Content("a.bin"), served);
    ASSERT_EQ(same.runs, 1);
    EXPECT_EQ(same.names[0], L"a.bin");
    EXPECT_EQ(same.sizes[0], std::to_wstring(served.size()));
    EXPECT_EQ(state->Snapshot().conflict.downloadSameChoice, DownloadSameOverwrite);
    EXPECT_TRUE(dialog.view.messages.shown.empty());
    Close();
}

TEST_F(DownloadConflictTest, ApplyToAllWithOverwriteAsksOnce) {
    same.answer = [](SameFileLogic& l) {
        EXPECT_TRUE(l.RenameEnabled());
        l.ToggleApplyToAll();
        EXPECT_FALSE(l.RenameEnabled());
        return ScriptedSamePrompt::Press(l, "o");
    };
    Run({L"a.bin", L"b.bin", L"c.bin"});
    EXPECT_EQ(same.runs, 1);
    for (auto n : {"a.bin", "b.bin", "c.bin"}) EXPECT_EQ(Content(n), served) << n;
    // The choice is not carried into the next run.
    EXPECT_FALSE(state->Snapshot().conflict.downloadApplyToAll);
    Close();
}

// The shown total loses every skipped file, not only the last one, and the
// run's bar ends full.
TEST_F(DownloadConflictTest, EverySkippedFileLeavesTheShownTotal) {
    const double size = static_cast<double>(served.size());
    state->AddDownloadFile(L"/new.bin", L"fetched.bin", size, 0);
    same.answer = [](SameFileLogic& l) { return ScriptedSamePrompt::Press(l, "ac"); };
    TestDialog& dialog = Run({L"a.bin", L"b.bin", L"c.bin"});
    EXPECT_EQ(Content("fetched.bin"), served);
    EXPECT_EQ(dialog.view.Text(IdcDnTotalSizeLabel), L" / " + FormatSize(size));
    EXPECT_EQ(dialog.view.Text(IdcDnDoneBytesLabel), FormatSize(size));
    EXPECT_EQ(dialog.view.Progress(IdcDnTotalProgress), 100);
    Close();
}

TEST_F(DownloadConflictTest, ApplyToAllWithCancelSkipsEveryLaterFile) {
    same.answer = [](SameFileLogic& l) { return ScriptedSamePrompt::Press(l, "ac"); };
    TestDialog& dialog = Run({L"a.bin", L"b.bin"});
    EXPECT_EQ(same.runs, 1);
    EXPECT_EQ(Content("a.bin"), "old a.bin");
    EXPECT_EQ(Content("b.bin"), "old b.bin");
    EXPECT_EQ(Summary(dialog), L"a.bin -> User Cancel\r\nb.bin -> User Cancel\r\n");
    auto rows = dialog.view.Rows();
    EXPECT_EQ(rows[0].status, L"취 소");
    EXPECT_EQ(rows[1].status, L"취 소");
    for (auto& e : state->Entries()) EXPECT_EQ(e.state, DownloadEntry::Cancelled);
    EXPECT_EQ(server->RecordedCount(), 0);
    Close();
}

TEST_F(DownloadConflictTest, RenameRefusesTakenNamesAndAsksAgain) {
    save.Write("taken.bin", "someone else's");
    names.script = {L"a.bin", L"taken.bin", L"fresh.bin"};
    same.answer = [](SameFileLogic& l) { return ScriptedSamePrompt::Press(l, "r"); };
    Run({L"a.bin"});
    EXPECT_EQ(Content("a.bin"), "old a.bin");
    EXPECT_EQ(Content("taken.bin"), "someone else's");
    EXPECT_EQ(Content("fresh.bin"), served);
    // The unchanged name, then the taken one, which the next dialog proposes.
    ASSERT_EQ(promptBoxes.shown.size(), 2u);
    EXPECT_EQ(promptBoxes.shown[0].text, L"변경되지않았습니다.");
    EXPECT_EQ(promptBoxes.shown[1].text, L"파일명이 존재합니다. 다른 파일명으로 변경해주세요.");
    EXPECT_EQ(promptBoxes.shown[1].caption, L"파일명변경");
    EXPECT_EQ(names.proposals, (std::vector<std::wstring>{L"a.bin", L"taken.bin"}));
    EXPECT_EQ(state->Snapshot().conflict.downloadSameChoice, DownloadSameRename);
    Close();
}

TEST_F(DownloadConflictTest, CancelledRenameKeepsThePromptOpenAndEmptyNamesAreTaken) {
    // An empty name points at the folder itself; then the name dialog is
    // cancelled and the prompt cancelled in turn.
    names.script = {L"", ScriptedNamePrompt::kCancel};
    same.answer = [](SameFileLogic& l) {
        bool ok = ScriptedSamePrompt::Press(l, "r");
        EXPECT_FALSE(ok);
        return ScriptedSamePrompt::Press(l, "c");
    };
    TestDialog& dialog = Run({L"a.bin"});
    ASSERT_EQ(promptBoxes.shown.size(), 1u);
    EXPECT_EQ(promptBoxes.shown[0].caption, L"파일명변경");
    EXPECT_EQ(names.runs, 2);
    EXPECT_EQ(Content("a.bin"), "old a.bin");
    EXPECT_EQ(Summary(dialog), L"a.bin -> User Cancel\r\n");
    EXPECT_EQ(state->Snapshot().conflict.downloadSameChoice, DownloadSameCancel);
    Close();
}

TEST_F(DownloadConflictTest, RenameClearsApplyToAllAndTheCloseBoxSkips) {
    names.script = {L"renamed.bin"};
    int showing = 0;
    same.answer = [&](SameFileLogic& l) {
        // First: apply to all, then rename after all (possible once unticked).
        if (showing++ == 0) return ScriptedSamePrompt::Press(l, "aar");
        return ScriptedSamePrompt::Press(l, "x");
    };
    TestDialog& dialog = Run({L"a.bin", L"b.bin"});
    EXPECT_EQ(same.runs, 2);
    EXPECT_EQ(Content("renamed.bin"), served);
    EXPECT_EQ(Content("b.bin"), "old b.bin");
    EXPECT_EQ(Summary(dialog), L"b.bin -> User Cancel\r\n");
    // The close box leaves the last choice as it was.
    EXPECT_EQ(state->Snapshot().conflict.downloadSameChoice, DownloadSameRename);
    Close();
}

TEST(DownloadDecisionTest, ApplyToAllAnswersWithoutAPrompt) {
    TempDir dir;
    auto path = dir.Write("x.bin", "x");
    ConflictState conflict;
    RecordingMessageBox boxes;
    DownloadEntry entry;
    entry.size = 1;
    conflict.downloadApplyToAll = true;
    conflict.downloadSameChoice = DownloadSameCancel;
    auto d = DecideExistingFile(conflict, LocalFileSystem(), nullptr, nullptr, boxes, entry, path.wstring());
    EXPECT_EQ(d.answer, ExistingFileDecision::Skip);
    EXPECT_TRUE(fs::exists(path));
    conflict.downloadSameChoice = DownloadSameOverwrite;
    d = DecideExistingFile(conflict, LocalFileSystem(), nullptr, nullptr, boxes, entry, path.wstring());
    EXPECT_EQ(d.answer, ExistingFileDecision::Overwrite);
    // Only a complete new file replaces it, later.
    EXPECT_TRUE(fs::exists(path));
    // Without a prompt to ask, an existing file is kept.
    conflict.downloadApplyToAll = false;
    d = DecideExistingFile(conflict, LocalFileSystem(), nullptr, nullptr, boxes, entry, path.wstring());
    EXPECT_EQ(d.answer, ExistingFileDecision::Skip);
    EXPECT_TRUE(fs::exists(path));
}
