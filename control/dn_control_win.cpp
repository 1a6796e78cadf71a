// CParvex_DnCtrl: the download method names as a class of their own. Every
// method but AboutBox does nothing; the working download feature belongs to
// the upload control.
#include "control/com_module_win.h"
#include "control/control_behaviour_win.h"
#include "control/controls_win.h"
#include "parvex_h.h"
#include "resources/resource.h"

namespace parvex {

namespace {

enum DnDispid : DISPID {
    DnAboutBox = -552,
    DnAddDownloadFile = 1,
    DnAddDownloadFiles = 4,
};

class CParvex_DnCtrl final : public ControlBehaviour {
public:
    const CLSID& ClassId() const override { return CLSID_Parvex_Dn; }
    const IID& DispatchId() const override { return DIID__DParvex_Dn; }
    const IID& EventsId() const override { return DIID__DParvex_DnEvents; }
    const CLSID& PropertyPageId() const override { return CLSID_ParvexDnPropPage; }
    bool SafeForScripting() const override { return false; }

    bool OnCreateWindow(HWND window, IOleClientSite*) override {
        window_ = window;
        return true;
    }
    void OnDestroyWindow() override { window_ = nullptr; }

    // White, with an ellipse inscribed in the bounds drawn with whatever pen
    // and brush the drawing context holds.
    void Draw(HDC dc, const RECT& bounds) override {
        FillRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
    }

    HRESULT Call(DISPID id, DispatchArgs& args) override {
        switch (id) {
        case DnAboutBox:
            ShowAboutBox(IDD_ABOUTBOX_PARVEX_DN, window_);
            break;
        case DnAddDownloadFile:
        case DnAddDownloadFiles:
            args.ReturnShort(0);
            break;
        default:
            break;  // the setters, TestLinkListValue and DownloadStart
        }
        return S_OK;
    }

private:
    HWND window_ = nullptr;
};

}  // namespace

HRESULT CreateDownloadControl(REFIID iid, void** out) { return CreateOleControl(new CParvex_DnCtrl(), iid, out); }

}  // namespace parvex
