#include "uploadlist/upload_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

#include "common/settings.h"
#include "tests/support/fakes.h"

namespace parvex {
namespace {

using testing::MemorySettingsStore;
using testing::RecordingMessageBox;
using testing::TempDir;

constexpr double MiB = 1048576.0;

// Files and folders by "\" path, listed in the order they were made, with
// files that another program holds open.
class FakeFiles : public FileSystem {
public:
    struct Node {
        std::wstring path;
        bool dir = false;
        uint64_t size = 0;
        bool inUse = false;
    };
    std::vector<Node> nodes;
    std::vector<std::wstring> exclusiveOpens;
    std::map<std::wstring, int> lookUps;  // Inspect calls by path
    // Other names of a node, as Windows takes them: other letter case, the
    // short name, a trailing dot or space.
    std::map<std::wstring, std::wstring> aliases;
    bool identities = true;  // false: the system cannot tell files apart

    void AddFile(const std::wstring& path, uint64_t size, bool inUse = false) {
        AddParents(path);
        nodes.push_back({path, false, size, inUse});
    }
    void AddDir(const std::wstring& path) {
        AddParents(path);
        if (!Find(path)) nodes.push_back({path, true, 0, false});
    }

    bool Exists(const std::wstring& path) override { return Find(path) != nullptr; }
    PathInfo Inspect(const std::wstring& path) override {
        ++lookUps[path];
        const Node* n = Find(path);
        if (!n) return {};
        return n->dir ? PathInfo{PathKind::Directory, 0} : PathInfo{PathKind::File, n->size};
    }
    bool MakeDirectory(const std::wstring&) override { return false; }
    bool RemoveFile(const std::wstring&) override { return false; }
    std::unique_ptr<File> OpenRead(const std::wstring& path, bool exclusive) override {
        if (exclusive) exclusiveOpens.push_back(path);
        const Node* n = Find(path);
        if (!n || n->dir || (exclusive && n->inUse)) return nullptr;
        return std::make_unique<NullFile>();
    }
    std::unique_ptr<File> OpenWrite(const std::wstring&) override { return nullptr; }
    std::wstring FileIdentity(const std::wstring& path) override {
        const Node* n = Find(path);
        return n && identities ? L"#" + n->path : std::wstring();
    }
    bool List(const std::wstring& folder, std::vector<DirItem>& items) override {
        const Node* f = Find(folder);
        if (!f || !f->dir) return false;
        for (const Node& n : nodes) {
            size_t pos = n.path.find_last_of(L'\\');
            if (pos == std::wstring::npos || n.path.substr(0, pos) != folder) continue;
            items.push_back({n.path.substr(pos + 1), n.dir, n.size});
        }
        return true;
    }

private:
    struct NullFile : File {
        long long Read(void*, size_t) override { return 0; }
        bool Write(const void*, size_t) override { return false; }
        long long Size() override { return 0; }
        uint64_t LastWrite() override { return 0; }
    };
    const Node* Find(const std::wstring& name) const {
        auto alias = aliases.find(name);
        const std::wstring& path = alias == aliases.end() ? name : alias->second;
        for (const Node& n : nodes)
            if (n.path == path) return &n;
        return nullptr;
    }
    void AddParents(const std::wstring& path) {
        size_t pos = path.find_last_of(L'\\');
        if (pos == std::wstring::npos || pos < 3) return;  // stop at "C:\"
        AddDir(path.substr(0, pos));
    }
};

class RecordingPage : public PageNotifier {
public:
    std::vector<std::wstring> calls;
    std::vector<int> countsSeen;  // entry count when the page was called
    UploadListModel* model = nullptr;
    std::function<void()> script;  // what the page's function does
    void InvokePageFunction(const std::wstring& name) override {
        calls.push_back(name);
        if (model) countsSeen.push_back(model->TotalUploadCount());
        if (script) script();
    }
};

class UploadListTest : public ::testing::Test {
protected:
    UploadListTest() {
        ResetProcessSettings();
        LastUploadFolder().clear();
        host.messages = &messages;
        host.files = &files;
        host.settings = &settings;
        host.page = &page;
        host.uniqueName = [](int n) { return L"u" + std::to_wstring(n); };
        store.keyExists = true;
        model = std::make_unique<UploadListModel>(host);
        page.model = model.get();
    }
    ~UploadListTest() override { ResetProcessSettings(); }

    // A roomy single budget so that only the check under test refuses.
    void Roomy() { model->SetLimitUploadSize(100); }
    std::vector<std::wstring> Names() {
        std::vector<std::wstring> names;
        for (const UploadEntry& e : model->Entries()) names.push_back(e.fileName);
        return names;
    }
    std::vector<int> Indexes() {
        std::vector<int> v;
        for (const UploadEntry& e : model->Entries()) v.push_back(e.listIndex);
        return v;
    }
    MemoryUploadRows& Mem() { return static_cast<MemoryUploadRows&>(model->Rows()); }
    std::wstring LongPath(size_t length, const std::wstring& end = L".txt") {
        std::wstring p = L"C:\\d\\";
        p += std::wstring(length - p.size() - end.size(), L'x');
        return p + end;
    }

