// What makes one control class differ from the other behind the shared OLE
// control object: its identities, its window's content, its drawing and the
// bodies of its dispatch methods.
#pragma once
#include <windows.h>
#include <ole2.h>

#include "control/type_lib_dispatch_win.h"

namespace parvex {

class ControlBehaviour {
public:
    virtual ~ControlBehaviour() = default;

    virtual const CLSID& ClassId() const = 0;
    virtual const IID& DispatchId() const = 0;
    virtual const IID& EventsId() const = 0;
    virtual const CLSID& PropertyPageId() const = 0;
    // Only a class registered safe for scripting and initialising says so
    // through IObjectSafety as well.
    virtual bool SafeForScripting() const = 0;

    // The OLE object around this behaviour exists: object is its IUnknown,
    // lent without a reference for the object's whole life.
    virtual void OnObjectCreated(IUnknown* object) { (void)object; }
    // The control's own window exists; false makes its creation fail.
    virtual bool OnCreateWindow(HWND window, IOleClientSite* site) = 0;
    virtual void OnDestroyWindow() = 0;
    // The container asks for the picture of the control in bounds.
    virtual void Draw(HDC dc, const RECT& bounds) = 0;
    // A dispatch method with its arguments converted by the type library.
    virtual HRESULT Call(DISPID id, DispatchArgs& args) = 0;
};

// The shared OLE control object around behaviour, which it owns from now on;
// the object answers iid into out.
HRESULT CreateOleControl(ControlBehaviour* behaviour, REFIID iid, void** out);

}  // namespace parvex
