// The upload list window as the user meets it: clicks on the check boxes,
// the header box and the kind column, the module's pictures, the empty-list
// hint and the one-pixel margin. Screenshots land in build/screens/.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "tests/win/ocx_win.h"
#include "tests/win/screenshot_win.h"
#include "tests/win/test_container_win.h"
#include "tests/win/upload_control_support_win.h"

using namespace parvex::testing;

namespace {

const COLORREF kWhite = RGB(255, 255, 255);

// A point on the check box of a row.
POINT CheckBoxOf(HWND list, int row) {
    RECT bounds = {LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
    for (int x = bounds.left; x < bounds.right; ++x) {
        LVHITTESTINFO hit = {};
        hit.pt = {x, (bounds.top + bounds.bottom) / 2};
        SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
        if (hit.flags & LVHT_ONITEMSTATEICON) return {x + 3, hit.pt.y};
    }
    return {-1, -1};
}

bool Checked(HWND list, int row) {
    return (SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) >> 12) == 2;
}

HWND HeaderOf(HWND list) { return reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)); }

int HeaderImage(HWND list) {
    HDITEMW item = {};
    item.mask = HDI_IMAGE;
    SendMessageW(HeaderOf(list), HDM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
}

void ClickHeaderBox(HWND list) {
    RECT box;
    SendMessageW(HeaderOf(list), HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&box));
    ClickAt(HeaderOf(list), MiddleOf(box));
}

// Shows what the window holds now, then reads it back from the screen.
WindowPixels Shown(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    TestContainer::Pump();
    return CaptureWindow(window);
}