    RecordingMessageBox messages;
    FakeFiles files;
    MemorySettingsStore store;
    ProcessListSettings settings{&store};
    RecordingPage page;
    UploadListHost host;
    std::unique_ptr<UploadListModel> model;
};

// --- budgets ---------------------------------------------------------------

TEST_F(UploadListTest, SingleBudgetDefaultsTakeOnlyEmptyFiles) {
    EXPECT_EQ(model->AdmitByBudget(0), Admission::General);
    EXPECT_EQ(model->AdmitByBudget(1), Admission::Refused);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, L"업로드 가능한 전체크기[0 MB]를 초과하였습니다.\r\n");
    EXPECT_EQ(messages.shown[0].caption, L"Limit Upload File Size");
    EXPECT_EQ(messages.shown[0].style, unsigned(MbOk | MbIconStop));
}

TEST_F(UploadListTest, SingleBudgetFitsUpToTheLimitAndIgnoresOtherUseTypes) {
    Settings().useType = 2;  // anything but 1 is one budget
    model->SetLimitUploadSize(10);
    model->SetLimitUploadBigSize(100);
    model->AttachFileFromMail(L"s", L"s0", 6 * MiB);
    EXPECT_EQ(model->AdmitByBudget(4 * MiB), Admission::General);  // exactly the limit
    EXPECT_EQ(model->AdmitByBudget(4 * MiB + 1), Admission::Refused);
    EXPECT_EQ(model->AdmitByBudget(50 * MiB), Admission::Refused);  // no big budget here
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, L"업로드 가능한 전체크기[10 MB]를 초과하였습니다.\r\n");
}

TEST_F(UploadListTest, TwoBudgetsSplitBigFilesAndOverflowSmallOnes) {
    model->SetUseType(1);
    model->SetLimitUploadSize(10);
    model->SetLimitUploadBigSize(30);
    // limitGeneralSize stays at its 10 MiB default.
    EXPECT_EQ(model->AdmitByBudget(10 * MiB), Admission::General);
    EXPECT_EQ(model->AdmitByBudget(10 * MiB + 1), Admission::Big);
    model->AttachFileFromMail(L"s", L"s0", 8 * MiB);
    EXPECT_EQ(model->AdmitByBudget(5 * MiB), Admission::Big);  // overflows into the big budget
    files.AddFile(L"C:\\big", static_cast<uint64_t>(26 * MiB));
    model->AddChosenFiles({L"C:\\big"});
    EXPECT_EQ(model->AdmitByBudget(5 * MiB), Admission::Refused);
    EXPECT_EQ(model->AdmitByBudget(20 * MiB), Admission::Refused);
    ASSERT_EQ(messages.shown.size(), 2u);
    for (const auto& m : messages.shown) {
        EXPECT_EQ(m.text, L"대용량 첨부 가능한 전체크기[30 MB]를 초과하였습니다.\r\n");
        EXPECT_EQ(m.caption, L"Limit Upload File Size");
        EXPECT_EQ(m.style, unsigned(MbOk | MbIconStop));
    }
    EXPECT_TRUE(Mem().twoKindHeading);
}

// --- filter ------------------------------------------------------------------

TEST_F(UploadListTest, FilterTokensAreCaseSensitiveSuffixes) {
    model->UploadExtFilter(L"exe;dll");
    model->UploadExtFilter(L"");
    model->UploadExtFilter(L"com;");
    ASSERT_EQ(model->Filter().size(), 3u);
    EXPECT_EQ(model->Filter().back().token, L"com");
    EXPECT_EQ(model->Filter().back().tokenLength, 3);
    EXPECT_TRUE(model->IsFilteredPath(L"C:\\a\\setup.exe"));
    EXPECT_FALSE(model->IsFilteredPath(L"C:\\a\\SETUP.EXE"));
    EXPECT_TRUE(model->IsFilteredPath(L"C:\\a\\myexe"));
    EXPECT_FALSE(model->IsFilteredPath(L"xe"));  // shorter than the token
    EXPECT_FALSE(model->IsFilteredPath(L"C:\\a\\note.txt"));
}

TEST_F(UploadListTest, EmptyTokenFiltersEveryPath) {
    model->UploadExtFilter(L";exe");
    ASSERT_EQ(model->Filter().size(), 2u);
    EXPECT_EQ(model->Filter().front().tokenLength, 0);
    EXPECT_TRUE(model->IsFilteredPath(L"C:\\a\\note.txt"));
    model->ClearUploadList();
    model->UploadExtFilter(L"a;;b");
    EXPECT_TRUE(model->IsFilteredPath(L"anything"));
}

// --- file dialog route ---------------------------------------------------

TEST_F(UploadListTest, FileDialogChecksInOrder) {
    Roomy();
    model->UploadExtFilter(L"exe");
    files.AddFile(L"C:\\d\\ok.txt", 100);
    files.AddFile(L"C:\\d\\bad.exe", 100);
    std::wstring longFiltered = LongPath(251, L".exe");
    files.AddFile(longFiltered, 1);
    std::wstring at250 = LongPath(250), at251 = LongPath(251);
    files.AddFile(at250, 1);
    files.AddFile(at251, 1);
    // Missing comes first and is silent, even for a filtered name.
    model->AddChosenFiles({L"C:\\d\\gone.exe", L"C:\\d\\ok.txt", L"C:\\d\\bad.exe", longFiltered, at250,
                           at251, L"C:\\d\\ok.txt"});
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"ok.txt", at250.substr(5)}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].caption, L"업로드제한");
    EXPECT_EQ(messages.shown[0].style, unsigned(MbOk | MbIconWarning));
    EXPECT_EQ(messages.shown[0].text, std::wstring(L"[업로드 제한된 파일]\r\n\r\n") + L"C:\\d\\bad.exe[필터링]\r\n" +
                                          longFiltered + L"[필터링]\r\n" + at251 + L"[파일길이제한]\r\n");
    EXPECT_FALSE(model->RejectFlag());
    EXPECT_EQ(model->RejectSummary(), kRejectSummaryHeading);
    EXPECT_TRUE(page.calls.empty());  // this route never tells the page
    EXPECT_EQ(model->ListCount(), 2);
    EXPECT_EQ(Indexes(), (std::vector<int>{0, 1}));
    EXPECT_EQ(model->Entries().front().uniqueName, L"u0");
}

