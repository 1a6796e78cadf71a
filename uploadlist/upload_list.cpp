#include "uploadlist/upload_list.h"

#include <algorithm>

#include "common/folders.h"
#include "common/format.h"

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
    MessageAnswer Show(const std::wstring&, const std::wstring&, unsigned) override { return IdOk; }
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

// ---------------------------------------------------------------------------

UploadListModel::UploadListModel(const UploadListHost& host)
    : host_(host),
      files_(host.files ? *host.files : LocalFileSystem()),
      settings_(host.settings ? host.settings : &storeless_),
      rejectSummary_(kRejectSummaryHeading),
      rows_(&memoryRows_) {}

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
    listCount_ = rows_->RowCount();
    if (listCount_ > 0) rows_->RemoveEmptyHint();
}

void UploadListModel::InitWindow() {
    settings_->LoadFolder();
    // Entries the page attached before the window existed keep counting.
    totals_.general = 0;
    totals_.big = 0;
    for (const UploadEntry& e : Entries()) Count(e.kind, e.countedSize);
    ResetRejectSummary();
    checkAll_ = false;
}

void UploadListModel::SetUseType(int type) {
    settings_->SetUseType(type);
    if (type == 1) rows_->ShowTwoKindHeading();
}

void UploadListModel::Count(int kind, double size) {
    if (kind == KindBig)
        totals_.big += size;
    else
        totals_.general += size;
}

// ---------------------------------------------------------------------------

std::wstring UploadListModel::GetUpFileInfo() const {
    std::wstring text;
    bool first = true;
    for (const UploadEntry& e : Entries()) {
        if (!first) text += L"|:|";
        first = false;
        text += e.fileName + L"/" + e.uniqueName + L"/" + std::to_wstring(e.kind);
    }
    return text;
}

