// What the download engine must never do to the user's files, whatever the
// page names and whatever the server does: write outside the save folder,
// lose an existing file to a failed overwrite, or wait without end.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <cmath>

#include "common/format.h"
#include "common/utf8.h"
#include "download/download_engine.h"
#include "download_engine_fixture.h"

using namespace parvex;
using namespace parvex::testing;
using namespace parvex::dltest;
namespace fs = std::filesystem;

namespace {

// Every entry below a folder, links as links, with the files' bytes.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (auto& e : fs::recursive_directory_iterator(root)) {
        std::string key = fs::relative(e.path(), root).string();
        if (e.is_symlink())
            out[key] = "-> " + fs::read_symlink(e.path()).string();
        else
            out[key] = e.is_regular_file() ? ReadWholeFile(e.path().string()) : "<dir>";
    }
    return out;
}

std::vector<std::string> PartFiles(const fs::path& root) {
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(root))
        if (e.path().extension() == ".part") out.push_back(e.path().filename().string());
    return out;
}

}  // namespace

TEST_F(DownloadEngineTest, HostileNamesAndLinksLeaveADecoyOutsideTheFolderUntouched) {
    TempDir decoy;
    decoy.Write("victim.bin", "precious");
    decoy.Write("inside/kept.txt", "kept");
    fs::create_directory_symlink(decoy.path(), Saved("out"));
    fs::create_directories(Saved("real"));
    fs::create_directory_symlink(decoy.path() / "inside", Saved("real/inner"));
    fs::create_symlink(decoy.path() / "victim.bin", Saved("f.bin"));
    fs::create_symlink(decoy.path() / "new.bin", Saved("dangling.bin"));
    const auto before = Snapshot(decoy.path());

    std::string h = Serve("f.bin", Bytes(2000, 31));
    // Whatever is asked, the answer would be to overwrite.
    same.answer = [](SameFileLogic& l) { return ScriptedSamePrompt::Press(l, "ao"); };
    const std::vector<std::wstring> hostile = {
        L"out\\x.bin", L"out\\",       L"out/deep/x.bin", L"real\\inner\\kept.txt", L"real/inner/", L"f.bin",
        L"dangling.bin", L"COM1",      L"aux.txt",        L"sub\\NUL",              L"lpt3\\x.bin", L"a*b",
        L"q?.txt",     L"p|q",         L"x:y",            L"trail.",                L"../decoy.bin"};
    for (auto& name : hostile) Queue(L"/f.bin", name, 2000);
    Queue(L"/f.bin", L"fine\\ok.bin", 2000);
    Queue(L"/f.bin", L"made\\", 0);
    TestDialog& dialog = Run();

    EXPECT_EQ(Summary(dialog), RefusedLines(hostile));
    // Refused before any request; the folder needs none either.
    EXPECT_EQ(server->RecordedCount(), 1);
    EXPECT_EQ(SavedHash("fine/ok.bin"), h);
    EXPECT_TRUE(fs::is_directory(Saved("made")));
    EXPECT_EQ(Statuses(dialog).back(), L"완 료");
    EXPECT_EQ(Snapshot(decoy.path()), before);
    EXPECT_FALSE(fs::exists(save.path().parent_path() / "decoy.bin"));
    EXPECT_TRUE(fs::is_symlink(Saved("f.bin")));
    EXPECT_TRUE(PartFiles(save.path()).empty());
    Close();

    // A new name chosen in the prompt obeys the same rules.
    save.Write("taken.bin", "taken");
    same.answer = [](SameFileLogic& l) { return ScriptedSamePrompt::Press(l, "r"); };
    names.script = {L"CON"};
    Queue(L"/f.bin", L"taken.bin", 2000);
    EXPECT_EQ(Summary(Run()), L"0. taken.bin -> 파일생성실패\r\n");
    EXPECT_EQ(server->RecordedCount(), 1);
    Close();
}