TEST_F(UploadListTest, FileDialogStopsAtCountLimitWithItsValues) {
    Roomy();
    model->SetLimitUploadCount(3);
    for (int i = 0; i < 6; ++i) files.AddFile(L"C:\\d\\f" + std::to_wstring(i), 10);
    model->AddChosenFiles({L"C:\\d\\f0", L"C:\\d\\f1", L"C:\\d\\f2", L"C:\\d\\f3", L"C:\\d\\f4"});
    EXPECT_EQ(model->TotalUploadCount(), 3);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              L"업로드할 수 있는 최대 파일 갯수인 3개를 초과하였습니다.\r\n현재 업로드 대기중인 파일은 3개 입니다.");
    EXPECT_EQ(messages.shown[0].caption, L"Limit Upload File Count");
    EXPECT_EQ(messages.shown[0].style, unsigned(MbOk | MbIconStop));
    // Zero means no limit.
    model->SetLimitUploadCount(0);
    model->AddChosenFiles({L"C:\\d\\f3", L"C:\\d\\f4", L"C:\\d\\f5"});
    EXPECT_EQ(model->TotalUploadCount(), 6);
}

TEST_F(UploadListTest, FileDialogSizeRefusalsAndBudgetStop) {
    model->SetLimitUploadSize(1);
    model->SetLimitFileSize(0.5);
    files.AddFile(L"C:\\d\\huge", 0x100000000ull);
    files.AddFile(L"C:\\d\\big", 600000);
    files.AddFile(L"C:\\e\\a", 500000);
    files.AddFile(L"C:\\e\\b", 500000);
    files.AddFile(L"C:\\f\\c", 500000);
    files.AddFile(L"C:\\f\\d", 1);
    model->AddChosenFiles({L"C:\\d\\huge", L"C:\\d\\big", L"C:\\e\\a", L"C:\\e\\b", L"C:\\f\\c", L"C:\\f\\d"});
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(model->GetTotalUpSize(), 1000000.0);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, L"업로드 가능한 전체크기[1 MB]를 초과하였습니다.\r\n");
    EXPECT_EQ(messages.shown[1].text,
              L"[업로드 제한된 파일]\r\n\r\nC:\\d\\huge[파일크기제한]\r\nC:\\d\\big[파일크기제한]\r\n");
    // The folder of the last file handed to the size and budget checks.
    EXPECT_EQ(LastUploadFolder(), L"C:\\f\\");
    EXPECT_EQ(store.values[L"SelectPath"], L"C:\\f\\");
}

TEST_F(UploadListTest, FileDialogWithOnlyFilteredFilesForgetsTheFolder) {
    store.keyExists = true;
    store.values[L"SelectPath"] = L"C:\\old";
    model->InitWindow();
    EXPECT_EQ(LastUploadFolder(), L"C:\\old");
    model->UploadExtFilter(L"txt");
    files.AddFile(L"C:\\d\\a.txt", 1);
    model->AddChosenFiles({L"C:\\d\\a.txt"});
    EXPECT_EQ(LastUploadFolder(), L"");
    EXPECT_EQ(store.values[L"SelectPath"], L"");
    // A cancelled dialog hands over nothing and changes nothing.
    LastUploadFolder() = L"C:\\keep\\";
    model->AddChosenFiles({});
    EXPECT_EQ(LastUploadFolder(), L"C:\\keep\\");
}

// --- folder walk ---------------------------------------------------------

TEST_F(UploadListTest, FolderWalkOnRealFilesNamesFromTheChosenFolder) {
    TempDir dir;
    dir.Write("proj/a.txt", "");
    dir.Write("proj/sub/b.txt", "");
    host.files = nullptr;  // the platform's own file system
    UploadListModel real(host);
    real.AttachFileFromMail(L"old.doc", L"srv1", 0);
    std::wstring root = dir.wpath();
    std::replace(root.begin(), root.end(), L'/', L'\\');
    // Default limits: empty files still fit the zero budget.
    real.AddChosenFolder(root + L"\\proj");
    std::vector<std::wstring> names;
    for (const UploadEntry& e : real.Entries()) names.push_back(e.fileName);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"old.doc", L"proj\\a.txt", L"proj\\sub\\b.txt"}));
    std::vector<int> idx;
    for (const UploadEntry& e : real.Entries()) idx.push_back(e.listIndex);
    EXPECT_EQ(idx, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(real.ListCount(), 3);
    EXPECT_EQ(real.RowCount(), 3);
    EXPECT_EQ(page.calls.size(), 2u);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(LastUploadFolder(), root + L"\\proj");
    EXPECT_NE(real.GetUpFileInfo().find(L"proj\\sub\\b.txt/u"), std::wstring::npos);
}

TEST_F(UploadListTest, FolderWalkChecksInOrder) {
    Roomy();
    model->SetLimitFileSize(1);
    model->UploadExtFilter(L"exe");
    files.AddFile(L"C:\\w\\busy.exe", 1, /*inUse=*/true);
    files.AddFile(L"C:\\w\\tool.exe", 1);
    std::wstring longName = LongPath(251, L".exe").substr(5);
    files.AddFile(L"C:\\w\\" + longName, 1);
    files.AddFile(L"C:\\w\\large.bin", 2 * 1048576);
    files.AddFile(L"C:\\w\\four.bin", 0x100000000ull);
    files.AddFile(L"C:\\w\\ok.txt", 7);
    // An entry already holding the long path: the duplicate check comes
    // before the length check in a walk, so it goes without a line.
    model->AppendLocalEntry(L"C:\\w\\" + longName, L"x", 1, 0, KindGeneral);
    model->Rows().InsertRow(0, UploadRow{});
    model->AddChosenFolder(L"C:\\w");
    EXPECT_EQ(LastUploadFolder(), L"C:\\w");
    EXPECT_EQ(store.values[L"SelectPath"], L"C:\\w");
    ASSERT_EQ(model->TotalUploadCount(), 2);
    EXPECT_EQ(model->Entries().back().fileName, L"w\\ok.txt");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, std::wstring(kRejectSummaryHeading) + L"C:\\w\\busy.exe[파일사용중]\r\n" +
                                          L"C:\\w\\tool.exe[필터링]\r\n" + L"C:\\w\\large.bin[파일크기제한]\r\n" +
                                          L"C:\\w\\four.bin[파일크기제한]\r\n");
    EXPECT_EQ(page.calls, std::vector<std::wstring>{L"UpdateSize"});
}

