#include "type_lib_dispatch_win.h"

#include <oleauto.h>

#include "com_module_win.h"
#include "common/trace.h"

namespace parvex {

std::wstring DispatchArgs::Text(size_t i) const {
    BSTR text = args_.at(i).bstrVal;
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

void DispatchArgs::ReturnShort(short value) {
    if (!Wants(VT_I2)) return;
    V_VT(result_) = VT_I2;
    V_I2(result_) = value;
}

void DispatchArgs::ReturnLong(long value) {
    if (!Wants(VT_I4)) return;
    V_VT(result_) = VT_I4;
    V_I4(result_) = value;
}

void DispatchArgs::ReturnDouble(double value) {
    if (!Wants(VT_R8)) return;
    V_VT(result_) = VT_R8;
    V_R8(result_) = value;
}

void DispatchArgs::ReturnText(const std::wstring& value) {
    if (!Wants(VT_BSTR)) return;
    V_VT(result_) = VT_BSTR;
    V_BSTR(result_) = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
}

TypeLibDispatch::TypeLibDispatch(REFIID dispatchId) {
    if (FAILED(LoadModuleTypeInfo(dispatchId, &info_)) || !info_) return;
    TYPEATTR* attributes = nullptr;
    HRESULT hr = info_->GetTypeAttr(&attributes);
    if (FAILED(hr)) {
        TraceFailure(L"ITypeInfo::GetTypeAttr", L"of a dispatch interface of the module", hr);
        return;
    }
    for (UINT i = 0; i < attributes->cFuncs; ++i) {
        FUNCDESC* function = nullptr;
        if (FAILED(info_->GetFuncDesc(i, &function))) continue;
        Method method;
        for (SHORT p = 0; p < function->cParams; ++p)
            method.parameters.push_back(function->lprgelemdescParam[p].tdesc.vt);
        method.result = function->elemdescFunc.tdesc.vt;
        // Dispinterfaces declare HRESULT-less signatures; a void method has
        // no result to fill.
        if (method.result == VT_VOID || method.result == VT_HRESULT) method.result = VT_EMPTY;
        BSTR name = nullptr;
        UINT names = 0;
        if (SUCCEEDED(info_->GetNames(function->memid, &name, 1, &names)) && names == 1)
            method.name.assign(name, SysStringLen(name));
        SysFreeString(name);
        methods_[function->memid] = method;
        info_->ReleaseFuncDesc(function);
    }
    info_->ReleaseTypeAttr(attributes);
}

TypeLibDispatch::~TypeLibDispatch() {
    if (info_) info_->Release();
}

HRESULT TypeLibDispatch::GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const {
    if (!info_) return E_UNEXPECTED;
    return info_->GetIDsOfNames(names, count, ids);
}

std::wstring TypeLibDispatch::MethodName(DISPID id) const {
    auto found = methods_.find(id);
    if (found != methods_.end() && !found->second.name.empty()) return found->second.name;
    return L"method " + std::to_wstring(id);
}

HRESULT TypeLibDispatch::Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argError,
                                const DispatchBody& body) const {
    auto found = methods_.find(id);
    if (found == methods_.end()) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    const Method& method = found->second;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (!params) params = &none;
    if (params->cArgs != method.parameters.size()) return DISP_E_BADPARAMCOUNT;

    std::vector<VARIANT> args(method.parameters.size());
    for (VARIANT& v : args) VariantInit(&v);
    HRESULT hr = S_OK;
    // The caller may pass no place for the failing argument's index, but
    // DispGetParam writes it unconditionally.
    UINT failing = 0;
    for (UINT i = 0; i < method.parameters.size() && SUCCEEDED(hr); ++i)
        hr = DispGetParam(params, i, method.parameters[i], &args[i], &failing);
    if (FAILED(hr) && argError) *argError = failing;
    if (SUCCEEDED(hr)) {
        if (result) VariantInit(result);
        DispatchArgs call(args, result, method.result);
        hr = body(id, call);
    }
    for (VARIANT& v : args) VariantClear(&v);
    return hr;
}

}  // namespace parvex
