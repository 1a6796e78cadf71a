// The download control: its method names answer and do nothing, it draws a
// white rectangle with an inscribed ellipse, and its property page shows in
// a container's property frame.
#include <gtest/gtest.h>

#include <olectl.h>

#include <atomic>
#include <thread>

#include "control/com_module_win.h"
#include "control/controls_win.h"
#include "common/settings.h"
#include "parvex_h.h"
#include "tests/win/dialog_driver_win.h"
#include "tests/win/ocx_win.h"
#include "tests/win/screenshot_win.h"
#include "tests/win/test_container_win.h"

using namespace parvex;
using namespace parvex::testing;

namespace {

bool IsWhite(COLORREF c) { return c == RGB(255, 255, 255); }

using DnControlTest = ControlByProgIdTest<IdcDnControlProgId>;

}  // namespace

TEST_F(DnControlTest, MethodsAnswerAtTheirDispidsAndTheAddersReturnZero) {
    const std::pair<const wchar_t*, DISPID> methods[] = {
        {L"AboutBox", -552},       {L"AddDownloadFile", 1},   {L"TestLinkListValue", 2},
        {L"DownloadStart", 3},     {L"AddDownloadFiles", 4},  {L"SetDownLimitCount", 5},
        {L"SetDownLimitSize", 6},  {L"SetDownHostUrl", 7},    {L"SetDnTitle", 8}};
    for (const auto& m : methods) EXPECT_EQ(IdOf(control, m.first), m.second) << m.first;
    EXPECT_EQ(IdOf(control, L"UploadStart"), DISPID_UNKNOWN);

    VARIANT result;
    ASSERT_EQ(CallByName(control, L"AddDownloadFile",
                         {Text(L"/mail/file?id=1"), Text(L"a.txt"), Number(1234), Integer(3)}, &result),
              S_OK);
    EXPECT_EQ(V_VT(&result), VT_I2);
    EXPECT_EQ(V_I2(&result), 0);
    ASSERT_EQ(CallByName(control, L"AddDownloadFiles", {Text(L"b.txt"), Number(-1), Integer(0)}, &result), S_OK);
    EXPECT_EQ(V_VT(&result), VT_I2);
    EXPECT_EQ(V_I2(&result), 0);
    for (const wchar_t* name : {L"TestLinkListValue", L"DownloadStart"}) EXPECT_EQ(CallByName(control, name, {}), S_OK);
    EXPECT_EQ(CallByName(control, L"SetDownLimitCount", {Integer(5)}), S_OK);
    EXPECT_EQ(CallByName(control, L"SetDownLimitSize", {Number(5)}), S_OK);
    // DownloadStart opened nothing: a window it opens is up when it returns.
    EXPECT_EQ(WaitForDialog(L"", 0), nullptr);
}

TEST_F(DnControlTest, DrawsAWhiteRectangleWithAnEllipseTouchingItsSides) {
    IViewObject* view = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view)), S_OK);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 100, 50);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, 100, 50};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    RECTL bounds = {0, 0, 100, 50};
    ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);

    for (POINT corner : {POINT{0, 0}, POINT{99, 0}, POINT{0, 49}, POINT{99, 49}, POINT{2, 2}, POINT{97, 47}})
        EXPECT_TRUE(IsWhite(GetPixel(dc, corner.x, corner.y))) << corner.x << "," << corner.y;
    // The default pen draws the outline; the default white brush fills it.
    EXPECT_FALSE(IsWhite(GetPixel(dc, 50, 0)));
    EXPECT_FALSE(IsWhite(GetPixel(dc, 50, 49)));
    EXPECT_FALSE(IsWhite(GetPixel(dc, 0, 25)));
    EXPECT_FALSE(IsWhite(GetPixel(dc, 99, 25)));
    EXPECT_TRUE(IsWhite(GetPixel(dc, 50, 25)));
    EXPECT_TRUE(IsWhite(GetPixel(dc, 10, 2)));  // outside the curve near a corner

    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    view->Release();
}

TEST_F(DnControlTest, PropertyFrameShowsThePageOfTheControl) {
    std::atomic<bool> sawText{false};
    std::thread watcher([&] {
        HWND frame = WaitForDialog(L"", 10000);
        if (!frame) return;
        sawText = WaitFor([&] {
            for (const std::wstring& text : ChildTexts(frame))
                if (text == L"TODO: Place controls to manipulate properties of Parvex_Dn Control on this dialog.")
                    return true;
            return false;
        });
        PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
    });
    IUnknown* object = control;
    CLSID page = CLSID_ParvexDnPropPage;
    EXPECT_EQ(OleCreatePropertyFrame(nullptr, 0, 0, L"Parvex_Dn", 1, &object, 1, &page, LOCALE_USER_DEFAULT, 0,
                                     nullptr),
              S_OK);
    watcher.join();
    EXPECT_TRUE(sawText);
}