TEST_F(UploadListTest, FolderWalkStopsAtCountAndBudget) {
    model->SetLimitUploadSize(1);
    model->SetLimitUploadCount(2);
    files.AddFile(L"C:\\w\\a", 1);
    files.AddFile(L"C:\\w\\b", 1);
    files.AddFile(L"C:\\w\\sub\\c", 1);
    files.AddFile(L"C:\\w\\d", 1);
    model->AddChosenFolder(L"C:\\w");
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"w\\a", L"w\\b"}));
    EXPECT_EQ(page.countsSeen, (std::vector<int>{1, 2}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].caption, L"Limit Upload File Count");
    EXPECT_FALSE(model->WalkStopped());

    model->SetLimitUploadCount(0);
    model->SetLimitUploadSize(0);
    messages.shown.clear();
    files.exclusiveOpens.clear();
    model->AddChosenFolder(L"C:\\w");  // c is the first new file; the budget stops the walk
    EXPECT_EQ(model->TotalUploadCount(), 2);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].caption, L"Limit Upload File Size");
    EXPECT_EQ(files.exclusiveOpens.back(), L"C:\\w\\sub\\c");
}

TEST_F(UploadListTest, FolderOfFewerThanFourCharactersIsRefused) {
    files.AddFile(L"C:\\a", 0);
    model->AddChosenFolder(L"C:\\");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, L"지정된 경로를 찾을 수 없습니다.");
    EXPECT_EQ(messages.shown[0].caption, L"Not Found Path");
    EXPECT_EQ(messages.shown[0].style, unsigned(MbOk | MbIconStop));
    EXPECT_EQ(model->TotalUploadCount(), 0);
    EXPECT_EQ(LastUploadFolder(), L"C:");
}

// --- dropped items ----------------------------------------------------------

TEST_F(UploadListTest, DroppedFileChecksInOrder) {
    Roomy();
    model->SetLimitFileSize(1);
    model->UploadExtFilter(L"exe");
    std::wstring longDup = LongPath(251);
    std::wstring longExe = LongPath(251, L".exe");
    files.AddFile(longDup, 1);
    files.AddFile(longExe, 1);
    files.AddFile(L"C:\\d\\x.exe", 1);
    files.AddFile(L"C:\\d\\four", 0x100000000ull);
    files.AddFile(L"C:\\d\\large", 2 * 1048576);
    files.AddFile(L"C:\\d\\busy.txt", 3, /*inUse=*/true);  // only the walk minds
    model->AppendLocalEntry(longDup, L"dup", 1, 0, KindGeneral);
    model->Rows().InsertRow(0, UploadRow{});
    EXPECT_TRUE(model->AddDroppedItems(
        {longDup, L"", longExe, L"C:\\d\\x.exe", L"C:\\d\\four", L"C:\\d\\large", L"C:\\d\\gone", L"C:\\d\\busy.txt"}));
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"dup", L"busy.txt"}));
    EXPECT_EQ(Indexes(), (std::vector<int>{0, 1}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, std::wstring(kRejectSummaryHeading) + longExe + L"[파일길이제한]\r\n" +
                                          L"C:\\d\\x.exe[필터링]\r\n" + L"C:\\d\\four[파일크기제한]\r\n" +
                                          L"C:\\d\\large[파일크기제한]\r\n");
    EXPECT_EQ(page.calls.size(), 1u);
    EXPECT_EQ(model->ListCount(), 2);
}

// Each dropped path is looked up once (a folder's files not at all: the
// listing has their sizes), and the duplicate check knows the list's paths
// through every change of the list.
TEST_F(UploadListTest, DropLooksUpEachPathOnceAndKnowsTheListedPaths) {
    Roomy();
    files.AddFile(L"C:\\d\\a.txt", 1);
    files.AddFile(L"C:\\d\\b.txt", 2);
    files.AddFile(L"C:\\d\\f\\c.txt", 3);
    model->AddDroppedItems({L"C:\\d\\a.txt", L"C:\\d\\b.txt", L"C:\\d\\f", L"C:\\d\\gone"});
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"a.txt", L"b.txt", L"f\\c.txt"}));
    EXPECT_EQ(files.lookUps, (std::map<std::wstring, int>{
                                 {L"C:\\d\\a.txt", 1}, {L"C:\\d\\b.txt", 1}, {L"C:\\d\\f", 1}, {L"C:\\d\\gone", 1}}));
    model->AddDroppedItems({L"C:\\d\\a.txt", L"C:\\d\\f"});
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"a.txt", L"b.txt", L"f\\c.txt"}));
    // A deleted row's path may come again; the others stay duplicates.
    model->Rows().SetRowChecked(0, true);
    model->DeleteFile();
    model->AddDroppedItems({L"C:\\d\\a.txt", L"C:\\d\\b.txt"});
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"b.txt", L"f\\c.txt", L"a.txt"}));
    model->ClearUploadList();
    model->AddDroppedItems({L"C:\\d\\b.txt"});
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"b.txt"});
}