std::wstring UploadListModel::LinkListText() const {
    if (entries_.Empty()) return L"No Item";
    std::wstring text;
    for (const UploadEntry& e : Entries())
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

Admission UploadListModel::AdmitByBudget(double size) {
    switch (rules_.Place(size, totals_, TwoKinds())) {
    case BudgetPlace::General:
        return Admission::General;
    case BudgetPlace::Big:
        return Admission::Big;
    case BudgetPlace::OverBigBudget:
        ShowBudgetMessage(kBigBudgetText, rules_.limits.bigSize);
        return Admission::Refused;
    case BudgetPlace::OverTotalBudget:
        ShowBudgetMessage(kTotalBudgetText, rules_.limits.uploadSize);
        return Admission::Refused;
    }
    return Admission::Refused;
}

std::wstring UploadListModel::FileKey(const std::wstring& path) const {
    std::wstring identity = files_.FileIdentity(path);
    return identity.empty() ? L"path " + path : L"file " + identity;
}

void UploadListModel::ShowCountMessage() {
    rows_->ShowAdded();
    Messages().Show(FormatText(kCountText, rules_.limits.uploadCount, TotalUploadCount()), kCountCaption,
                    MbOk | MbIconStop);
}

void UploadListModel::AddRejectLine(const std::wstring& path, const std::wstring& tag) {
    rejectSummary_ += path + tag + L"\r\n";
    rejectFlag_ = true;
}

void UploadListModel::ResetRejectSummary() {
    rejectSummary_ = kRejectSummaryHeading;
    rejectFlag_ = false;
}

void UploadListModel::ShowRejectSummary() {
    if (rejectFlag_) Messages().Show(rejectSummary_, kSummaryCaption, MbOk | MbIconWarning);
    ResetRejectSummary();
}

// ---------------------------------------------------------------------------

std::wstring UploadListModel::NewUniqueName(int row) {
    return host_.uniqueName ? host_.uniqueName(row) : MakeUniqueName(row);
}

void UploadListModel::AppendLocalEntry(const std::wstring& localPath, const std::wstring& fileName,
                                       uint32_t size, int row, int kind) {
    AppendKnownFile(FileKey(localPath), localPath, fileName, size, row, kind, size);
}

void UploadListModel::AppendKnownFile(const std::wstring& fileKey, const std::wstring& localPath,
                                      const std::wstring& fileName, uint32_t size, int row, int kind,
                                      double counted) {
    UploadEntry e;
    e.localPath = localPath;
    e.fileName = fileName;
    e.uniqueName = NewUniqueName(row);
    e.kind = kind;
    e.size = size;
    e.countedSize = counted;
    e.listIndex = row;
    e.fileKey = fileKey;
    entries_.Append(std::move(e));
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
    bool typeNames = settings_->UseType() == 0;
    for (const UploadEntry& e : Entries()) {
        ShellFileInfo info;
        rows_->InsertRow(e.listIndex, RowFor(e, true, &info));
        // Rebuilt rows name the type only in the plain display.
        if (e.kind != KindOnServer && typeNames) rows_->SetColumn3Text(e.listIndex, info.typeName);
    }
}

void UploadListModel::AdmitLocalFile(Candidate& c, const std::wstring& fileName) {
    const std::wstring& localPath = c.path;
    double totalsSize = static_cast<double>(c.Size());
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
    totals_.all += totalsSize;
    AppendKnownFile(KeyOf(c), localPath, fileName, entrySize, row, c.kind, totalsSize);
    Count(c.kind, totalsSize);
    rows_->SetColumn3Text(row, !TwoKinds() ? info.typeName : std::wstring());
}

void UploadListModel::AfterAdding() {
    listCount_ = rows_->RowCount();
    if (listCount_ > 0) {
        rows_->ScrollIntoView(listCount_ - 1);
        rows_->RemoveEmptyHint();
    }
}

// ---------------------------------------------------------------------------

void UploadListModel::SwitchEntryKind(int row) {
    const UploadEntry* e = entries_.AtRow(row);
    if (!e) return;
    switch (rules_.CanSwitch(*e, totals_)) {
    case KindSwitch::Fixed:
        return;
    case KindSwitch::OverBigBudget:
        ShowBudgetMessage(kBigBudgetText, rules_.limits.bigSize);
        return;
    case KindSwitch::OverGeneralBudget:
        ShowBudgetMessage(kGeneralBudgetText, rules_.limits.uploadSize);
        return;
    case KindSwitch::Allowed:
        break;
    }
    int from = e->kind, to = from == KindGeneral ? KindBig : KindGeneral;
    double size = e->size;
    entries_.SetKind(row, to);
    Count(to, size);
    Count(from, -size);
    rows_->RedrawRows(0, rows_->RowCount());
    Notify();
}

void UploadListModel::DeleteFile() {
    std::vector<bool> ticked;
    for (int i = 0; i < rows_->RowCount(); ++i) ticked.push_back(rows_->IsRowChecked(i));
    // The header box stands for every row ticked; a row the user left
    // unticked is never removed on its account.
    if (checkAll_ && std::all_of(ticked.begin(), ticked.end(), [](bool t) { return t; })) {
        ClearUploadList();
        return;
    }
    // List order is row order: one pass takes out the entries of ticked rows
    // and gives the others their new rows, however many go.
    double removed = 0;
    auto isTicked = [&](const UploadEntry& e) {
        return e.listIndex >= 0 && e.listIndex < static_cast<int>(ticked.size()) && ticked[e.listIndex];
    };
    // What the totals received, which for a server file of 4 GiB or a
    // fractional size is not the entry's 32-bit size.
    auto takeOut = [&](const UploadEntry& e) {
        Count(e.kind, -e.countedSize);
        removed += e.countedSize;
    };
    entries_.RemoveIf(isTicked, takeOut);
    totals_.all -= removed;
    RebuildRows();
    listCount_ = rows_->RowCount();
    ClearHeaderCheck();
}

bool UploadListModel::AllRowsChecked() {
    for (int i = 0; i < rows_->RowCount(); ++i)
        if (!rows_->IsRowChecked(i)) return false;
    return true;
}

void UploadListModel::ClearHeaderCheck() {
    rows_->SetHeaderChecked(false);
    checkAll_ = false;
}

void UploadListModel::RowAddedUnticked() {
    if (checkAll_) ClearHeaderCheck();
}

void UploadListModel::ClearUploadList() {
    entries_.Clear();
    rules_.ClearFilter();
    rows_->DeleteAllRows();
    rows_->ShowEmptyHint();
    ClearHeaderCheck();
    ZeroTotals();
}

void UploadListModel::Empty() {
    entries_.Clear();
    memoryRows_.rows.clear();
    ZeroTotals();
}

void UploadListModel::ZeroTotals() {
    totals_ = UploadTotals();
    listCount_ = 0;
}

// ---------------------------------------------------------------------------

void UploadListModel::OnHeaderCheckClick() {
    int count = rows_->RowCount();
    if (count == 0) return;
    bool check = !checkAll_;
    rows_->SetHeaderChecked(check);
    checkAll_ = check;
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
        checkAll_ = all;
    } else if (column == 3 && TwoKinds()) {
        SwitchEntryKind(row);
    }
}

int UploadListModel::KindBitmapForRow(int row) {
    const UploadEntry* e = entries_.AtRow(row);
    if (!e) return BitmapNone;
    if (rules_.MustBeBig(e->size) && e->kind != KindOnServer) return BitmapBigFixed;
    if (e->kind == KindOnServer) return BitmapServerFixed;
    return e->kind == KindGeneral ? BitmapGeneralSwitch : BitmapBigSwitch;
}

}  // namespace parvex
