#include "control/upload_list_window_win.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "control/com_module_win.h"
#include "control/list_drop_target_win.h"
#include "control/system_image_list_win.h"
#include "common/settings.h"
#include "control/upload_bridge.h"

namespace parvex {

namespace {

// W - 228 of the last resize of any list window of the process; column 1 is
// this less 22 wide. Written and read by the page's thread only.
int rememberedWidth = 0;

const int kColumnCount = 4;

// A reference on the control for one window message whose handling may call
// the page's script. The page may let go of the control in that call, and
// the handling goes on with the list afterwards (a drop adds its remaining
// files); the control, and this window with it, go when the message is done.
class OwnerHold {
public:
    explicit OwnerHold(IUnknown* owner) : owner_(owner) {
        if (owner_) owner_->AddRef();
    }
    ~OwnerHold() {
        if (owner_) owner_->Release();
    }
    OwnerHold(const OwnerHold&) = delete;
    OwnerHold& operator=(const OwnerHold&) = delete;

private:
    IUnknown* owner_;
};

}  // namespace

CNUploadDlg::~CNUploadDlg() { Destroy(); }

bool CNUploadDlg::Create(HWND parent) {
    if (window_) return true;
    return CreateModeless(parent) != nullptr;
}

void CNUploadDlg::Destroy() {
    if (window_) DestroyWindow(window_);
}

void CNUploadDlg::OnDestroy() {
    RevokeListDropTarget(window_);
    // The entries stay; their rows go back into memory.
    model_.AttachRows(nullptr);
    ReleaseSystemImageList();
    hint_.Detach();
    SetWindowLongPtrW(list_.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listViewProc_));
    if (headerImages_) ImageList_Destroy(headerImages_);
    headerImages_ = nullptr;
}

// The list view's procedure is swapped for this one, not chained through
// the common controls' subclassing: that chain looks its data up in a window
// property at every message, which under Wine asks the server each time, and
// DeleteFile reads the check box of every row.
LRESULT CALLBACK CNUploadDlg::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* dialog = reinterpret_cast<CNUploadDlg*>(GetWindowLongPtrW(list, GWLP_USERDATA));
    if (message != WM_LBUTTONDOWN && message != WM_LBUTTONDBLCLK)
        return CallWindowProcW(dialog->listViewProc_, list, message, wParam, lParam);
    OwnerHold hold(dialog->owner_);
    dialog->pressing_ = true;
    LRESULT result = CallWindowProcW(dialog->listViewProc_, list, message, wParam, lParam);
    dialog->pressing_ = false;
    return result;
}

bool CNUploadDlg::OnInitDialog() {
    DragAcceptFiles(window_, TRUE);
    // Drags of other programs arrive through OLE; a host without OLE on this
    // thread still has WM_DROPFILES.
    RegisterListDropTarget(window_, [this](const std::vector<std::wstring>& paths) { OnDrop(paths); });
    model_.InitWindow();
    list_.Attach(Item(IDC_UPLOAD_LIST_VIEW));
    hint_.Attach(list_.Handle());
    SetUpList();
    RECT client;
    GetClientRect(window_, &client);
    MoveWindow(window_, client.left, client.top, client.right - 2 * client.left, client.bottom - 2 * client.top, TRUE);
    model_.AttachRows(this);
    OnSize();
    // The page may have chosen the two-kind display before the window existed.
    if (Settings().useType == 1) ShowTwoKindHeading();
    return false;
}

void CNUploadDlg::SetUpList() {
    HWND list = list_.Handle();
    SetWindowLongPtrW(list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    listViewProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CNUploadDlg::ListProc)));
    // The system list is shared: the list view must never destroy it.
    SetWindowLongPtrW(list, GWL_STYLE, GetWindowLongPtrW(list, GWL_STYLE) | LVS_SHAREIMAGELISTS);
    list_.SetSmallImages(SystemImageList());

    struct Column {
        const wchar_t* heading;
        int format;
    };
    const Column columns[kColumnCount] = {
        {L"", LVCFMT_LEFT}, {L"파일명", LVCFMT_LEFT}, {L"크기", LVCFMT_RIGHT}, {L"형식", LVCFMT_RIGHT}};
    for (int i = 0; i < kColumnCount; ++i) list_.AddColumn(i, columns[i].heading, columns[i].format, 0);
    list_.SetExtendedStyle(static_cast<DWORD>(-1),
                           LVS_EX_SUBITEMIMAGES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);

    headerImages_ = ImageList_LoadImageW(ModuleHandle(), MAKEINTRESOURCEW(IDB_HEADER_CHECKS), 13, 2, RGB(255, 0, 255),
                                         IMAGE_BITMAP, LR_CREATEDIBSECTION);
    if (list_.Header() && headerImages_) {
        list_.SetHeaderImages(headerImages_);
        SetHeaderChecked(false);
    }
}

