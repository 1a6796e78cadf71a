// The ways files enter the upload list: the file dialog's paths, a chosen
// folder, a drop, and attachments already on the server. Each route screens
// its files with the admission checks in its own order.
#include <cmath>

#include "common/folders.h"
#include "common/format.h"
#include "uploadlist/upload_list.h"

namespace parvex {

namespace {

const wchar_t* const kNotFoundText = L"지정된 경로를 찾을 수 없습니다.";
const wchar_t* const kNotFoundCaption = L"Not Found Path";

// Name after the last separator. The shell hands out "\" paths; "/" cannot
// be part of a Windows file name, so taking it too only helps other hosts.
std::wstring LastComponent(const std::wstring& path) {
    size_t pos = path.find_last_of(L"\\/");
    return pos == std::wstring::npos ? path : path.substr(pos + 1);
}

// Folder part up to and including the last separator; empty without one.
std::wstring FolderPart(const std::wstring& path) {
    size_t pos = path.find_last_of(L"\\/");
    return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos + 1);
}

// The page's size: truncated toward zero and kept as its low 32 bits, which
// is the 32-bit reading for every value in range. Values no integer can
// hold become 0 instead of an undefined conversion.
uint32_t PageSizeToU32(double size) {
    if (!std::isfinite(size) || std::fabs(size) >= 9.0e18) return 0;
    long long whole = static_cast<long long>(size);
    return static_cast<uint32_t>(static_cast<unsigned long long>(whole) & 0xFFFFFFFFull);
}

}  // namespace

void UploadListModel::ShowNotFoundPath() {
    rows_->ShowAdded();
    Messages().Show(kNotFoundText, kNotFoundCaption, MbOk | MbIconStop);
}

void UploadListModel::AdmitScreened(Candidate& c, const std::wstring& fileName) {
    AdmitLocalFile(c, fileName);
    Notify();
}

void UploadListModel::AddChosenFiles(const std::vector<std::wstring>& paths) {
    ResetRejectSummary();
    // No path at all is what a cancelled dialog gives: the remembered folder
    // stays as it is.
    if (paths.empty()) return;
    std::wstring lastTried;
    {
        AddingRows adding(Rows());
        for (const std::wstring& path : paths) {
            Candidate c(path);
            Verdict v = Screen({Check::Exists, Check::Filter, Check::PathLength, Check::Duplicate, Check::Count}, c);
            if (v == Verdict::Stop) break;
            if (v != Verdict::Pass) continue;
            lastTried = path;
            AddLocalResult result = AddScreenedFile(c);
            if (result == AddLocalResult::RefusedByBudget) break;
            if (result == AddLocalResult::RefusedBySize) AddRejectLine(path, kTagFileSize);
        }
    }
    std::wstring folder = FolderPart(lastTried);
    settings_->KeepFolder(folder, folder);
    ShowRejectSummary();
}

AddLocalResult UploadListModel::AddLocalFile(const std::wstring& path) {
    Candidate c(path);
    return AddScreenedFile(c);
}

AddLocalResult UploadListModel::AddScreenedFile(Candidate& c) {
    Verdict v = FirstRefusal({Check::FileSize, Check::Budget}, c);
    if (v == Verdict::Skip) return AddLocalResult::FileVanished;
    if (v == Verdict::Reject) return AddLocalResult::RefusedBySize;
    if (v == Verdict::Stop) return AddLocalResult::RefusedByBudget;
    AdmitLocalFile(c, LastComponent(c.path));
    AfterAdding();
    return AddLocalResult::Added;
}

void UploadListModel::AddChosenFolder(const std::wstring& folder) {
    ResetRejectSummary();
    if (folder.empty()) return;
    std::wstring remembered = folder;
    while (!remembered.empty() && remembered.back() == L'\\') remembered.pop_back();
    settings_->KeepFolder(remembered, folder);
    if (folder.size() < 4) {
        ShowNotFoundPath();
        return;
    }
    {
        AddingRows adding(Rows());
        WalkTopFolder(folder);
        AfterAdding();
    }
    ShowRejectSummary();
}

void UploadListModel::WalkTopFolder(const std::wstring& folder) {
    walkStopped_ = false;
    WalkFolder(folder, LastComponent(folder));
    walkStopped_ = false;
}

void UploadListModel::WalkFolder(const std::wstring& folder, const std::wstring& relName) {
    std::vector<DirItem> items;
    if (!files_.List(folder, items)) return;
    for (const DirItem& item : items) {
        if (item.name == L"." || item.name == L"..") continue;
        std::wstring path = folder + L"\\" + item.name;
        std::wstring name = relName + L"\\" + item.name;
        if (item.isDirectory) {
            WalkFolder(path, name);
            if (walkStopped_) return;
            continue;
        }
        Candidate c(path, {PathKind::File, item.size});
        Verdict v = Screen({Check::OpensUnshared, Check::Duplicate, Check::PathLength, Check::Filter, Check::Count,
                            Check::FileSize, Check::Budget},
                           c);
        if (v == Verdict::Stop) {
            walkStopped_ = true;
            return;
        }
        if (v == Verdict::Pass) AdmitScreened(c, name);
    }
}

bool UploadListModel::AddDroppedItems(const std::vector<std::wstring>& paths) {
    ResetRejectSummary();
    {
        AddingRows adding(Rows());
        for (const std::wstring& path : paths) {
            if (path.empty()) continue;
            if (path.size() < 4) {
                ShowNotFoundPath();
                return false;
            }
            // What is at the path, and a file's size, from one look-up.
            Candidate c(path);
            if (LookUp(c).kind == PathKind::Directory) {
                WalkTopFolder(path);
                continue;
            }
            Verdict v = Screen(
                {Check::Duplicate, Check::PathLength, Check::Filter, Check::Count, Check::FileSize, Check::Budget}, c);
            if (v == Verdict::Stop) break;
            if (v == Verdict::Pass) AdmitScreened(c, LastComponent(path));
        }
        AfterAdding();
    }
    ShowRejectSummary();
    return true;
}

void UploadListModel::AttachFileFromMail(const std::wstring& fileName, const std::wstring& uniqueName,
                                         double fileSize) {
    // A size below zero would lower the totals and let files past the
    // budgets; one that is no number would stick in them for good. Neither
    // is a size: nothing is added.
    if (!std::isfinite(fileSize) || fileSize < 0) return;
    int n = NextRow();
    double counted = fileSize;
    UploadEntry e;
    e.fileName = fileName;
    e.uniqueName = uniqueName;
    e.kind = KindOnServer;
    e.size = PageSizeToU32(fileSize);
    e.countedSize = counted;
    e.listIndex = n;
    entries_.Append(std::move(e));
    UploadRow content;
    content.fileName = fileName;
    content.sizeText = FormatSize(counted);
    content.iconIndex = kOnServerImage;
    rows_->InsertRow(n, content);
    RowAddedUnticked();
    totals_.all += counted;
    totals_.general += counted;
    AfterAdding();
}

}  // namespace parvex