// One file, one entry, whatever name each route brings it by; files told
// apart by the system stay apart however alike their names.
TEST_F(UploadListTest, TheSameFileByAnotherNameIsADuplicate) {
    Roomy();
    files.AddFile(L"C:\\a\\Report.txt", 10);
    files.AddFile(L"C:\\a\\report.txt", 20);  // another file: a folder that tells case apart
    files.AddFile(L"C:\\a\\w\\Long Name.txt", 30);
    for (const wchar_t* alias :
         {L"c:\\A\\REPORT.TXT", L"C:\\a\\REPORT~1.TXT", L"C:\\a\\Report.txt.", L"C:\\a\\Report.txt "})
        files.aliases[alias] = L"C:\\a\\Report.txt";
    files.aliases[L"C:\\a\\LONGNA~1.TXT"] = L"C:\\a\\w\\Long Name.txt";
    model->AddChosenFiles({L"c:\\A\\REPORT.TXT", L"C:\\a\\Report.txt", L"C:\\a\\REPORT~1.TXT"});
    model->AddDroppedItems(
        {L"C:\\a\\Report.txt.", L"C:\\a\\Report.txt ", L"C:\\a\\report.txt", L"C:\\a\\LONGNA~1.TXT"});
    model->AddChosenFolder(L"C:\\a\\w");
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"REPORT.TXT", L"report.txt", L"LONGNA~1.TXT"}));
    EXPECT_EQ(model->GetTotalUpSize(), 60.0);
    // Gone from the list, the file may come again, by any name; the others
    // stay known.
    model->Rows().SetRowChecked(0, true);
    model->DeleteFile();
    model->AddDroppedItems({L"C:\\a\\Report.txt ", L"C:\\a\\REPORT~1.TXT", L"C:\\a\\w\\Long Name.txt"});
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"report.txt", L"LONGNA~1.TXT", L"Report.txt "}));
    // Where the system cannot say which file a name reaches, the path
    // decides, exactly as written.
    model->ClearUploadList();
    files.identities = false;
    model->AddDroppedItems({L"C:\\a\\Report.txt", L"C:\\a\\Report.txt", L"c:\\A\\REPORT.TXT"});
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"Report.txt", L"REPORT.TXT"}));
}

// The platform's file system knows a file by any path that reaches it: a
// hard link, a way through another folder and, where the system makes
// them, symbolic links.
TEST_F(UploadListTest, TheSameFileOnDiskByAnyPathIsADuplicate) {
    TempDir dir;
    std::filesystem::path a = dir.Write("a.txt", "");
    dir.Write("sub/other.txt", "");
    std::filesystem::create_hard_link(a, dir.path() / "hard.txt");
    std::error_code soft, linked;
    std::filesystem::create_symlink(a, dir.path() / "soft.txt", soft);
    std::filesystem::create_directory_symlink(dir.path() / "sub", dir.path() / "linked", linked);
    host.files = nullptr;
    UploadListModel real(host);
    std::wstring root = dir.wpath();
    std::replace(root.begin(), root.end(), L'/', L'\\');
    std::vector<std::wstring> paths = {root + L"\\a.txt", root + L"\\hard.txt", root + L"\\sub\\..\\a.txt",
                                       root + L"\\sub\\other.txt"};
    if (!soft) paths.push_back(root + L"\\soft.txt");
    if (!linked) paths.push_back(root + L"\\linked\\other.txt");
    real.AddDroppedItems(paths);
    std::vector<std::wstring> names;
    for (const UploadEntry& e : real.Entries()) names.push_back(e.fileName);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"a.txt", L"other.txt"}));
}

TEST_F(UploadListTest, DropOfShortPathEndsAtOnceWithoutSummary) {
    Roomy();
    model->UploadExtFilter(L"exe");
    files.AddFile(L"C:\\d\\a.exe", 1);
    files.AddFile(L"C:\\d\\b.txt", 1);
    files.AddFile(L"C:\\d\\c.txt", 1);
    EXPECT_FALSE(model->AddDroppedItems({L"C:\\d\\a.exe", L"C:\\d\\b.txt", L"C:", L"C:\\d\\c.txt"}));
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"b.txt"});
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].caption, L"Not Found Path");
    EXPECT_EQ(model->ListCount(), 0);  // not brought up to date by an ended drop
}

TEST_F(UploadListTest, DroppedFoldersEachStopOnTheirOwn) {
    Roomy();
    model->SetLimitUploadCount(1);
    files.AddFile(L"C:\\p\\a", 1);
    files.AddFile(L"C:\\p\\b", 1);
    files.AddFile(L"C:\\q\\c", 1);
    files.AddFile(L"C:\\r.txt", 1);
    EXPECT_TRUE(model->AddDroppedItems({L"C:\\p", L"C:\\q", L"C:\\r.txt"}));
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"p\\a"});
    // Once for the first folder, once for the second, once for the file,
    // which also ends the drop.
    ASSERT_EQ(messages.shown.size(), 3u);
    for (const auto& m : messages.shown) EXPECT_EQ(m.caption, L"Limit Upload File Count");
    EXPECT_FALSE(model->WalkStopped());
}

TEST_F(UploadListTest, DropBudgetRefusalLeavesTheRestUnprocessed) {
    model->SetLimitUploadSize(0);
    files.AddFile(L"C:\\d\\empty", 0);
    files.AddFile(L"C:\\d\\one", 1);
    files.AddFile(L"C:\\d\\empty2", 0);
    model->AddDroppedItems({L"C:\\d\\empty", L"C:\\d\\one", L"C:\\d\\empty2"});
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"empty"});
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(page.calls.size(), 1u);
}

