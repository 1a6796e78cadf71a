// The rules that decide whether a file may join an upload list and which
// kind it takes: the limits the page set, the extension filter, and the two
// budgets. They hold no entries and show nothing; the list asks them with
// its totals and shows what a refusal means.
#pragma once
#include <cstdint>
#include <list>
#include <string>

#include "uploadlist/upload_entry.h"

namespace parvex {

// One piece of the extension filter text; compared as a plain suffix.
struct FilterToken {
    std::wstring token;
    int tokenLength = 0;  // UTF-16 characters of token
};

// Per-control limits, in bytes and files; 0 means none where noted.
struct UploadLimits {
    int uploadCount = 0;                 // files in the list; 0: no limit
    double uploadSize = 0;               // the general (or only) budget
    double bigSize = 0;                  // the big-file budget (two-kind use)
    double generalSize = 10485760.0;     // above this a file can only be big
    double fileSize = 0;                 // one file; 0: no limit
};

// What the list has admitted so far, in bytes.
struct UploadTotals {
    double all = 0;
    double general = 0;  // general files and attachments already on the server
    double big = 0;
};

// Where the budgets put a file of a given size.
enum class BudgetPlace {
    General,
    Big,
    OverBigBudget,    // refused: the big budget has no room ("대용량 ..." message)
    OverTotalBudget,  // refused: the single budget has no room ("업로드 가능한 ..." message)
};

// Whether a file may change kind, and what stops it.
enum class KindSwitch {
    Allowed,
    Fixed,            // too big for general, or already on the server
    OverBigBudget,    // general to big: the big budget has no room
    OverGeneralBudget,  // big to general: the general budget has no room
};

class AdmissionRules {
public:
    UploadLimits limits;

    // Appends the ";"-separated tokens of filterText to the filter.
    void AddFilter(const std::wstring& filterText);
    void ClearFilter() { filter_.clear(); }
    const std::list<FilterToken>& Filter() const { return filter_; }
    bool IsFiltered(const std::wstring& path) const;
    static bool IsPathTooLong(const std::wstring& path) { return path.size() > 250; }
    // True when one more file than `count` would exceed the count limit.
    bool CountReached(int count) const { return limits.uploadCount != 0 && count + 1 > limits.uploadCount; }
    // True when the entry's 32-bit size cannot hold it, or it exceeds the
    // limit for one file.
    bool FileTooLarge(uint64_t size) const;
    // twoKinds: the process's use type is 1 (general and big files).
    BudgetPlace Place(double size, const UploadTotals& totals, bool twoKinds) const;
    KindSwitch CanSwitch(const UploadEntry& entry, const UploadTotals& totals) const;
    // Too big to be sent as a general file.
    bool MustBeBig(double size) const { return size > limits.generalSize; }

private:
    std::list<FilterToken> filter_;
};

}  // namespace parvex
