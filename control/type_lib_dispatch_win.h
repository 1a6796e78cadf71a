// IDispatch of a control driven by a dispinterface of the module's type
// library: the names, DISPIDs, parameter counts and types come from the
// library, the methods' bodies from the control.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace parvex {

// The arguments of one call, already converted to the declared types and in
// declaration order, and the place for the result.
class DispatchArgs {
public:
    DispatchArgs(std::vector<VARIANT>& args, VARIANT* result, VARTYPE resultType)
        : args_(args), result_(result), resultType_(resultType) {}

    short Short(size_t i) const { return args_.at(i).iVal; }
    long Long(size_t i) const { return args_.at(i).lVal; }
    double Double(size_t i) const { return args_.at(i).dblVal; }
    // VARIANT_TRUE is -1.
    short BoolValue(size_t i) const { return args_.at(i).boolVal; }
    std::wstring Text(size_t i) const;

    void ReturnShort(short value);
    void ReturnLong(long value);
    void ReturnDouble(double value);
    void ReturnText(const std::wstring& value);

private:
    bool Wants(VARTYPE type) const { return result_ && resultType_ == type; }
    std::vector<VARIANT>& args_;
    VARIANT* result_;
    VARTYPE resultType_;
};

using DispatchBody = std::function<HRESULT(DISPID, DispatchArgs&)>;

class TypeLibDispatch {
public:
    explicit TypeLibDispatch(REFIID dispatchId);
    ~TypeLibDispatch();
    TypeLibDispatch(const TypeLibDispatch&) = delete;
    TypeLibDispatch& operator=(const TypeLibDispatch&) = delete;

    // Null when the module's type library could not be read.
    ITypeInfo* TypeInfo() const { return info_; }
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const;
    // The method's name in the library, or its DISPID as a number.
    std::wstring MethodName(DISPID id) const;
    HRESULT Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argError,
                   const DispatchBody& body) const;

private:
    struct Method {
        std::vector<VARTYPE> parameters;
        VARTYPE result = VT_EMPTY;
        std::wstring name;
    };
    ITypeInfo* info_ = nullptr;
    std::map<DISPID, Method> methods_;
};

}  // namespace parvex
