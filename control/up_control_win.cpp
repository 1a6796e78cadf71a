// CParvex_UpCtrl: the upload control the page scripts. Setters write the
// process-wide settings or this control's limits; list methods go to the
// control's upload list; the run and the download queue go over their
// bridges.
#include <exdisp.h>

#include <memory>

#include "common/settings_store.h"
#include "control/com_module_win.h"
#include "control/control_behaviour_win.h"
#include "control/choosers_win.h"
#include "control/host_browser_win.h"
#include "control/controls_win.h"
#include "download/download_bridge.h"
#include "control/page_notifier_win.h"
#include "common/settings.h"
#include "control/system_image_list_win.h"
#include "control/upload_bridge.h"
#include "control/upload_list_window_win.h"
#include "control/window_message_box_win.h"
#include "parvex_h.h"
#include "resources/resource.h"
#include "control/upload_list_win.h"

namespace parvex {

namespace {

enum UpDispid : DISPID {
    UpAboutBox = -552,
    UpAddFindFile = 1,
    UpAddFolder = 2,
    UpTestLinkListValue = 3,
    UpUploadStart = 4,
    UpDeleteFile = 5,
    UpSetLimitUploadCount = 6,
    UpSetLimitUploadSize = 7,
    UpGetTotalUpSize = 8,
    UpFormFilename = 9,
    UpFormUniqueFilename = 10,
    UpFormUpFile = 11,
    UpUploadUrlAddress = 12,
    UpUploadExistUrl = 13,
    UpTotalUploadCount = 14,
    UpGetUpFileInfo = 15,
    UpUploadExtFilter = 16,
    UpSetLimitGeneralSize = 17,
    UpSetUseType = 18,
    UpSetLimitUploadBigSize = 19,
    UpGetBigTotalSize = 20,
    UpGetSmallTotalSize = 21,
    UpSetLimitFileSize = 22,
    UpAttachFileFromMail = 23,
    UpSetUpTitle = 24,
    UpExpectContinueValue = 25,
    UpAddDownloadFile = 26,
    UpDownloadStart = 27,
    UpSetDnTitle = 28,
    UpSetDownHostUrl = 29,
    UpSetDownLimitCount = 30,
    UpSetDownLimitSize = 31,
};

class CParvex_UpCtrl;

// One scriptable method: its handler, and whether it would change the upload
// list or what the upload worker reads.
struct UpMethod {
    DISPID id;
    bool changesRun;
    void (*call)(CParvex_UpCtrl& control, DispatchArgs& args);
};

class CParvex_UpCtrl final : public ControlBehaviour {
public:
    CParvex_UpCtrl()
        : store_(MakePlatformSettingsStore()), page_(messages_), model_(MakeHost()), listWindow_(model_) {
        TakeSystemImageList();
        ResetProcessSettings();
        DownloadResetForNewControl();
    }

    ~CParvex_UpCtrl() override {
        listWindow_.Destroy();
        model_.Empty();
        ForgetHostBrowser();
    }

    const CLSID& ClassId() const override { return CLSID_Parvex_Up; }
    const IID& DispatchId() const override { return DIID__DParvex_Up; }
    const IID& EventsId() const override { return DIID__DParvex_UpEvents; }
    const CLSID& PropertyPageId() const override { return CLSID_ParvexUpPropPage; }
    bool SafeForScripting() const override { return true; }

    void OnObjectCreated(IUnknown* object) override {
        page_.SetControl(object);
        listWindow_.SetOwner(object);
    }

    bool OnCreateWindow(HWND window, IOleClientSite* site) override {
        window_ = window;
        messages_.SetOwner(window);
        if (!listWindow_.Create(window)) return false;
        IWebBrowser2* browser = GetHostBrowser(site);
        SetHostBrowser(browser);
        ownsHostBrowser_ = browser != nullptr;
        if (browser) browser->Release();
        return true;
    }

    void OnDestroyWindow() override {
        // The run of this control ends with it; its dialog belongs to the
        // page's window and closes once the worker has noticed.
        if (uploading_) CancelUploadFromPage();
        listWindow_.Destroy();
        messages_.SetOwner(nullptr);
        window_ = nullptr;
    }

    // The list window covers the whole control; the control paints nothing.
    void Draw(HDC, const RECT& bounds) override {
        if (listWindow_.Window())
            MoveWindow(listWindow_.Window(), bounds.left, bounds.top, bounds.right - bounds.left,
                       bounds.bottom - bounds.top, FALSE);
    }

    HRESULT Call(DISPID id, DispatchArgs& args) override;

private:
    static const UpMethod* FindMethod(DISPID id);
    void StartUpload(DispatchArgs& args);

    UploadListHost MakeHost() {
        UploadListHost host;
        host.messages = &messages_;
        host.settings = &listSettings_;
        host.page = &page_;
        return host;
    }

    void ForgetHostBrowser() {
        if (ownsHostBrowser_) SetHostBrowser(nullptr);
        ownsHostBrowser_ = false;
    }

