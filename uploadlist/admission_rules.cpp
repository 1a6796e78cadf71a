#include "uploadlist/admission_rules.h"

namespace parvex {

namespace {

// The entry and the upload carry 32-bit sizes: a file this large would leave
// the totals wrong once it is deleted again.
constexpr uint64_t kFourGiB = 0x100000000ull;

}  // namespace

void AdmissionRules::AddFilter(const std::wstring& filterText) {
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
        filter_.push_back(t);
    }
}

bool AdmissionRules::IsFiltered(const std::wstring& path) const {
    for (const FilterToken& t : filter_) {
        size_t len = t.tokenLength < 0 ? 0 : static_cast<size_t>(t.tokenLength);
        std::wstring tail = path.size() > len ? path.substr(path.size() - len) : path;
        if (tail == t.token) return true;
    }
    return false;
}

bool AdmissionRules::FileTooLarge(uint64_t size) const {
    return size >= kFourGiB || (limits.fileSize != 0 && static_cast<double>(size) > limits.fileSize);
}

BudgetPlace AdmissionRules::Place(double size, const UploadTotals& totals, bool twoKinds) const {
    if (!twoKinds) return totals.general + size > limits.uploadSize ? BudgetPlace::OverTotalBudget : BudgetPlace::General;
    bool bigFits = totals.big + size <= limits.bigSize;
    if (MustBeBig(size)) return bigFits ? BudgetPlace::Big : BudgetPlace::OverBigBudget;
    if (totals.general + size <= limits.uploadSize) return BudgetPlace::General;
    return bigFits ? BudgetPlace::Big : BudgetPlace::OverBigBudget;
}

KindSwitch AdmissionRules::CanSwitch(const UploadEntry& entry, const UploadTotals& totals) const {
    if (entry.kind == KindOnServer || (MustBeBig(entry.size) && entry.kind == KindBig)) return KindSwitch::Fixed;
    if (entry.kind == KindGeneral)
        return totals.big + entry.size > limits.bigSize ? KindSwitch::OverBigBudget : KindSwitch::Allowed;
    return totals.general + entry.size > limits.uploadSize ? KindSwitch::OverGeneralBudget : KindSwitch::Allowed;
}

}  // namespace parvex