void CNUploadDlg::OnControlColour() {
    if (model_.listCount != 0) return;
    RECT client;
    GetClientRect(window_, &client);
    int height = client.bottom - client.top;
    int offset = height > 0 ? 50 - 2000 / height : 0;
    hint_.Show(offset < 0 ? 0 : offset);
}

void CNUploadDlg::SetColumnWidths() {
    const int widths[kColumnCount] = {27, rememberedWidth - 22, 75, 125};
    for (int i = 0; i < kColumnCount; ++i) list_.SetColumnWidth(i, widths[i]);
}

void CNUploadDlg::OnSize() {
    HWND list = list_.Handle();
    if (!list) return;
    RECT client, listClient;
    GetClientRect(window_, &client);
    GetClientRect(list, &listClient);
    int width = client.right - client.left, height = client.bottom - client.top;
    MoveWindow(list, listClient.left + 1, listClient.top + 1, width - listClient.left - 2, height - listClient.top - 2,
               TRUE);
    rememberedWidth = width - 228;
    SetColumnWidths();
    InvalidateMargin();
}

// The control moves this window without repainting it, so the strips
// around the list that a new size uncovers are painted here.
void CNUploadDlg::InvalidateMargin() {
    RECT client, inner;
    GetClientRect(window_, &client);
    GetWindowRect(list_.Handle(), &inner);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&inner), 2);
    const RECT strips[] = {{client.left, client.top, client.right, inner.top},
                           {client.left, inner.bottom, client.right, client.bottom},
                           {client.left, inner.top, inner.left, inner.bottom},
                           {inner.right, inner.top, client.right, inner.bottom}};
    for (const RECT& strip : strips)
        if (strip.right > strip.left && strip.bottom > strip.top) InvalidateRect(window_, &strip, TRUE);
}

void CNUploadDlg::OnDropFiles(HDROP drop) {
    std::vector<std::wstring> paths = DroppedPaths(drop);
    DragFinish(drop);
    OnDrop(paths);
}

// The one drop route, for WM_DROPFILES and for OLE drops alike.
void CNUploadDlg::OnDrop(const std::vector<std::wstring>& paths) {
    // During an upload a drop would be lost with the list; while the page is
    // being told of a file (a drop from inside "UpdateSize") the adding
    // route under way is not done with the list.
    if (UploadListLocked()) return;
    OwnerHold hold(owner_);
    model_.AddDroppedItems(paths);
}

LRESULT CNUploadDlg::OnNotify(NMHDR* header) {
    OwnerHold hold(owner_);
    switch (header->code) {
    case LVN_ITEMCHANGING:
        return IsListViewsOwnCheckChange(reinterpret_cast<NMLISTVIEW*>(header)) ? TRUE : FALSE;
    case LVN_COLUMNCLICK:
        if (reinterpret_cast<NMLISTVIEW*>(header)->iSubItem == 0 && RowCount() > 0) model_.OnHeaderCheckClick();
        return 0;
    case NM_CLICK: {
        LVHITTESTINFO hit = list_.HitTest(reinterpret_cast<NMITEMACTIVATE*>(header)->ptAction);
        // A switch of kind changes the list: not while it is locked.
        if (hit.iSubItem == 3 && UploadListLocked()) return 0;
        if (hit.iItem >= 0) model_.OnRowClick(hit.iItem, hit.iSubItem);
        return 0;
    }
    case NM_CUSTOMDRAW:
        return OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
    default:
        return 0;
    }
}

bool CNUploadDlg::IsListViewsOwnCheckChange(const NMLISTVIEW* change) const {
    if (!pressing_ || settingCheck_ || !(change->uChanged & LVIF_STATE)) return false;
    return ((change->uOldState ^ change->uNewState) & LVIS_STATEIMAGEMASK) != 0;
}

LRESULT CNUploadDlg::OnCustomDraw(NMLVCUSTOMDRAW* draw) {
    DWORD stage = draw->nmcd.dwDrawStage;
    if (stage == CDDS_POSTPAINT) {
        hint_.Paint(draw->nmcd.hdc);
        return CDRF_DODEFAULT;
    }
    LRESULT hintPaint = hint_.DrawnHere() ? CDRF_NOTIFYPOSTPAINT : 0;
    if (Settings().useType == 0) return stage == CDDS_PREPAINT ? hintPaint : CDRF_DODEFAULT;
    switch (stage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW | hintPaint;
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        return draw->iSubItem == 0 ? CDRF_DODEFAULT : CDRF_NOTIFYPOSTPAINT;
    case CDDS_ITEMPOSTPAINT | CDDS_SUBITEM:
        return draw->iSubItem == 3 ? DrawKindBitmap(draw) : CDRF_DODEFAULT;
    default:
        return CDRF_DODEFAULT;
    }
}

