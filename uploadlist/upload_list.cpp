#include "uploadlist/upload_list.h"

#include <algorithm>

#include "common/folders.h"
#include "common/format.h"
#include "common/settings.h"

namespace parvex {

const wchar_t* const kRejectSummaryHeading = L"[업로드 제한된 파일]\r\n\r\n";
const wchar_t* const kTagFileInUse = L"[파일사용중]";
const wchar_t* const kTagFiltered = L"[필터링]";
const wchar_t* const kTagPathLength = L"[파일길이제한]";
const wchar_t* const kTagFileSize = L"[파일크기제한]";

namespace {

const wchar_t* const kSizeCaption = L"Limit Upload File Size";
const wchar_t* const kCountCaption = L"Limit Upload File Count";
const wchar_t* const kBigBudgetText = L"대용량 첨부 가능한 전체크기[%.f MB]를 초과하였습니다.\r\n";
const wchar_t* const kTotalBudgetText = L"업로드 가능한 전체크기[%.f MB]를 초과하였습니다.\r\n";
const wchar_t* const kGeneralBudgetText = L"일반 첨부 가능한 전체크기[%.f MB]를 초과하였습니다.\r\n";
const wchar_t* const kCountText =
    L"업로드할 수 있는 최대 파일 갯수인 %d개를 초과하였습니다.\r\n현재 업로드 대기중인 파일은 %d개 입니다.";
const wchar_t* const kSummaryCaption = L"업로드제한";
const wchar_t* const kLinkListCaption = L"LinkedList Values";

// Stands in when the host gave no message box: the list still works and
// every question gets the OK answer.
class QuietMessages : public MessageBoxHost {
public:
    int Show(const std::wstring&, const std::wstring&, unsigned) override { return IdOk; }
};

}  // namespace

// ---------------------------------------------------------------------------

void MemoryUploadRows::InsertRow(int row, const UploadRow& content) {
    Row r;
    r.content = content;
    if (row < 0 || row > static_cast<int>(rows.size())) row = static_cast<int>(rows.size());
    rows.insert(rows.begin() + row, r);
}

void MemoryUploadRows::SetColumn3Text(int row, const std::wstring& text) {
    if (row >= 0 && row < static_cast<int>(rows.size())) rows[row].column3 = text;
}

bool MemoryUploadRows::IsRowChecked(int row) {
    return row >= 0 && row < static_cast<int>(rows.size()) && rows[row].checked;
}

void MemoryUploadRows::SetRowChecked(int row, bool checked) {
    if (row >= 0 && row < static_cast<int>(rows.size())) rows[row].checked = checked;
}

std::wstring& LastUploadFolder() {
    static std::wstring folder;
    return folder;
}

// ---------------------------------------------------------------------------

UploadListModel::UploadListModel(const UploadListHost& host)
    : host_(host), files_(host.files ? *host.files : LocalFileSystem()), rows_(&memoryRows_) {
    rejectSummary = kRejectSummaryHeading;
}

UploadListModel::~UploadListModel() = default;

UploadRows& UploadListModel::Rows() { return *rows_; }

MessageBoxHost& UploadListModel::Messages() {
    static QuietMessages quiet;
    return host_.messages ? *host_.messages : quiet;
}

void UploadListModel::AttachRows(UploadRows* rows) {
    UploadRows* next = rows ? rows : &memoryRows_;
    if (next == rows_) return;
    std::vector<bool> checks;
    for (int i = 0; i < rows_->RowCount(); ++i) checks.push_back(rows_->IsRowChecked(i));
    rows_ = next;
    if (next != &memoryRows_) memoryRows_.rows.clear();
    RebuildRows();
    for (int i = 0; i < rows_->RowCount() && i < static_cast<int>(checks.size()); ++i)
        if (checks[i]) rows_->SetRowChecked(i, true);
    listCount = rows_->RowCount();
    if (listCount > 0) rows_->RemoveEmptyHint();
}

void UploadListModel::InitWindow() {
    if (host_.store) LastUploadFolder() = LoadSelectPath(*host_.store, false, std::wstring());
    // Entries the page attached before the window existed keep counting.
    generalTotal = 0;
    bigTotal = 0;
    for (const UploadEntry& e : uploadList) {
        if (e.kind == KindBig)
            bigTotal += e.countedSize;
        else
            generalTotal += e.countedSize;
    }
    ResetRejectSummary();
    checkAll = false;
}

void UploadListModel::SetUseType(int type) {
    Settings().useType = type;
    if (type == 1) rows_->ShowTwoKindHeading();
}

void UploadListModel::UploadExtFilter(const std::wstring& filterText) {
    std::wstring rest = filterText;
    while (!rest.empty()) {
        size_t pos = rest.find(L';');
        FilterToken t;
        if (pos == std::wstring::npos) {
            t.token = rest;
            rest.clear();
        } else {
            t.token = rest.substr(0, pos);
            rest = rest.substr(pos + 1);
        }
        t.tokenLength = static_cast<int>(t.token.size());
        filterList.push_back(t);
    }
}

// ---------------------------------------------------------------------------

std::wstring UploadListModel::GetUpFileInfo() const {
    std::wstring text;
    bool first = true;
    for (const UploadEntry& e : uploadList) {
        if (!first) text += L"|:|";
        first = false;
        text += e.fileName + L"/" + e.uniqueName + L"/" + std::to_wstring(e.kind);
    }
    return text;
}

std::wstring UploadListModel::LinkListText() const {
    if (uploadList.empty()) return L"No Item";
    std::wstring text;
    for (const UploadEntry& e : uploadList)
        text += FormatText(L"%d=>%ls=>%ls=>%.f=>%d\r\n", e.listIndex, e.fileName.c_str(),
                           e.uniqueName.c_str(), e.size, e.kind);
    return text;
}

void UploadListModel::TestLinkListValue() { Messages().Show(LinkListText(), kLinkListCaption, MbOk); }

// ---------------------------------------------------------------------------

void UploadListModel::ShowBudgetMessage(const wchar_t* format, double limit) {
    rows_->ShowAdded();
    Messages().Show(FormatText(format, limit / 1048576.0), kSizeCaption, MbOk | MbIconStop);
}

int UploadListModel::AdmitByBudget(double size) {
    if (Settings().useType == 1) {
        if (size > limitGeneralSize) {
            if (bigTotal + size > limitBigSize) {
                ShowBudgetMessage(kBigBudgetText, limitBigSize);
                return kRefusedKind;
            }
            return KindBig;
        }
        if (generalTotal + size <= limitUploadSize) return KindGeneral;
        if (bigTotal + size <= limitBigSize) return KindBig;
        ShowBudgetMessage(kBigBudgetText, limitBigSize);
        return kRefusedKind;
    }
    if (generalTotal + size > limitUploadSize) {
        ShowBudgetMessage(kTotalBudgetText, limitUploadSize);
        return kRefusedKind;
    }
    return KindGeneral;
}

std::wstring UploadListModel::FileKey(const std::wstring& path) const {
    std::wstring identity = files_.FileIdentity(path);
    return identity.empty() ? L"path " + path : L"file " + identity;
}

bool UploadListModel::IsFilteredPath(const std::wstring& path) const {
    for (const FilterToken& t : filterList) {
        size_t len = t.tokenLength < 0 ? 0 : static_cast<size_t>(t.tokenLength);
        std::wstring tail = path.size() > len ? path.substr(path.size() - len) : path;
        if (tail == t.token) return true;
    }
    return false;
}

bool UploadListModel::CountLimitReached() const {
    return limitUploadCount != 0 && TotalUploadCount() + 1 > limitUploadCount;
}

void UploadListModel::ShowCountMessage() {
    rows_->ShowAdded();
    Messages().Show(FormatText(kCountText, limitUploadCount, TotalUploadCount()), kCountCaption,
                         MbOk | MbIconStop);
}

void UploadListModel::AddRejectLine(const std::wstring& path, const std::wstring& tag) {
    rejectSummary += path + tag + L"\r\n";
    rejectFlag = true;
}

void UploadListModel::ResetRejectSummary() {
    rejectSummary = kRejectSummaryHeading;
    rejectFlag = false;
}

void UploadListModel::ShowRejectSummary() {
    if (rejectFlag) Messages().Show(rejectSummary, kSummaryCaption, MbOk | MbIconWarning);
    ResetRejectSummary();
}

// ---------------------------------------------------------------------------

std::wstring UploadListModel::NewUniqueName(int row) {
    return host_.uniqueName ? host_.uniqueName(row) : MakeUniqueName(row);
}

void UploadListModel::AppendLocalEntry(const std::wstring& localPath, const std::wstring& fileName,
                                       uint32_t size, int row, int kind) {
    AppendKnownFile(FileKey(localPath), localPath, fileName, size, row, kind);
}

void UploadListModel::AppendKnownFile(const std::wstring& fileKey, const std::wstring& localPath,
                                      const std::wstring& fileName, uint32_t size, int row, int kind) {
    UploadEntry e;
    e.localPath = localPath;
    e.fileName = fileName;
    e.uniqueName = NewUniqueName(row);
    e.kind = kind;
    e.size = size;
    e.countedSize = size;
    e.listIndex = row;
    e.fileKey = fileKey;
    uploadList.push_back(e);
    fileKeys_.insert(fileKey);
}

void UploadListModel::AppendServerEntry(const std::wstring& uniqueName, const std::wstring& fileName,
                                        uint32_t size, int row) {
    UploadEntry e;
    e.fileName = fileName;
    e.uniqueName = uniqueName;
    e.kind = KindOnServer;
    e.size = size;
    e.countedSize = size;
    e.listIndex = row;
    uploadList.push_back(e);
}

UploadEntry* UploadListModel::FindEntryByIndex(int row) {
    for (UploadEntry& e : uploadList)
        if (e.listIndex == row) return &e;
    return nullptr;
}

namespace {

// How many calls into the page this thread has under way.
thread_local int pageCalls = 0;

class PageCall {
public:
    PageCall() { ++pageCalls; }
    ~PageCall() { --pageCalls; }
    PageCall(const PageCall&) = delete;
    PageCall& operator=(const PageCall&) = delete;
};

}  // namespace

bool CallingPage() { return pageCalls > 0; }

void UploadListModel::Notify() {
    if (!host_.page) return;
    PageCall call;
    host_.page->InvokePageFunction(L"UpdateSize");
}

UploadRow UploadListModel::RowFor(const UploadEntry& entry, bool rebuilt, ShellFileInfo* info) {
    UploadRow row;
    row.fileName = entry.fileName;
    row.sizeText = FormatSize(entry.size);
    if (entry.kind == KindOnServer) {
        row.iconIndex = kOnServerImage;
        return row;
    }
    ShellFileInfo found = rows_->QueryFileInfo(entry.localPath);
    row.iconIndex = found.iconIndex;
    row.cut = !rebuilt && found.ghosted;
    if (info) *info = found;
    return row;
}

void UploadListModel::RebuildRows() {
    AddingRows adding(*rows_);
    rows_->DeleteAllRows();
    for (const UploadEntry& e : uploadList) {
        ShellFileInfo info;
        rows_->InsertRow(e.listIndex, RowFor(e, true, &info));
        // Rebuilt rows name the type only in the plain display.
        if (e.kind != KindOnServer && Settings().useType == 0) rows_->SetColumn3Text(e.listIndex, info.typeName);
    }
}

void UploadListModel::AdmitLocalFile(Candidate& c, const std::wstring& fileName) {
    const std::wstring& localPath = c.path;
    double totalsSize = static_cast<double>(c.Size());
    int kind = c.kind;
    int row = NextRow();
    uint32_t entrySize = static_cast<uint32_t>(static_cast<uint64_t>(totalsSize) & 0xFFFFFFFFull);
    ShellFileInfo info = rows_->QueryFileInfo(localPath);
    UploadRow content;
    content.fileName = fileName;
    content.sizeText = FormatSize(totalsSize);
    content.iconIndex = info.iconIndex;
    content.cut = info.ghosted;
    rows_->InsertRow(row, content);
    RowAddedUnticked();
    totalSize += totalsSize;
    AppendKnownFile(KeyOf(c), localPath, fileName, entrySize, row, kind);
    uploadList.back().countedSize = totalsSize;
    if (kind == KindBig)
        bigTotal += totalsSize;
    else
        generalTotal += totalsSize;
    rows_->SetColumn3Text(row, Settings().useType != 1 ? info.typeName : std::wstring());
}

void UploadListModel::AfterAdding() {
    listCount = rows_->RowCount();
    if (listCount > 0) {
        rows_->ScrollIntoView(listCount - 1);
        rows_->RemoveEmptyHint();
    }
}

// ---------------------------------------------------------------------------

// ---------------------------------------------------------------------------

void UploadListModel::SwitchEntryKind(int row) {
    UploadEntry* e = FindEntryByIndex(row);
    if (!e) return;
    if (e->size > limitGeneralSize && e->kind == KindBig) return;
    if (e->kind == KindOnServer) return;
    if (e->kind == KindGeneral) {
        if (bigTotal + e->size > limitBigSize) {
            ShowBudgetMessage(kBigBudgetText, limitBigSize);
            return;
        }
        e->kind = KindBig;
        bigTotal += e->size;
        generalTotal -= e->size;
    } else {
        if (generalTotal + e->size > limitUploadSize) {
            ShowBudgetMessage(kGeneralBudgetText, limitUploadSize);
            return;
        }
        e->kind = KindGeneral;
        bigTotal -= e->size;
        generalTotal += e->size;
    }
    rows_->RedrawRows(0, rows_->RowCount());
    Notify();
}

void UploadListModel::DeleteFile() {
    std::vector<bool> ticked;
    for (int i = 0; i < rows_->RowCount(); ++i) ticked.push_back(rows_->IsRowChecked(i));
    // The header box stands for every row ticked; a row the user left
    // unticked is never removed on its account.
    if (checkAll && std::all_of(ticked.begin(), ticked.end(), [](bool t) { return t; })) {
        ClearUploadList();
        return;
    }
    // List order is row order: one pass takes out the entries of ticked rows
    // and gives the others their new rows, however many go.
    double removed = 0;
    int next = 0;
    for (auto it = uploadList.begin(); it != uploadList.end();) {
        int row = it->listIndex;
        if (row >= 0 && row < static_cast<int>(ticked.size()) && ticked[row]) {
            removed += TakeOutOfTotals(*it);
            it = uploadList.erase(it);
        } else {
            it->listIndex = next++;
            ++it;
        }
    }
    totalSize -= removed;
    RebuildRows();
    listCount = rows_->RowCount();
    ClearHeaderCheck();
}

bool UploadListModel::AllRowsChecked() {
    for (int i = 0; i < rows_->RowCount(); ++i)
        if (!rows_->IsRowChecked(i)) return false;
    return true;
}

void UploadListModel::ClearHeaderCheck() {
    rows_->SetHeaderChecked(false);
    checkAll = false;
}

void UploadListModel::RowAddedUnticked() {
    if (checkAll) ClearHeaderCheck();
}

double UploadListModel::TakeOutOfTotals(const UploadEntry& entry) {
    // What the totals received, which for a server file of 4 GiB or a
    // fractional size is not the entry's 32-bit size.
    if (entry.kind == KindBig)
        bigTotal -= entry.countedSize;
    else
        generalTotal -= entry.countedSize;
    auto key = entry.fileKey.empty() ? fileKeys_.end() : fileKeys_.find(entry.fileKey);
    if (key != fileKeys_.end()) fileKeys_.erase(key);
    return entry.countedSize;
}

void UploadListModel::ClearUploadList() {
    uploadList.clear();
    fileKeys_.clear();
    filterList.clear();
    rows_->DeleteAllRows();
    rows_->ShowEmptyHint();
    ClearHeaderCheck();
    ZeroTotals();
}

void UploadListModel::Empty() {
    uploadList.clear();
    fileKeys_.clear();
    memoryRows_.rows.clear();
    ZeroTotals();
}

void UploadListModel::ZeroTotals() {
    totalSize = 0;
    generalTotal = 0;
    bigTotal = 0;
    listCount = 0;
}

// ---------------------------------------------------------------------------

void UploadListModel::OnHeaderCheckClick() {
    int count = rows_->RowCount();
    if (count == 0) return;
    bool check = !checkAll;
    rows_->SetHeaderChecked(check);
    checkAll = check;
    for (int i = 0; i < count; ++i) rows_->SetRowChecked(i, check);
}

void UploadListModel::OnRowClick(int row, int column) {
    int count = rows_->RowCount();
    if (row < 0 || row >= count) return;
    if (column == 0) {
        if (rows_->IsRowChecked(row)) {
            rows_->SetRowChecked(row, false);
            ClearHeaderCheck();
            return;
        }
        rows_->SetRowChecked(row, true);
        bool all = AllRowsChecked();
        rows_->SetHeaderChecked(all);
        checkAll = all;
    } else if (column == 3 && Settings().useType == 1) {
        SwitchEntryKind(row);
    }
}

int UploadListModel::KindBitmapForRow(int row) {
    UploadEntry* e = FindEntryByIndex(row);
    if (!e) return BitmapNone;
    if (e->size > limitGeneralSize && e->kind != KindOnServer) return BitmapBigFixed;
    if (e->kind == KindOnServer) return BitmapServerFixed;
    return e->kind == KindGeneral ? BitmapGeneralSwitch : BitmapBigSwitch;
}

}  // namespace parvex