    WindowMessageBox messages_;
    std::unique_ptr<SettingsStore> store_;
    ProcessListSettings listSettings_{store_.get()};
    HostPageNotifier page_;
    UploadListModel model_;
    CNUploadDlg listWindow_;
    HWND window_ = nullptr;
    bool ownsHostBrowser_ = false;
    bool uploading_ = false;  // this control's UploadStart is under way
};

HRESULT CParvex_UpCtrl::Call(DISPID id, DispatchArgs& args) {
    const UpMethod* method = FindMethod(id);
    if (!method) return DISP_E_MEMBERNOTFOUND;
    // While a run is in progress or a list is calling the page, calls that
    // would change the upload list or what the worker reads do nothing and
    // return what they return when there is nothing to do.
    if (method->changesRun && UploadListLocked()) {
        if (id == UpUploadStart) args.ReturnShort(0);
        return S_OK;
    }
    method->call(*this, args);
    return S_OK;
}

void CParvex_UpCtrl::StartUpload(DispatchArgs& args) {
    uploading_ = true;
    args.ReturnShort(ControlUploadStart(args.Short(0), model_, window_));
    uploading_ = false;
}

const UpMethod* CParvex_UpCtrl::FindMethod(DISPID id) {
    using C = CParvex_UpCtrl;
    using A = DispatchArgs;
    static const UpMethod methods[] = {
        {UpAboutBox, false, [](C& c, A&) { ShowAboutBox(IDD_ABOUTBOX_PARVEX_UP, c.window_); }},
        {UpAddFindFile, true, [](C& c, A&) { AddFindFileDialog(c.model_, c.window_); }},
        {UpAddFolder, true, [](C& c, A&) { AddFolderDialog(c.model_, c.window_); }},
        {UpTestLinkListValue, false, [](C& c, A&) { c.model_.TestLinkListValue(); }},
        {UpUploadStart, true, [](C& c, A& a) { c.StartUpload(a); }},
        {UpDeleteFile, true, [](C& c, A&) { c.model_.DeleteFile(); }},
        {UpSetLimitUploadCount, true, [](C& c, A& a) { c.model_.SetLimitUploadCount(a.Long(0)); }},
        {UpSetLimitUploadSize, true, [](C& c, A& a) { c.model_.SetLimitUploadSize(a.Double(0)); }},
        {UpGetTotalUpSize, false, [](C& c, A& a) { a.ReturnDouble(c.model_.GetTotalUpSize()); }},
        {UpFormFilename, true, [](C&, A& a) { Settings().formFileNameField = a.Text(0); }},
        {UpFormUniqueFilename, true, [](C&, A& a) { Settings().formUniqueNameField = a.Text(0); }},
        {UpFormUpFile, true, [](C&, A& a) { Settings().formFileField = a.Text(0); }},
        {UpUploadUrlAddress, true, [](C&, A& a) { Settings().uploadUrl = a.Text(0); }},
        {UpUploadExistUrl, true, [](C&, A& a) { Settings().existUrl = a.Text(0); }},
        {UpTotalUploadCount, false, [](C& c, A& a) { a.ReturnLong(c.model_.TotalUploadCount()); }},
        {UpGetUpFileInfo, false, [](C& c, A& a) { a.ReturnText(c.model_.GetUpFileInfo()); }},
        {UpUploadExtFilter, true, [](C& c, A& a) { c.model_.UploadExtFilter(a.Text(0)); }},
        {UpSetLimitGeneralSize, true, [](C& c, A& a) { c.model_.SetLimitGeneralSize(a.Double(0)); }},
        {UpSetUseType, true, [](C& c, A& a) { c.model_.SetUseType(a.Short(0)); }},
        {UpSetLimitUploadBigSize, true, [](C& c, A& a) { c.model_.SetLimitUploadBigSize(a.Double(0)); }},
        {UpGetBigTotalSize, false, [](C& c, A& a) { a.ReturnDouble(c.model_.GetBigTotalSize()); }},
        {UpGetSmallTotalSize, false, [](C& c, A& a) { a.ReturnDouble(c.model_.GetSmallTotalSize()); }},
        {UpSetLimitFileSize, true, [](C& c, A& a) { c.model_.SetLimitFileSize(a.Double(0)); }},
        {UpAttachFileFromMail, true,
         [](C& c, A& a) { c.model_.AttachFileFromMail(a.Text(0), a.Text(1), a.Double(2)); }},
        {UpSetUpTitle, false, [](C&, A& a) { Settings().uploadTitle = a.Text(0); }},
        // The automation boolean widened with its sign: true is stored as -1.
        {UpExpectContinueValue, true, [](C&, A& a) { Settings().expectContinue = a.BoolValue(0); }},
        {UpAddDownloadFile, false,
         [](C& c, A& a) {
             // The queue is the process's, the report this control's: its box
             // is owned by the window of the control that was called.
             WindowMessageBox boxes;
             boxes.SetOwner(c.window_);
             a.ReturnShort(DownloadAddFile(a.Text(0), a.Text(1), a.Double(2), a.Long(3), &boxes));
         }},
        {UpDownloadStart, false, [](C&, A&) { DownloadStartSession(); }},
        {UpSetDnTitle, false, [](C&, A& a) { Settings().downloadTitle = a.Text(0); }},
        {UpSetDownHostUrl, false, [](C&, A& a) { Settings().downloadHostUrl = a.Text(0); }},
        // Accepted and ignored.
        {UpSetDownLimitCount, false, [](C&, A&) {}},
        {UpSetDownLimitSize, false, [](C&, A&) {}},
    };
    for (const UpMethod& m : methods)
        if (m.id == id) return &m;
    return nullptr;
}

}  // namespace

HRESULT CreateUploadControl(REFIID iid, void** out) { return CreateOleControl(new CParvex_UpCtrl(), iid, out); }

}  // namespace parvex
