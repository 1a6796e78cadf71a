// CParvex_UpCtrl: the upload control the page scripts. Setters write the
// process-wide settings or this control's limits; list methods go to the
// control's upload list; the run and the download queue go over their
// bridges.
#include <exdisp.h>

#include <memory>

#include "common/host_browser_win.h"
#include "common/settings_store.h"
#include "control/com_module_win.h"
#include "control/control_behaviour_win.h"
#include "control/choosers_win.h"
#include "control/controls_win.h"
#include "download/download_bridge.h"
#include "control/page_notifier_win.h"
#include "common/settings.h"
#include "control/system_image_list_win.h"
#include "control/upload_bridge.h"
#include "control/upload_list_window_win.h"
#include "common/window_message_box_win.h"
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

    void OnObjectCreated(IUnknown* object) override { page_.SetControl(object); }

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
    UploadListHost MakeHost() {
        UploadListHost host;
        host.messages = &messages_;
        host.store = store_.get();
        host.page = &page_;
        return host;
    }

    void ForgetHostBrowser() {
        if (ownsHostBrowser_) SetHostBrowser(nullptr);
        ownsHostBrowser_ = false;
    }

    WindowMessageBox messages_;
    std::unique_ptr<SettingsStore> store_;
    HostPageNotifier page_;
    UploadListModel model_;
    CNUploadDlg listWindow_;
    HWND window_ = nullptr;
    bool ownsHostBrowser_ = false;
    bool uploading_ = false;  // this control's UploadStart is under way
};

// Calls that would change the upload list or what the upload worker reads.
// While a run is in progress they do nothing and return what they return
// when there is nothing to do.
bool ChangesWhatTheRunReads(DISPID id) {
    switch (id) {
    case UpAddFindFile:
    case UpAddFolder:
    case UpUploadStart:
    case UpDeleteFile:
    case UpSetLimitUploadCount:
    case UpSetLimitUploadSize:
    case UpFormFilename:
    case UpFormUniqueFilename:
    case UpFormUpFile:
    case UpUploadUrlAddress:
    case UpUploadExistUrl:
    case UpUploadExtFilter:
    case UpSetLimitGeneralSize:
    case UpSetUseType:
    case UpSetLimitUploadBigSize:
    case UpSetLimitFileSize:
    case UpAttachFileFromMail:
    case UpExpectContinueValue:
        return true;
    default:
        return false;
    }
}

HRESULT CParvex_UpCtrl::Call(DISPID id, DispatchArgs& args) {
    ProcessSettings& settings = Settings();
    if (ChangesWhatTheRunReads(id) && UploadRunInProgress()) {
        if (id == UpUploadStart) args.ReturnShort(0);
        return S_OK;
    }
    switch (id) {
    case UpAboutBox:
        ShowAboutBox(IDD_ABOUTBOX_PARVEX_UP, window_);
        break;
    case UpAddFindFile:
        AddFindFileDialog(model_, window_);
        break;
    case UpAddFolder:
        AddFolderDialog(model_, window_);
        break;
    case UpTestLinkListValue:
        model_.TestLinkListValue();
        break;
    case UpUploadStart:
        uploading_ = true;
        args.ReturnShort(ControlUploadStart(args.Short(0), model_, window_));
        uploading_ = false;
        break;
    case UpDeleteFile:
        model_.DeleteFile();
        break;
    case UpSetLimitUploadCount:
        model_.SetLimitUploadCount(args.Long(0));
        break;
    case UpSetLimitUploadSize:
        model_.SetLimitUploadSize(args.Double(0));
        break;
    case UpGetTotalUpSize:
        args.ReturnDouble(model_.GetTotalUpSize());
        break;
    case UpFormFilename:
        settings.formFileNameField = args.Text(0);
        break;
    case UpFormUniqueFilename:
        settings.formUniqueNameField = args.Text(0);
        break;
    case UpFormUpFile:
        settings.formFileField = args.Text(0);
        break;
    case UpUploadUrlAddress:
        settings.uploadUrl = args.Text(0);
        break;
    case UpUploadExistUrl:
        settings.existUrl = args.Text(0);
        break;
    case UpTotalUploadCount:
        args.ReturnLong(model_.TotalUploadCount());
        break;
    case UpGetUpFileInfo:
        args.ReturnText(model_.GetUpFileInfo());
        break;
    case UpUploadExtFilter:
        model_.UploadExtFilter(args.Text(0));
        break;
    case UpSetLimitGeneralSize:
        model_.SetLimitGeneralSize(args.Double(0));
        break;
    case UpSetUseType:
        model_.SetUseType(args.Short(0));
        break;
    case UpSetLimitUploadBigSize:
        model_.SetLimitUploadBigSize(args.Double(0));
        break;
    case UpGetBigTotalSize:
        args.ReturnDouble(model_.GetBigTotalSize());
        break;
    case UpGetSmallTotalSize:
        args.ReturnDouble(model_.GetSmallTotalSize());
        break;
    case UpSetLimitFileSize:
        model_.SetLimitFileSize(args.Double(0));
        break;
    case UpAttachFileFromMail:
        model_.AttachFileFromMail(args.Text(0), args.Text(1), args.Double(2));
        break;
    case UpSetUpTitle:
        settings.uploadTitle = args.Text(0);
        break;
    case UpExpectContinueValue:
        // The automation boolean widened with its sign: true is stored as -1.
        settings.expectContinue = args.BoolValue(0);
        break;
    case UpAddDownloadFile:
        args.ReturnShort(DownloadAddFile(args.Text(0), args.Text(1), args.Double(2), args.Long(3)));
        break;
    case UpDownloadStart:
        DownloadStartSession();
        break;
    case UpSetDnTitle:
        settings.downloadTitle = args.Text(0);
        break;
    case UpSetDownHostUrl:
        settings.downloadHostUrl = args.Text(0);
        break;
    case UpSetDownLimitCount:
    case UpSetDownLimitSize:
        break;  // accepted and ignored
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
    return S_OK;
}

}  // namespace

HRESULT CreateUploadControl(REFIID iid, void** out) { return CreateOleControl(new CParvex_UpCtrl(), iid, out); }

}  // namespace parvex
