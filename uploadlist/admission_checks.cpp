// The checks a local file passes on its way into the upload list. The
// adding routes name the checks in their own order; what each check does,
// and what its refusal means, is written once here, with the rules
// (AdmissionRules) deciding and the list looking things up and showing.
#include <memory>

#include "uploadlist/upload_list.h"

namespace parvex {

UploadListModel::Verdict UploadListModel::Apply(Check check, Candidate& c) {
    switch (check) {
    case Check::Exists:
        return LookUp(c).kind != PathKind::None ? Verdict::Pass : Verdict::Skip;
    case Check::OpensUnshared:
        return OpensUnshared(c);
    case Check::Filter:
        return rules_.IsFiltered(c.path) ? c.Refuse(kTagFiltered) : Verdict::Pass;
    case Check::PathLength:
        return AdmissionRules::IsPathTooLong(c.path) ? c.Refuse(kTagPathLength) : Verdict::Pass;
    case Check::Duplicate:
        // A local entry is the candidate's file, by whatever name either came.
        return entries_.HoldsFile(KeyOf(c)) ? Verdict::Skip : Verdict::Pass;
    case Check::Count:
        if (!rules_.CountReached(TotalUploadCount())) return Verdict::Pass;
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

// A file another program holds open is refused. The probe blocks the page's
// thread, so the walk goes straight on to the next file.
UploadListModel::Verdict UploadListModel::OpensUnshared(Candidate& c) {
    return files_.OpenRead(c.path, true) ? Verdict::Pass : c.Refuse(kTagFileInUse);
}

// A file gone since it was chosen has no size and is skipped silently.
UploadListModel::Verdict UploadListModel::SizeAllowed(Candidate& c) {
    if (LookUp(c).kind != PathKind::File) return Verdict::Skip;
    return rules_.FileTooLarge(c.Size()) ? c.Refuse(kTagFileSize) : Verdict::Pass;
}

UploadListModel::Verdict UploadListModel::BudgetAllows(Candidate& c) {
    Admission a = AdmitByBudget(static_cast<double>(c.Size()));
    if (a == Admission::Refused) return Verdict::Stop;
    c.kind = a == Admission::Big ? KindBig : KindGeneral;
    return Verdict::Pass;
}

}  // namespace parvex