// A page that changes the list from "UpdateSize" in the middle of a drop and
// a walk (the control refuses it, but a timer during a box may do the same):
// each file takes its row from the list as it is then.
TEST_F(UploadListTest, AdmissionsTakeTheirRowsFromTheListAsItIsThen) {
    Roomy();
    for (const wchar_t* path : {L"C:\\d\\a.txt", L"C:\\d\\b.txt", L"C:\\w\\c.txt", L"C:\\w\\e.txt"})
        files.AddFile(path, 10);
    page.script = [&] {
        EXPECT_TRUE(CallingPage());
        if (page.calls.size() == 1) model->AttachFileFromMail(L"mail.eml", L"m", 5);
        if (page.calls.size() == 3) {
            Mem().rows[0].checked = true;
            model->DeleteFile();
        }
    };
    model->AddDroppedItems({L"C:\\d\\a.txt", L"C:\\w", L"C:\\d\\b.txt"});
    EXPECT_FALSE(CallingPage());
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"mail.eml", L"w\\c.txt", L"w\\e.txt", L"b.txt"}));
    EXPECT_EQ(Indexes(), (std::vector<int>{0, 1, 2, 3}));
    ASSERT_EQ(Mem().rows.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Mem().rows[i].content.fileName, Names()[i]);
    EXPECT_EQ(model->ListCount(), 4);
}

// --- attachments from the server ------------------------------------------------

TEST_F(UploadListTest, AttachFromMailTakesEverythingAsItIs) {
    model->SetLimitUploadCount(1);
    model->UploadExtFilter(L"");
    model->AttachFileFromMail(L"a.doc", L"s1", 2048);
    model->AttachFileFromMail(L"a.doc", L"s1", 2048);
    EXPECT_EQ(model->TotalUploadCount(), 2);
    EXPECT_EQ(model->GetTotalUpSize(), 4096.0);
    EXPECT_EQ(model->GetSmallTotalSize(), 4096.0);
    EXPECT_EQ(model->GetBigTotalSize(), 0.0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(page.calls.empty());
    ASSERT_EQ(Mem().rows.size(), 2u);
    EXPECT_EQ(Mem().rows[1].content.iconIndex, kOnServerImage);
    EXPECT_EQ(Mem().rows[1].content.sizeText, L"2.00KB");
    EXPECT_EQ(model->GetUpFileInfo(), L"a.doc/s1/2|:|a.doc/s1/2");
}

TEST_F(UploadListTest, AttachFromMailReadsThePageSizeAsUnsigned32Bits) {
    model->AttachFileFromMail(L"a", L"s", 1234.9);
    model->AttachFileFromMail(L"c", L"s", 3000000000.0);
    model->AttachFileFromMail(L"d", L"s", 1e300);
    std::vector<double> sizes;
    for (const UploadEntry& e : model->Entries()) sizes.push_back(e.size);
    EXPECT_EQ(sizes, (std::vector<double>{1234, 3000000000.0, 0}));
}

TEST_F(UploadListTest, AttachFromMailRefusesSizesThatAreNoByteCount) {
    model->SetLimitUploadSize(1);
    model->AttachFileFromMail(L"keep.txt", L"s0", 100);
    for (double size : {-6291456.0, -0.5, std::nan(""), HUGE_VAL, -HUGE_VAL})
        model->AttachFileFromMail(L"bad.txt", L"s1", size);
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"keep.txt"});
    EXPECT_EQ(Mem().rows.size(), 1u);
    EXPECT_EQ(model->GetTotalUpSize(), 100.0);
    EXPECT_EQ(model->GetSmallTotalSize(), 100.0);
    // The budget still holds: a negative size took nothing off it.
    files.AddFile(L"C:\\d\\big.bin", 2 * 1048576);
    model->AddChosenFiles({L"C:\\d\\big.bin"});
    EXPECT_EQ(model->TotalUploadCount(), 1);
}

TEST_F(UploadListTest, DeletingServerFilesTakesBackWhatTheTotalsReceived) {
    const double fiveGiB = 5.0 * 1024 * MiB;
    model->AttachFileFromMail(L"movie.avi", L"s0", fiveGiB);
    model->AttachFileFromMail(L"half.txt", L"s1", 1234.5);
    model->AttachFileFromMail(L"keep.txt", L"s4", 100);
    EXPECT_EQ(model->GetTotalUpSize(), fiveGiB + 1334.5);
    EXPECT_EQ(model->GetSmallTotalSize(), fiveGiB + 1334.5);
    // The entry itself still keeps the 32-bit reading.
    EXPECT_EQ(model->Entries().front().size, 1.0 * 1024 * MiB);

    // A window that comes later counts the same totals again.
    MemoryUploadRows window;
    model->InitWindow();
    model->AttachRows(&window);
    EXPECT_EQ(model->GetSmallTotalSize(), fiveGiB + 1334.5);

    for (int row : {0, 1}) model->Rows().SetRowChecked(row, true);
    model->DeleteFile();
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"keep.txt"});
    EXPECT_EQ(model->GetTotalUpSize(), 100.0);
    EXPECT_EQ(model->GetSmallTotalSize(), 100.0);
    EXPECT_EQ(model->GetBigTotalSize(), 0.0);
    model->AttachRows(nullptr);
}

// --- texts -----------------------------------------------------------------------

TEST_F(UploadListTest, UpFileInfoAndLinkListTexts) {
    EXPECT_EQ(model->GetUpFileInfo(), L"");
    model->TestLinkListValue();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, L"No Item");
    EXPECT_EQ(messages.shown[0].caption, L"LinkedList Values");
    EXPECT_EQ(messages.shown[0].style, unsigned(MbOk));

    model->AttachFileFromMail(L"a.txt", L"S1", 10);
    EXPECT_EQ(model->GetUpFileInfo(), L"a.txt/S1/2");
    model->AppendLocalEntry(L"C:\\w\\sub\\b.txt", L"w\\sub\\b.txt", 2500000, 1, KindBig);
    EXPECT_EQ(model->GetUpFileInfo(), L"a.txt/S1/2|:|w\\sub\\b.txt/u1/1");
    model->TestLinkListValue();
    EXPECT_EQ(messages.shown[1].text, L"0=>a.txt=>S1=>10=>2\r\n1=>w\\sub\\b.txt=>u1=>2500000=>1\r\n");
}

