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
        return files_.Exists(c.path) ? Verdict::Pass : Verdict::Skip;
    case Check::OpensUnshared:
        return OpensUnshared(c);
    case Check::Filter:
        return IsFilteredPath(c.path) ? c.Refuse(kTagFiltered) : Verdict::Pass;
    case Check::PathLength:
        return IsPathTooLong(c.path) ? c.Refuse(kTagPathLength) : Verdict::Pass;
    case Check::Duplicate:
        return IsDuplicatePath(c.path) ? Verdict::Skip : Verdict::Pass;
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

// A file another program holds open is refused; after each probe the walk
// pauses for 10 ms.
UploadListModel::Verdict UploadListModel::OpensUnshared(Candidate& c) {
    if (!files_.OpenRead(c.path, true)) return c.Refuse(kTagFileInUse);
    clock_.SleepMs(10);
    return Verdict::Pass;
}

// A file gone since it was chosen has no size and is skipped silently.
UploadListModel::Verdict UploadListModel::SizeAllowed(Candidate& c) {
    if (!c.sized && !files_.FileSize(c.path, c.size)) return Verdict::Skip;
    c.sized = true;
    double size = static_cast<double>(c.size);
    bool tooLarge = c.size >= kFourGiB || (limitFileSize != 0 && size > limitFileSize);
    return tooLarge ? c.Refuse(kTagFileSize) : Verdict::Pass;
}

UploadListModel::Verdict UploadListModel::BudgetAllows(Candidate& c) {
    c.kind = AdmitByBudget(static_cast<double>(c.size));
    return c.kind == kRefusedKind ? Verdict::Stop : Verdict::Pass;
}

}  // namespace parvex
