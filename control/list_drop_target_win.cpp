#include "control/list_drop_target_win.h"

#include <utility>

namespace parvex {

namespace {

// One object per registered window; OLE holds the reference that keeps it.
struct ListDropTarget : IDropTarget {
    explicit ListDropTarget(std::function<void(const std::vector<std::wstring>&)> onDrop)
        : onDrop_(std::move(onDrop)) {}
    virtual ~ListDropTarget() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDropTarget) {
            *out = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        FORMATETC format = FileListFormat();
        offered_ = data && data->QueryGetData(&format) == S_OK;
        return Answer(effect);
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override { return Answer(effect); }
    HRESULT STDMETHODCALLTYPE DragLeave() override {
        offered_ = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        offered_ = false;
        FORMATETC format = FileListFormat();
        STGMEDIUM medium = {};
        if (!data || data->GetData(&format, &medium) != S_OK) {
            if (effect) *effect = DROPEFFECT_NONE;
            return S_OK;
        }
        std::vector<std::wstring> paths;
        if (void* list = GlobalLock(medium.hGlobal)) {
            paths = DroppedPaths(static_cast<HDROP>(list));
            GlobalUnlock(medium.hGlobal);
        }
        ReleaseStgMedium(&medium);
        if (effect) *effect = paths.empty() ? DROPEFFECT_NONE : DROPEFFECT_COPY;
        // The drop route may call the page: keep this object meanwhile.
        AddRef();
        if (!paths.empty()) onDrop_(paths);
        Release();
        return S_OK;
    }

private:
    static FORMATETC FileListFormat() { return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }
    HRESULT Answer(DWORD* effect) {
        if (!effect) return E_INVALIDARG;
        *effect = offered_ && (*effect & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }

    LONG refs_ = 1;
    bool offered_ = false;
    std::function<void(const std::vector<std::wstring>&)> onDrop_;
};

}  // namespace

std::vector<std::wstring> DroppedPaths(HDROP drop) {
    std::vector<std::wstring> paths;
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        DragQueryFileW(drop, i, &path[0], length + 1);
        path.resize(length);
        paths.push_back(path);
    }
    return paths;
}

bool RegisterListDropTarget(HWND window, std::function<void(const std::vector<std::wstring>&)> onDrop) {
    auto* target = new ListDropTarget(std::move(onDrop));
    HRESULT hr = RegisterDragDrop(window, target);
    target->Release();
    return SUCCEEDED(hr);
}

void RevokeListDropTarget(HWND window) { RevokeDragDrop(window); }

}  // namespace parvex
