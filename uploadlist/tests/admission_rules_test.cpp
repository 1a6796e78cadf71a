#include "uploadlist/admission_rules.h"

#include <gtest/gtest.h>

#include "uploadlist/upload_entries.h"

namespace parvex {
namespace {

constexpr double MiB = 1048576.0;

UploadEntry Entry(int kind, double size, const std::wstring& key = std::wstring(), int row = 0) {
    // Path, name and unique name play no part here; counted as its size.
    return {{}, {}, {}, kind, size, row, size, key};
}

// The budgets and the kind switch at their edges, with no list around them.
TEST(AdmissionRules, BudgetsAndKindSwitchesAtTheirEdges) {
    AdmissionRules rules;
    rules.limits.uploadSize = 10 * MiB;
    rules.limits.bigSize = 30 * MiB;
    UploadTotals totals;
    totals.general = 6 * MiB;
    totals.big = 20 * MiB;

    EXPECT_EQ(rules.Place(4 * MiB, totals, false), BudgetPlace::General);
    EXPECT_EQ(rules.Place(4 * MiB + 1, totals, false), BudgetPlace::OverTotalBudget);
    EXPECT_EQ(rules.Place(4 * MiB, totals, true), BudgetPlace::General);
    EXPECT_EQ(rules.Place(4 * MiB + 1, totals, true), BudgetPlace::Big);  // overflows into the big budget
    EXPECT_EQ(rules.Place(10 * MiB, totals, true), BudgetPlace::Big);
    EXPECT_EQ(rules.Place(10 * MiB + 1, totals, true), BudgetPlace::OverBigBudget);
    totals.general = 0;
    // Above the general size a file is big even where the general budget has room.
    rules.limits.generalSize = 2 * MiB;
    EXPECT_EQ(rules.Place(2 * MiB + 1, totals, true), BudgetPlace::Big);

    EXPECT_EQ(rules.CanSwitch(Entry(KindGeneral, 10 * MiB), totals), KindSwitch::Allowed);
    EXPECT_EQ(rules.CanSwitch(Entry(KindGeneral, 10 * MiB + 1), totals), KindSwitch::OverBigBudget);
    EXPECT_EQ(rules.CanSwitch(Entry(KindBig, 1 * MiB), totals), KindSwitch::Allowed);
    EXPECT_EQ(rules.CanSwitch(Entry(KindBig, 2 * MiB + 1), totals), KindSwitch::Fixed);
    EXPECT_EQ(rules.CanSwitch(Entry(KindOnServer, 1), totals), KindSwitch::Fixed);
    totals.general = 9 * MiB + 1;
    EXPECT_EQ(rules.CanSwitch(Entry(KindBig, 1 * MiB), totals), KindSwitch::OverGeneralBudget);

    EXPECT_FALSE(rules.FileTooLarge(0xFFFFFFFFull));
    EXPECT_TRUE(rules.FileTooLarge(0x100000000ull));  // beyond the entry's 32-bit size
    rules.limits.fileSize = 100;
    EXPECT_FALSE(rules.FileTooLarge(100));
    EXPECT_TRUE(rules.FileTooLarge(101));
    EXPECT_FALSE(rules.CountReached(5));
    rules.limits.uploadCount = 3;
    EXPECT_FALSE(rules.CountReached(2));
    EXPECT_TRUE(rules.CountReached(3));
}

// The duplicate check's keys follow every change of the entries: one of two
// entries of the same file leaving keeps the file known, and rows are given
// anew.
TEST(UploadEntries, FileKeysFollowTheEntries) {
    UploadEntries entries;
    entries.Append(Entry(KindGeneral, 1, L"file a", 0));
    entries.Append(Entry(KindBig, 2, L"file a", 1));
    entries.Append(Entry(KindOnServer, 3, L"", 2));
    entries.Append(Entry(KindGeneral, 4, L"file b", 3));

    double taken = 0;
    entries.RemoveIf([](const UploadEntry& e) { return e.listIndex == 0 || e.listIndex == 3; },
                     [&](const UploadEntry& e) { taken += e.countedSize; });
    EXPECT_EQ(taken, 5.0);
    EXPECT_TRUE(entries.HoldsFile(L"file a"));
    EXPECT_FALSE(entries.HoldsFile(L"file b"));
    ASSERT_EQ(entries.Count(), 2);
    EXPECT_EQ(entries.AtRow(0)->size, 2.0);
    EXPECT_EQ(entries.AtRow(1)->kind, KindOnServer);
    EXPECT_EQ(entries.AtRow(2), nullptr);

    entries.RemoveIf([](const UploadEntry& e) { return e.kind == KindBig; }, [](const UploadEntry&) {});
    EXPECT_FALSE(entries.HoldsFile(L"file a"));
    entries.Append(Entry(KindGeneral, 5, L"file c"));
    entries.Clear();
    EXPECT_FALSE(entries.HoldsFile(L"file c"));
    EXPECT_TRUE(entries.Empty());
}

}  // namespace
}  // namespace parvex