TEST_F(DownloadEngineTest, AnExistingFileSurvivesAnOverwriteThatDoesNotComplete) {
    const std::string old = "the user's own bytes";
    save.Write("keep.bin", old);
    std::string served = Bytes(300000, 32);
    std::string h = Serve("keep.bin", served);
    same.answer = [](SameFileLogic& l) { return ScriptedSamePrompt::Press(l, "o"); };

    // Not found, cut short, announced longer than sent, no usable length.
    EXPECT_EQ(RunOne(L"/nothing.bin", L"keep.bin", ""), L"0. keep.bin -> 404 not found\r\n");
    EXPECT_EQ(RunOne(L"/keep.bin", L"keep.bin", "close_after=30000"), L"0. keep.bin -> SOCKET ERROR\r\n");
    EXPECT_EQ(RunOne(L"/keep.bin", L"keep.bin", "length=400000"), L"0. keep.bin -> SOCKET ERROR\r\n");
    EXPECT_EQ(RunOne(L"/keep.bin", L"keep.bin", "rawreply=" + Escape("HTTP/1.1 200 OK\r\nContent-Length: 0x10\r\n\r\n")),
              L"0. keep.bin -> Can not take Content-Length\r\n");
    EXPECT_EQ(ReadWholeFile(Saved("keep.bin").string()), old);
    // What the cut tries brought is kept beside it, to be gone on with.
    EXPECT_EQ(PartFiles(save.path()), std::vector<std::string>{"keep.bin.part"});
    EXPECT_TRUE(fs::exists(Saved("keep.bin.part.parvex")));
    fs::remove(Saved("keep.bin.part"));
    fs::remove(Saved("keep.bin.part.parvex"));

    // Cancelled: deleted on Yes; on No the part is kept, but not in place of
    // the file it was to replace.
    for (MessageAnswer answer : {IdYes, IdNo}) {
        CancelPartWay(L"/keep.bin", L"keep.bin", 300000, answer);
        EXPECT_EQ(ReadWholeFile(Saved("keep.bin").string()), old);
        EXPECT_EQ(PartFiles(save.path()), answer == IdYes ? std::vector<std::string>{}
                                                          : std::vector<std::string>{"keep.bin.part"});
    }
    // The part the cancel kept is gone on with, and then replaces the file.
    Queue(L"/keep.bin", L"keep.bin", 300000);
    Run();
    Close();
    EXPECT_EQ(SavedHash("keep.bin"), h);
    EXPECT_NE(server->Recorded(server->RecordedCount()).find("\r\nRange: bytes="), std::string::npos);
    EXPECT_TRUE(PartFiles(save.path()).empty());
    EXPECT_FALSE(fs::exists(Saved("keep.bin.part.parvex")));

    // A name already taken by a part that is not ours to go on with gets
    // another temporary name.
    save.Write("keep.bin.part", "someone else's");
    Queue(L"/keep.bin", L"keep.bin", 300000);
    Run();
    Close();
    EXPECT_EQ(SavedHash("keep.bin"), h);
    EXPECT_EQ(PartFiles(save.path()), std::vector<std::string>{"keep.bin.part"});
}