TEST_F(DnControlTest, AboutBoxIsDialogTwo) {
    std::wstring texts;
    std::thread watcher([&] {
        HWND box = WaitForDialog(L"About Parvex_Dn Control", 10000);
        if (!box) return;
        for (const std::wstring& text : ChildTexts(box)) texts += text + L"\n";
        PressButton(box, IDOK);
    });
    EXPECT_EQ(CallByName(control, L"AboutBox", {}), S_OK);
    watcher.join();
    EXPECT_NE(texts.find(L"Parvex_Dn Control, Version 1.0"), std::wstring::npos);
}

// The process-wide settings are observed from this program's own copy of the
// controls, which borrow the module's resources.
class ControlSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { UseResourceModule(ocx.get()); }
    void TearDown() override { UseResourceModule(nullptr); }
    static IDispatch* Create(HRESULT (*create)(REFIID, void**)) {
        IDispatch* object = nullptr;
        EXPECT_EQ(create(IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK);
        return object;
    }
    OcxModule ocx;
    OleScope ole;
};

TEST_F(ControlSettingsTest, TwoUploadControlsShareSettingsAndEachConstructorResetsThem) {
    Settings().downloadHostUrl = L"http://mail.example/";
    IDispatch* first = Create(CreateUploadControl);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Settings().downloadHostUrl, L"http://mail.example/");
    ASSERT_EQ(CallByName(first, L"UploadUrlAddress", {Text(L"http://mail.example/up")}), S_OK);
    ASSERT_EQ(CallByName(first, L"UploadExistUrl", {Text(L"http://mail.example/exist")}), S_OK);
    ASSERT_EQ(CallByName(first, L"UpForm_Filename", {Text(L"fname")}), S_OK);
    ASSERT_EQ(CallByName(first, L"UpForm_UniqueFilename", {Text(L"uname")}), S_OK);
    ASSERT_EQ(CallByName(first, L"UpForm_UpFile", {Text(L"upfile")}), S_OK);
    ASSERT_EQ(CallByName(first, L"SetUpTitle", {Text(L"첨부 올리기")}), S_OK);
    ASSERT_EQ(CallByName(first, L"SetDnTitle", {Text(L"첨부 받기")}), S_OK);
    ASSERT_EQ(CallByName(first, L"SetUseType", {Integer(-2)}), S_OK);
    VARIANT on;
    VariantInit(&on);
    V_VT(&on) = VT_BOOL;
    V_BOOL(&on) = VARIANT_TRUE;
    ASSERT_EQ(CallByName(first, L"ExpectContinueValue", {on}), S_OK);
    ASSERT_EQ(CallByName(first, L"AttachFileFromMail", {Text(L"a"), Text(L"u"), Number(10)}), S_OK);

    ProcessSettings& s = Settings();
    EXPECT_EQ(s.uploadUrl, L"http://mail.example/up");
    EXPECT_EQ(s.existUrl, L"http://mail.example/exist");
    EXPECT_EQ(s.formFileNameField, L"fname");
    EXPECT_EQ(s.formUniqueNameField, L"uname");
    EXPECT_EQ(s.formFileField, L"upfile");
    EXPECT_EQ(s.uploadTitle, L"첨부 올리기");
    EXPECT_EQ(s.downloadTitle, L"첨부 받기");
    EXPECT_EQ(s.useType, -2);
    EXPECT_EQ(s.expectContinue, -1);

    IDispatch* second = Create(CreateUploadControl);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(s.uploadUrl, L"");
    EXPECT_EQ(s.formFileField, L"");
    EXPECT_EQ(s.uploadTitle, L"Tamsel Upload");
    EXPECT_EQ(s.downloadTitle, L"Tamsel Download");
    EXPECT_EQ(s.useType, 0);
    EXPECT_EQ(s.expectContinue, 0);
    EXPECT_EQ(s.downloadHostUrl, L"http://mail.example/");

    // The last call wins, whichever control makes it.
    ASSERT_EQ(CallByName(second, L"UploadUrlAddress", {Text(L"http://other.example/up")}), S_OK);
    ASSERT_EQ(CallByName(first, L"SetUpTitle", {Text(L"first")}), S_OK);
    EXPECT_EQ(s.uploadUrl, L"http://other.example/up");
    EXPECT_EQ(s.uploadTitle, L"first");
    V_BOOL(&on) = VARIANT_FALSE;
    ASSERT_EQ(CallByName(second, L"ExpectContinueValue", {on}), S_OK);
    EXPECT_EQ(s.expectContinue, 0);

    VARIANT count;
    ASSERT_EQ(CallByName(first, L"TotalUploadCount", {}, &count), S_OK);
    EXPECT_EQ(V_I4(&count), 1);
    ASSERT_EQ(CallByName(second, L"TotalUploadCount", {}, &count), S_OK);
    EXPECT_EQ(V_I4(&count), 0);
    second->Release();
    first->Release();
}

