#include <gtest/gtest.h>

#include "download/dialog_geometry.h"

using namespace parvex;

TEST(DialogGeometry, CentringUsesTheWorkAreaFromTheScreenOriginRoundedDown) {
    ScreenPoint p = CentredOrigin(ScreenRect{0, 0, 1024, 738}, 371, 501);
    EXPECT_EQ(p.x, 326);  // (1024 - 371) / 2 = 326.5
    EXPECT_EQ(p.y, 118);  // (738 - 501) / 2 = 118.5
    // A taskbar on the left moves the work area's left edge, not the dialog.
    ScreenPoint q = CentredOrigin(ScreenRect{60, 0, 1024, 768}, 400, 300);
    EXPECT_EQ(q.x, 312);
    EXPECT_EQ(q.y, 234);
    // Larger than the work area: a negative corner, truncated toward zero.
    ScreenPoint r = CentredOrigin(ScreenRect{0, 0, 300, 200}, 401, 301);
    EXPECT_EQ(r.x, -50);
    EXPECT_EQ(r.y, -50);
}

TEST(DialogGeometry, TrayRectanglesWithoutANotificationArea) {
    ScreenRect none = TrayRectWithoutTaskbar(1024, 768);
    EXPECT_EQ(none.left, 984);
    EXPECT_EQ(none.top, 748);
    EXPECT_EQ(none.right, 1024);
    EXPECT_EQ(none.bottom, 768);
    ScreenRect corner = TrayRectInTaskbar(ScreenRect{0, 738, 1024, 768});
    EXPECT_EQ(corner.left, 1004);
    EXPECT_EQ(corner.top, 748);
    EXPECT_EQ(corner.right, 1024);
    EXPECT_EQ(corner.bottom, 768);
}

TEST(DialogGeometry, TrayTipIsCutToTheFieldAndKeepsPairsWhole) {
    EXPECT_EQ(TrayTip(L"Tamsel Download"), L"Tamsel Download");
    std::wstring longTitle(300, L'다');
    EXPECT_EQ(TrayTip(longTitle), std::wstring(127, L'다'));
    EXPECT_EQ(TrayTip(std::wstring(127, L'a')).size(), 127u);
    EXPECT_EQ(TrayTip(L"abc", 0), L"");
    // A character outside the 16-bit range that would straddle the end of
    // the field is left out whole.
    std::wstring wide = sizeof(wchar_t) == 2 ? std::wstring(L"\xD83D\xDE00") : std::wstring(1, wchar_t(0x1F600));
    std::wstring title = std::wstring(126, L'a') + wide + L"b";
    EXPECT_EQ(TrayTip(title), std::wstring(126, L'a'));
    EXPECT_EQ(TrayTip(std::wstring(125, L'a') + wide), std::wstring(125, L'a') + wide);
}