TEST_F(DownloadEngineTest, SilentServersTimeOutAndCancelOrDeleteDoNotWaitForBytes) {
    Serve("s.bin", Bytes(5000, 33));
    std::string h = Serve("next.bin", Bytes(700, 34));
    state->SetSilentServerTimeout(300);
    // Nothing at all, then a header and nothing more.
    EXPECT_EQ(RunOne(L"/missing.bin", L"no-header.bin", "stall=1"), L"0. no-header.bin -> SOCKET ERROR\r\n");
    EXPECT_EQ(RunOne(L"/s.bin", L"no-body.bin", "stall=1"), L"0. no-body.bin -> SOCKET ERROR\r\n");
    EXPECT_FALSE(fs::exists(Saved("no-body.bin")));
    EXPECT_TRUE(PartFiles(save.path()).empty());

    // With the real time-out, the user's cancel, close box or delete is
    // all that ends these waits.
    state->SetSilentServerTimeout(kSilentServerTimeoutMs);
    for (const std::string path : {"/missing.bin", "/s.bin"}) {
        Fault("stall=1&target=download&count=1");
        Queue(FromUtf8(path), L"stalled.bin", 5000);
        TestDialog& dialog = Open();
        dialog.view.messages.answers.push_back(IdYes);
        state->StartRun();
        ASSERT_TRUE(WaitFor([&] { return server->RecordedCount() > 0; }));
        if (path == "/s.bin") {
            ASSERT_TRUE(WaitFor([&] { return !PartFiles(save.path()).empty(); }));
        }
        state->CancelOrClose();
        state->WaitRunFinished();
        EXPECT_EQ(Statuses(dialog), std::vector<std::wstring>{L"취 소"});
        Close();
        server->Get("/__reset");
    }
    EXPECT_TRUE(PartFiles(save.path()).empty());

    Fault("stall=1&target=download&count=1");
    Queue(L"/s.bin", L"stalled.bin", 5000);
    Queue(L"/next.bin", L"next.bin", 700);
    TestDialog& dialog = Open();
    state->StartRun();
    ASSERT_TRUE(WaitFor([&] { return !PartFiles(save.path()).empty(); }));
    dialog.view.Select({0});
    state->DeleteButton(dialog.view);
    state->WaitRunFinished();
    EXPECT_EQ(SavedHash("next.bin"), h);
    EXPECT_FALSE(fs::exists(Saved("stalled.bin")));
    EXPECT_TRUE(PartFiles(save.path()).empty());
    Close();
}

TEST(DownloadParseTest, ContentLengthIsDecimalDigitsOnly) {
    auto length = [](const std::wstring& value) {
        return ParseContentLength(L"HTTP/1.1 200 OK\r\nContent-Length:" + value + L"\r\n\r\n");
    };
    for (auto value : {L" 0x10", L" inf", L" nan", L" -5", L" +5", L" 1e3", L" 12abc", L" 1.5", L" ", L" 1 2",
                       L" 9007199254740993", L" 99999999999999999999999999999999999999999"})
        EXPECT_EQ(length(value), -1) << value;
    EXPECT_EQ(length(L" 9007199254740992"), 9007199254740992.0);
    EXPECT_EQ(length(L"\t42 "), 42);
    // Another header whose name ends the same way is not the length.
    EXPECT_EQ(ParseContentLength(L"HTTP/1.1 200 OK\r\nX-Content-Length: 7\r\nContent-Length: 3\r\n\r\n"), 3);
    EXPECT_EQ(ParseContentLength(L"HTTP/1.1 200 OK\r\nX-Content-Length: 7\r\n\r\n"), -1);
}

TEST_F(DownloadEngineTest, SizesThatAreNoCountsAreRefused) {
    const double nan = std::nan(""), inf = HUGE_VAL;
    // Without a dialog and with one open: -1, nothing queued, totals untouched.
    for (bool open : {false, true}) {
        if (open) Open();
        for (double size : {nan, inf, -inf, -5.0}) EXPECT_EQ(state->AddDownloadFile(L"/n.bin", L"n.bin", size, 0), -1);
        EXPECT_TRUE(state->Entries().empty());
        EXPECT_EQ(state->TotalBytes(), 0);
    }
    EXPECT_EQ(state->AddDownloadFile(L"/n.bin", L"n.bin", 0, 0), 0);
    EXPECT_EQ(ProgressPercent(nan, 10), 0);
    EXPECT_EQ(ProgressPercent(5, nan), 0);
    EXPECT_EQ(ProgressPercent(inf, 10), 100);
    EXPECT_EQ(ProgressPercent(1e300, 1e-300), 100);
    EXPECT_EQ(ProgressPercent(-3, 10), 0);
    EXPECT_EQ(ProgressPercent(3, 10), 30);
    Close();
}