// --- deletion and clearing ------------------------------------------------------------

TEST_F(UploadListTest, DeleteFileRemovesCheckedRowsAndRenumbers) {
    model->SetUseType(1);
    model->AttachFileFromMail(L"a", L"s0", 100);
    model->SetLimitUploadBigSize(1);  // the 200 bytes fit the big budget only
    files.AddFile(L"C:\\b", 200);
    model->AddChosenFiles({L"C:\\b"});
    model->AttachFileFromMail(L"c", L"s2", 400);
    model->Rows().SetRowChecked(0, true);
    model->Rows().SetRowChecked(2, true);
    model->DeleteFile();
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"b"});
    EXPECT_EQ(Indexes(), std::vector<int>{0});
    EXPECT_EQ(model->GetTotalUpSize(), 200.0);
    EXPECT_EQ(model->GetSmallTotalSize(), 0.0);
    EXPECT_EQ(model->GetBigTotalSize(), 200.0);
    EXPECT_EQ(model->ListCount(), 1);
    ASSERT_EQ(Mem().rows.size(), 1u);
    EXPECT_FALSE(Mem().rows[0].checked);
    EXPECT_TRUE(page.calls.empty());
}

TEST_F(UploadListTest, DeleteFileShiftsCheckStatesOfFollowingRows) {
    for (int i = 0; i < 5; ++i) model->AttachFileFromMail(L"f" + std::to_wstring(i), L"s", 1);
    // Adjacent checked rows: after row 0 goes, its successor moves into
    // row 0 with its check and must go too.
    for (int row : {0, 1, 3}) model->Rows().SetRowChecked(row, true);
    model->DeleteFile();
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"f2", L"f4"}));
    EXPECT_EQ(Indexes(), (std::vector<int>{0, 1}));
    EXPECT_EQ(model->GetTotalUpSize(), 2.0);
    EXPECT_EQ(model->RowCount(), 2);

    for (int i = 0; i < 2; ++i) model->Rows().SetRowChecked(i, true);
    model->DeleteFile();
    EXPECT_EQ(model->TotalUploadCount(), 0);
    EXPECT_EQ(model->GetTotalUpSize(), 0.0);
    EXPECT_EQ(model->ListCount(), 0);
}

TEST_F(UploadListTest, CheckAllDeletesEverythingButNeverAnUntickedRow) {
    model->UploadExtFilter(L"exe");
    model->AttachFileFromMail(L"a", L"s", 1);
    model->OnHeaderCheckClick();
    EXPECT_TRUE(model->CheckAll());
    EXPECT_TRUE(Mem().headerChecked);
    // A row added unticked clears the header box: DeleteFile takes the ticked
    // row only.
    model->AttachFileFromMail(L"late", L"s", 5);
    EXPECT_FALSE(Mem().rows[1].checked);
    EXPECT_FALSE(model->CheckAll());
    EXPECT_FALSE(Mem().headerChecked);
    model->DeleteFile();
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"late"});
    EXPECT_EQ(model->Filter().size(), 1u);
    // The box ticks every row; DeleteFile then empties the list and the filter.
    model->OnHeaderCheckClick();
    model->DeleteFile();
    EXPECT_EQ(model->TotalUploadCount(), 0);
    EXPECT_TRUE(model->Filter().empty());
    EXPECT_FALSE(model->CheckAll());
    EXPECT_FALSE(Mem().headerChecked);
    EXPECT_TRUE(Mem().hintShown);
    EXPECT_EQ(model->GetTotalUpSize(), 0.0);
    EXPECT_EQ(model->GetSmallTotalSize(), 0.0);
    EXPECT_EQ(model->GetBigTotalSize(), 0.0);
    EXPECT_EQ(model->RowCount(), 0);
    // Ticked, then emptied by the end of an upload: the box is clear.
    model->AttachFileFromMail(L"b", L"s", 1);
    model->OnHeaderCheckClick();
    model->ClearUploadList();
    EXPECT_FALSE(model->CheckAll());
    EXPECT_FALSE(Mem().headerChecked);
    // Stale all-ticked state with a row left unticked: only ticked rows go.
    model->AttachFileFromMail(L"c", L"s", 1);
    model->AttachFileFromMail(L"d", L"s", 1);
    model->OnHeaderCheckClick();
    Mem().rows[0].checked = false;
    model->DeleteFile();
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"c"});
}

TEST_F(UploadListTest, RowClicksKeepTheHeaderBoxInStep) {
    model->OnHeaderCheckClick();  // empty list: nothing
    EXPECT_FALSE(model->CheckAll());
    model->AttachFileFromMail(L"a", L"s", 1);
    model->AttachFileFromMail(L"b", L"s", 1);
    model->OnRowClick(0, 0);
    EXPECT_FALSE(model->CheckAll());
    model->OnRowClick(1, 0);
    EXPECT_TRUE(model->CheckAll());
    EXPECT_TRUE(Mem().headerChecked);
    model->OnRowClick(1, 0);
    EXPECT_FALSE(model->CheckAll());
    EXPECT_FALSE(Mem().headerChecked);
    EXPECT_TRUE(Mem().rows[0].checked);
    model->OnRowClick(7, 0);  // no such row
    model->OnHeaderCheckClick();
    EXPECT_TRUE(Mem().rows[1].checked);
    model->OnHeaderCheckClick();
    EXPECT_FALSE(Mem().rows[0].checked);
    EXPECT_FALSE(Mem().rows[1].checked);
}

// --- kind switch -------------------------------------------------------------------