TEST_F(ControlSettingsTest, DownloadControlLeavesTheUploadControlsDownloadSettingsAlone) {
    IDispatch* up = Create(CreateUploadControl);
    ASSERT_NE(up, nullptr);
    ASSERT_EQ(CallByName(up, L"SetDnTitle", {Text(L"받기")}), S_OK);
    ASSERT_EQ(CallByName(up, L"SetDownHostUrl", {Text(L"http://mail.example/")}), S_OK);
    ASSERT_EQ(CallByName(up, L"SetDownLimitCount", {Integer(3)}), S_OK);
    ASSERT_EQ(CallByName(up, L"SetDownLimitSize", {Number(3)}), S_OK);
    const ProcessSettings before = Settings();

    IDispatch* dn = Create(CreateDownloadControl);
    ASSERT_NE(dn, nullptr);
    ASSERT_EQ(CallByName(dn, L"SetDnTitle", {Text(L"other title")}), S_OK);
    ASSERT_EQ(CallByName(dn, L"SetDownHostUrl", {Text(L"http://elsewhere/")}), S_OK);
    ASSERT_EQ(CallByName(dn, L"AddDownloadFile", {Text(L"/f"), Text(L"f"), Number(1), Integer(1)}), S_OK);
    ASSERT_EQ(CallByName(dn, L"DownloadStart", {}), S_OK);
    EXPECT_EQ(Settings().downloadTitle, L"받기");
    EXPECT_EQ(Settings().downloadHostUrl, L"http://mail.example/");
    EXPECT_EQ(Settings().uploadTitle, before.uploadTitle);
    EXPECT_EQ(Settings().useType, before.useType);
    dn->Release();
    up->Release();
}

// Apply and OK of the property frame answer at once for the page of either
// control, shown through the control's verb as a container asks for it; a
// frame still open 10 s after OK is closed so that the test ends.
TEST(PropertyFrame, AppliesAndClosesOnOkForBothControls) {
    EnsureRegistered();
    OleScope ole;
    const std::pair<const wchar_t*, const wchar_t*> controls[] = {{kUpControlProgId, L"property_frame_up"},
                                                                  {IdcDnControlProgId, L"property_frame_dn"}};
    for (const auto& c : controls) {
        IDispatch* control = CreateByProgId(c.first);
        ASSERT_NE(control, nullptr);
        std::atomic<bool> shown{false}, closed{false};
        std::thread watcher([&] {
            HWND frame = WaitForDialog(L"", 10000);
            if (!frame) return;
            // The page is in place once its text is among the frame's.
            shown = WaitFor([&] {
                for (const std::wstring& text : ChildTexts(frame))
                    if (text.rfind(L"TODO: Place controls", 0) == 0) return true;
                return false;
            });
            RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
            SaveScreenshot(frame, c.second);
            PressButton(frame, 0x3021);  // Apply
            PressButton(frame, IDOK);
            closed = WaitFor([&] { return !IsWindow(frame); });
            if (!closed) PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
        });
        {
            TestContainer container;
            ASSERT_NE(container.Activate(control, {0, 0, 300, 100}), nullptr);
            IOleObject* object = nullptr;
            ASSERT_EQ(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)), S_OK);
            EXPECT_EQ(object->DoVerb(OLEIVERB_PROPERTIES, nullptr, &container, 0, nullptr, nullptr), S_OK);
            object->Release();
        }
        watcher.join();
        EXPECT_TRUE(shown) << c.first;
        EXPECT_TRUE(closed) << c.first;
        control->Release();
    }
}
