// The checks a local file passes on its way into the upload list. The
// adding routes name the checks in their own order; what each check does,
// and what its refusal means, is written once here.
#include <memory>

#include "uploadlist/upload_list.h"

namespace parvex {

namespace {

// The entry and the upload carry 32-bit sizes: a file this large would leave
// the totals wrong once it is deleted again.
constexpr uint64_t kFourGiB = 0x100000000ull;

}  // namespace

UploadListModel::Verdict UploadListModel::Apply(Check check, Candidate& c) {
    switch (check) {
    case Check::Exists:
        return LookUp(c).kind != PathKind::None ? Verdict::Pass : Verdict::Skip;
    case Check::OpensUnshared:
        return OpensUnshared(c);
    case Check::Filter:
        return IsFilteredPath(c.path) ? c.Refuse(kTagFiltered) : Verdict::Pass;
    case Check::PathLength:
        return IsPathTooLong(c.path) ? c.Refuse(kTagPathLength) : Verdict::Pass;
    case Check::Duplicate:
        return IsDuplicatePath(c) ? Verdict::Skip : Verdict::Pass;
    case Check::Count:
        if (!CountLimitReached()) return Verdict::Pass;
        ShowCountMessage();
        return Verdict::Stop;
    case Check::FileSize:
        return SizeAllowed(c);
    case Check::Budget:
        return BudgetAllows(c);
    }
    return Verdict::Skip;
}

UploadListModel::Verdict UploadListModel::FirstRefusal(std::initializer_list<Check> order, Candidate& c) {
    for (Check check : order) {
        Verdict v = Apply(check, c);
        if (v != Verdict::Pass) return v;
    }
    return Verdict::Pass;
}

UploadListModel::Verdict UploadListModel::Screen(std::initializer_list<Check> order, Candidate& c) {
    Verdict v = FirstRefusal(order, c);
    if (v == Verdict::Reject) AddRejectLine(c.path, c.tag);
    return v;
}

const PathInfo& UploadListModel::LookUp(Candidate& c) {
    if (!c.looked) c.found = files_.Inspect(c.path);
    c.looked = true;
    return c.found;
}

const std::wstring& UploadListModel::KeyOf(Candidate& c) {
    if (c.fileKey.empty()) c.fileKey = FileKey(c.path);
    return c.fileKey;
}

bool UploadListModel::IsDuplicatePath(Candidate& c) { return fileKeys_.count(KeyOf(c)) > 0; }

// A file another program holds open is refused. The probe blocks the page's
// thread, so the walk goes straight on to the next file.
UploadListModel::Verdict UploadListModel::OpensUnshared(Candidate& c) {
    return files_.OpenRead(c.path, true) ? Verdict::Pass : c.Refuse(kTagFileInUse);
}

// A file gone since it was chosen has no size and is skipped silently.
UploadListModel::Verdict UploadListModel::SizeAllowed(Candidate& c) {
    if (LookUp(c).kind != PathKind::File) return Verdict::Skip;
    double size = static_cast<double>(c.Size());
    bool tooLarge = c.Size() >= kFourGiB || (limitFileSize != 0 && size > limitFileSize);
    return tooLarge ? c.Refuse(kTagFileSize) : Verdict::Pass;
}

UploadListModel::Verdict UploadListModel::BudgetAllows(Candidate& c) {
    c.kind = AdmitByBudget(static_cast<double>(c.Size()));
    return c.kind == kRefusedKind ? Verdict::Stop : Verdict::Pass;
}

}  // namespace parvex