TEST_F(UploadListTest, SwitchEntryKindMovesSizesBetweenBudgets) {
    Settings().useType = 1;
    model->SetLimitUploadSize(5);
    model->SetLimitUploadBigSize(8);
    files.AddFile(L"C:\\d\\g", 4 * 1048576);
    files.AddFile(L"C:\\d\\g2", 4 * 1048576);
    files.AddFile(L"C:\\d\\huge", 11 * 1048576);
    model->AddChosenFiles({L"C:\\d\\g", L"C:\\d\\g2"});  // general, then overflow to big
    model->SetLimitUploadBigSize(20);
    model->AddChosenFiles({L"C:\\d\\huge"});
    model->AttachFileFromMail(L"srv", L"s", 1);
    ASSERT_EQ(model->TotalUploadCount(), 4);
    EXPECT_EQ(model->KindBitmapForRow(0), BitmapGeneralSwitch);
    EXPECT_EQ(model->KindBitmapForRow(1), BitmapBigSwitch);
    EXPECT_EQ(model->KindBitmapForRow(2), BitmapBigFixed);
    EXPECT_EQ(model->KindBitmapForRow(3), BitmapServerFixed);
    EXPECT_EQ(model->KindBitmapForRow(9), BitmapNone);

    model->OnRowClick(2, 3);  // stays big
    model->OnRowClick(3, 3);  // on the server
    model->OnRowClick(1, 3);  // back to general would need 8 MiB of 5
    EXPECT_TRUE(page.calls.empty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, L"일반 첨부 가능한 전체크기[5 MB]를 초과하였습니다.\r\n");
    EXPECT_EQ(messages.shown[0].caption, L"Limit Upload File Size");

    model->OnRowClick(0, 3);  // general to big
    EXPECT_EQ(model->Entries().front().kind, KindBig);
    EXPECT_EQ(model->GetBigTotalSize(), 19.0 * MiB);
    EXPECT_EQ(model->GetSmallTotalSize(), 1.0);
    EXPECT_EQ(page.calls.size(), 1u);
    EXPECT_EQ(Mem().redraws, 1);
    model->OnRowClick(0, 3);  // and back
    EXPECT_EQ(model->GetSmallTotalSize(), 4.0 * MiB + 1);
    EXPECT_EQ(page.calls.size(), 2u);

    model->SetLimitUploadBigSize(1);
    model->OnRowClick(0, 3);
    EXPECT_EQ(messages.shown.back().text, L"대용량 첨부 가능한 전체크기[1 MB]를 초과하였습니다.\r\n");
    EXPECT_EQ(model->Entries().front().kind, KindGeneral);
    EXPECT_EQ(page.calls.size(), 2u);

    Settings().useType = 0;  // clicks switch nothing in the plain display
    model->SetLimitUploadBigSize(100);
    model->OnRowClick(0, 3);
    EXPECT_EQ(model->Entries().front().kind, KindGeneral);
}

// --- rows with and without a window ----------------------------------------------------

class ShellRows : public MemoryUploadRows {
public:
    ShellFileInfo QueryFileInfo(const std::wstring& path) override {
        ShellFileInfo info;
        info.iconIndex = 7;
        info.typeName = L"Text Document";
        info.ghosted = path.find(L".hidden") != std::wstring::npos;
        return info;
    }
};

TEST_F(UploadListTest, WindowRowsTakeOverEntriesAndChecks) {
    Roomy();
    files.AddFile(L"C:\\d\\a.txt", 1);
    files.AddFile(L"C:\\d\\.hidden", 1);
    model->AttachFileFromMail(L"srv", L"s", 10);
    model->AddChosenFiles({L"C:\\d\\a.txt"});
    EXPECT_EQ(model->RowCount(), 2);
    model->Rows().SetRowChecked(1, true);

    ShellRows window;
    model->InitWindow();
    model->AttachRows(&window);
    EXPECT_EQ(model->GetSmallTotalSize(), 11.0);  // still counted after the window came
    ASSERT_EQ(window.rows.size(), 2u);
    EXPECT_TRUE(window.rows[1].checked);
    EXPECT_EQ(window.rows[1].content.iconIndex, 7);
    EXPECT_EQ(window.rows[1].column3, L"Text Document");
    EXPECT_EQ(window.rows[0].content.iconIndex, kOnServerImage);
    EXPECT_EQ(window.rows[0].column3, L"");

    model->AddChosenFiles({L"C:\\d\\.hidden"});
    ASSERT_EQ(window.rows.size(), 3u);
    EXPECT_TRUE(window.rows[2].content.cut);
    model->SetUseType(1);
    EXPECT_TRUE(window.twoKindHeading);

    model->AttachRows(nullptr);
    EXPECT_EQ(model->RowCount(), 3);
    EXPECT_TRUE(model->Rows().IsRowChecked(1));
    model->Empty();
    EXPECT_EQ(model->RowCount(), 0);
    EXPECT_EQ(model->GetTotalUpSize(), 0.0);
}

TEST_F(UploadListTest, ColumnThreeTextFollowsTheDisplay) {
    Roomy();
    ShellRows window;
    model->AttachRows(&window);
    files.AddFile(L"C:\\d\\a.txt", 1);
    files.AddFile(L"C:\\d\\b.txt", 1);
    Settings().useType = 2;
    model->AddChosenFiles({L"C:\\d\\a.txt"});
    EXPECT_EQ(window.rows[0].column3, L"Text Document");  // fresh rows: any type but 1
    Settings().useType = 1;
    model->AddChosenFiles({L"C:\\d\\b.txt"});
    EXPECT_EQ(window.rows[1].column3, L"");
    Settings().useType = 2;
    window.rows[1].checked = true;
    model->DeleteFile();
    EXPECT_EQ(window.rows[0].column3, L"");  // rebuilt rows: only type 0
}

}  // namespace
}  // namespace parvex