LRESULT CNUploadDlg::DrawKindBitmap(NMLVCUSTOMDRAW* draw) {
    int id = model_.KindBitmapForRow(static_cast<int>(draw->nmcd.dwItemSpec));
    HBITMAP bitmap = id ? static_cast<HBITMAP>(
                              LoadImageW(ModuleHandle(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR))
                        : nullptr;
    if (!bitmap) return CDRF_DODEFAULT;
    RECT cell = list_.CellRect(static_cast<int>(draw->nmcd.dwItemSpec), 3);
    BITMAP info;
    GetObjectW(bitmap, sizeof info, &info);
    HDC memory = CreateCompatibleDC(draw->nmcd.hdc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(draw->nmcd.hdc, cell.right - info.bmWidth, cell.top, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return CDRF_DODEFAULT;
}

void CNUploadDlg::InsertRow(int row, const UploadRow& content) {
    int index = list_.InsertRow(row, std::wstring(), kOnServerImage, content.cut);
    if (index < 0) return;
    list_.SetTextAndImage(index, 1, content.fileName, content.iconIndex);
    list_.SetText(index, 2, content.sizeText);
    if (adding_ > 0 && GetTickCount() - rowsShownTick_ >= ShowInterval()) ShowAdded();
}

// Rows that land in view are shown every kRowsShownMs. Once the view is
// full, new rows go below it and a show changes only the scroll bar, while
// turning drawing on and off again costs the list view about as much as
// painting (under Wine some 30 ms each at ten thousand rows): then every
// kRowsBelowShownMs.
DWORD CNUploadDlg::ShowInterval() {
    return rowsShown_ <= list_.TopIndex() + list_.CountPerPage() ? kRowsShownMs : kRowsBelowShownMs;
}

// A list view that draws as rows come in repaints itself at every
// insertion; a drop of thousands of files would spend most of its time so.
void CNUploadDlg::BeginAdding() {
    if (adding_++ > 0) return;
    list_.SetRedraw(false);
    rowsShownTick_ = GetTickCount();
    rowsShown_ = RowCount();
}

// An adding route pumps no messages: the rows admitted so far are painted
// here, so that the user sees them come.
void CNUploadDlg::ShowAdded() {
    if (adding_ == 0) return;
    rowsShownTick_ = GetTickCount();
    rowsShown_ = RowCount();
    list_.SetRedraw(true);
    InvalidateRect(list_.Handle(), nullptr, TRUE);
    UpdateWindow(list_.Handle());
    list_.SetRedraw(false);
}

void CNUploadDlg::EndAdding() {
    if (adding_ == 0 || --adding_ > 0) return;
    list_.SetRedraw(true);
    InvalidateRect(list_.Handle(), nullptr, TRUE);
}

void CNUploadDlg::SetColumn3Text(int row, const std::wstring& text) { list_.SetText(row, 3, text); }

void CNUploadDlg::DeleteAllRows() { list_.DeleteAllRows(); }

int CNUploadDlg::RowCount() { return list_.RowCount(); }

bool CNUploadDlg::IsRowChecked(int row) { return list_.IsChecked(row); }

void CNUploadDlg::SetRowChecked(int row, bool checked) {
    settingCheck_ = true;
    list_.SetChecked(row, checked);
    settingCheck_ = false;
}

void CNUploadDlg::RedrawRows(int first, int last) {
    list_.RedrawRows(first, last);
    UpdateWindow(list_.Handle());
}

void CNUploadDlg::ScrollIntoView(int row) { list_.EnsureVisible(row); }

void CNUploadDlg::RemoveEmptyHint() { hint_.Remove(); }

void CNUploadDlg::SetHeaderChecked(bool checked) {
    if (list_.Header()) list_.SetFirstHeadingImage(checked ? 1 : 0);
}

void CNUploadDlg::ShowTwoKindHeading() {
    list_.SetColumnText(3, L"첨부형식[전환]");
    SetColumnWidths();
}

ShellFileInfo CNUploadDlg::QueryFileInfo(const std::wstring& path) {
    SHFILEINFOW info = {};
    ShellFileInfo result;
    if (SHGetFileInfoW(path.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_TYPENAME | SHGFI_ATTRIBUTES)) {
        result.iconIndex = info.iIcon;
        result.typeName = info.szTypeName;
        result.ghosted = (info.dwAttributes & SFGAO_GHOSTED) != 0;
    }
    return result;
}

}  // namespace parvex