// A rectangle of child in the client coordinates of ancestor.
RECT Within(HWND ancestor, HWND child, RECT r) {
    MapWindowPoints(child, ancestor, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class ListWindowTest : public ControlByProgIdTest<kUpControlProgId> {
protected:
    void SetUp() override {
        ControlByProgIdTest::SetUp();
        window = container.Activate(control, {10, 10, 530, 190});
        ASSERT_NE(window, nullptr);
        list = ListViewOf(window);
        ASSERT_NE(list, nullptr);
    }
    void TwoBudgets() {
        ASSERT_EQ(CallByName(control, L"SetUseType", {Integer(1)}), S_OK);
        ASSERT_EQ(CallByName(control, L"SetLimitUploadSize", {Number(10)}), S_OK);
        ASSERT_EQ(CallByName(control, L"SetLimitUploadBigSize", {Number(100)}), S_OK);
        ASSERT_EQ(CallByName(control, L"SetLimitGeneralSize", {Number(1)}), S_OK);
    }
    TestContainer container;
    HWND window = nullptr;
    HWND list = nullptr;
};

}  // namespace

TEST_F(ListWindowTest, ClicksTickOneRowTickAllByTheHeaderAndSwitchKinds) {
    TwoBudgets();
    TempFile a(L"parvex_click_a.txt", 1000), b(L"parvex_click_b.txt", 3000), big(L"parvex_click_big.bin", 1100000);
    for (const TempFile* f : {&a, &b, &big}) DropOn(GetParent(list), f->path);
    ASSERT_EQ(CountOf(control), 3);

    // One click ticks one row once; the header box follows the rows.
    ClickAt(list, CheckBoxOf(list, 0));
    EXPECT_TRUE(Checked(list, 0));
    EXPECT_FALSE(Checked(list, 1));
    EXPECT_EQ(HeaderImage(list), 0);
    ClickAt(list, CheckBoxOf(list, 1));
    ClickAt(list, CheckBoxOf(list, 2));
    EXPECT_TRUE(Checked(list, 1) && Checked(list, 2));
    EXPECT_EQ(HeaderImage(list), 1);
    ClickAt(list, CheckBoxOf(list, 0));
    EXPECT_FALSE(Checked(list, 0));
    EXPECT_EQ(HeaderImage(list), 0);

    ClickHeaderBox(list);
    EXPECT_TRUE(Checked(list, 0) && Checked(list, 1) && Checked(list, 2));
    EXPECT_EQ(HeaderImage(list), 1);
    ClickHeaderBox(list);
    EXPECT_FALSE(Checked(list, 0) || Checked(list, 1) || Checked(list, 2));
    EXPECT_EQ(HeaderImage(list), 0);

    // Column 3 switches a small file between the budgets; the big one stays.
    ClickAt(list, MiddleOf(CellOf(list, 0, 3)));
    EXPECT_EQ(DoubleResult(control, L"GetBigTotalSize"), 1101000.0);
    EXPECT_EQ(DoubleResult(control, L"GetSmallTotalSize"), 3000.0);
    ClickAt(list, MiddleOf(CellOf(list, 2, 3)));
    EXPECT_EQ(DoubleResult(control, L"GetBigTotalSize"), 1101000.0);
    ClickAt(list, MiddleOf(CellOf(list, 0, 3)));
    EXPECT_EQ(DoubleResult(control, L"GetBigTotalSize"), 1100000.0);

    // DeleteFile takes the ticked rows.
    ClickAt(list, CheckBoxOf(list, 0));
    ClickAt(list, CheckBoxOf(list, 2));
    ASSERT_EQ(CallByName(control, L"DeleteFile", {}), S_OK);
    ASSERT_EQ(CountOf(control), 1);
    EXPECT_EQ(RowText(list, 0, 1), L"parvex_click_b.txt");
    EXPECT_EQ(DoubleResult(control, L"GetTotalUpSize"), 3000.0);
}

TEST_F(ListWindowTest, EmptyListShowsItsHintAndTwoBudgetRowsShowTheirKindPictures) {
    RECT client;
    GetClientRect(list, &client);
    RECT header;
    GetWindowRect(HeaderOf(list), &header);
    RECT below = Within(window, list, {0, header.bottom - header.top, client.right, client.bottom});
    WindowPixels empty = Shown(window);
    EXPECT_GT(empty.CountOtherThan(kWhite, below), 500);
    EXPECT_TRUE(SaveScreenshot(window, L"list_empty_hint"));

    ASSERT_EQ(CallByName(control, L"SetLimitUploadSize", {Number(10)}), S_OK);
    TempFile a(L"보고서_초안.txt", 1000), b(L"parvex_photo.bin", 1100000);
    for (const TempFile* f : {&a, &b}) DropOn(GetParent(list), f->path);
    Attach(control, L"회의록.hwp", L"20240101_1", 52000);
    Shown(window);
    EXPECT_TRUE(SaveScreenshot(window, L"list_one_budget"));

    TwoBudgets();
    TempFile big(L"parvex_big.bin", 1200000);
    DropOn(GetParent(list), big.path);
    ASSERT_EQ(CountOf(control), 4);
    WindowPixels rows = Shown(window);
    for (int row = 0; row < 4; ++row)
        EXPECT_GT(rows.CountOtherThan(kWhite, Within(window, list, CellOf(list, row, 3))), 100) << row;
    EXPECT_TRUE(SaveScreenshot(window, L"list_two_budgets"));
}

TEST_F(ListWindowTest, TheOnePixelMarginIsPaintedAtEverySize) {
    IOleInPlaceObject* inPlace = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)), S_OK);
    HWND listWindow = GetParent(list);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (SIZE size : {SIZE{300, 100}, SIZE{600, 250}, SIZE{200, 60}, SIZE{520, 180}}) {
        RECT rect = {10, 10, 10 + size.cx, 10 + size.cy};
        inPlace->SetObjectRects(&rect, &rect);
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        TestContainer::Pump();
        WindowPixels shown = CaptureWindow(listWindow);
        ASSERT_EQ(shown.width, size.cx);
        ASSERT_EQ(shown.height, size.cy);
        const RECT edges[] = {{0, 0, size.cx, 1}, {0, size.cy - 1, size.cx, size.cy}, {0, 0, 1, size.cy},
                              {size.cx - 1, 0, size.cx, size.cy}};
        for (const RECT& edge : edges)
            EXPECT_EQ(shown.CountOtherThan(face, edge), 0) << size.cx << "x" << size.cy << " edge at " << edge.left
                                                            << "," << edge.top;
    }
    inPlace->Release();
}
