// kestrix: calls one member of Kestrix.dll through IDispatch and prints the answer as JSON.
//
//   kestrix MEMBER [ARG...]     MEMBER is a member's name or CLASS.MEMBER
//   kestrix --batch             one JSON call per line on standard input:
//                               {"member": "...", "args": [...]}
//
// Each call prints one line: {"result": R, "byref": {"NAME": V, ...}}, or
// {"error": {"number": N, "description": "..."}}. Exit status: 0, 1 after a failed call,
// 2 for a wrong argument count, an unknown member or malformed JSON.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "frame/catalogue.h"
#include "json.h"

namespace {

using Microsoft::WRL::ComPtr;
using kx::json::Value;

struct UsageError
{
    std::string message;
};

std::u16string u16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
std::wstring wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
std::wstring wide(const char* s) { return std::wstring(s, s + strlen(s)); }
std::string narrow(const std::wstring& s)
{
    std::string out;
    for (wchar_t c : s)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

bool same_name(const std::wstring& a, const char* b)
{
    const std::wstring w = wide(b);
    return CompareStringOrdinal(a.c_str(), -1, w.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Owns a VARIANT.
struct Var
{
    Var() { VariantInit(&v); }
    Var(const Var&) = delete;
    Var(Var&& other) noexcept : v(other.v) { VariantInit(&other.v); }
    Var& operator=(const Var&) = delete;
    ~Var() { VariantClear(&v); }
    VARIANT v;
};

struct Target
{
    const kx::catalogue::Class* cls;
    const kx::catalogue::Member* member;
};

// A member named alone is the class's own member, or else the member of that name in the
// class that has one; CLASS.MEMBER names both.
Target resolve(const std::wstring& name)
{
    const auto& classes = kx::catalogue::library().classes;
    const std::wstring::size_type dot = name.find(L'.');
    if (dot != std::wstring::npos) {
        for (const auto& cls : classes)
            if (same_name(name.substr(0, dot), cls.name))
                for (const auto& member : cls.members)
                    if (same_name(name.substr(dot + 1), member.name))
                        return {&cls, &member};
    } else {
        for (const auto& cls : classes)
            if (same_name(name, cls.name))
                return {&cls, kx::catalogue::find_member(cls, cls.name)};
        for (const auto& cls : classes)
            for (const auto& member : cls.members)
                if (same_name(name, member.name))
                    return {&cls, &member};
    }
    throw UsageError{"unknown member " + narrow(name)};
}

// The member's description in the registered type library.
struct Signature
{
    ComPtr<ITypeInfo> info;
    FUNCDESC* function = nullptr;
    std::vector<std::wstring> names;  // member, then parameters
    ~Signature()
    {
        if (function)
            info->ReleaseFuncDesc(function);
    }
};

void check(HRESULT status, const char* what)
{
    if (FAILED(status)) {
        char text[64];
        std::snprintf(text, sizeof text, "%s failed with 0x%08lX", what, static_cast<unsigned long>(status));
        throw std::runtime_error(text);
    }
}

void signature_of(const Target& target, const CLSID& clsid, Signature& out)
{
    GUID libid{};
    CLSIDFromString(wide(kx::catalogue::library().libid).c_str(), &libid);
    ComPtr<ITypeLib> library;
    check(LoadRegTypeLib(libid, 1, 0, LOCALE_NEUTRAL, &library), "loading the registered type library");
    ComPtr<ITypeInfo> coclass, dispatch;
    check(library->GetTypeInfoOfGuid(clsid, &coclass), "finding the class in the type library");
    HREFTYPE ref = 0;
    check(coclass->GetRefTypeOfImplType(0, &ref), "finding the class's interface");
    check(coclass->GetRefTypeInfo(ref, &dispatch), "finding the class's interface");
    // The virtual-table side of the dual interface describes the parameters.
    if (SUCCEEDED(dispatch->GetRefTypeOfImplType(-1, &ref)))
        check(dispatch->GetRefTypeInfo(ref, &out.info), "finding the interface's functions");
    else
        out.info = dispatch;
    TYPEATTR* attributes = nullptr;
    check(out.info->GetTypeAttr(&attributes), "reading the interface");
    const UINT count = attributes->cFuncs;
    out.info->ReleaseTypeAttr(attributes);
    for (UINT f = 0; f < count; ++f) {
        FUNCDESC* function = nullptr;
        check(out.info->GetFuncDesc(f, &function), "reading a function");
        BSTR names[32] = {};
        UINT found = 0;
        out.info->GetNames(function->memid, names, 32, &found);
        std::vector<std::wstring> list;
        for (UINT n = 0; n < found; ++n) {
            list.push_back(names[n] ? names[n] : L"");
            SysFreeString(names[n]);
        }
        if (!list.empty() && same_name(list[0], target.member->name)) {
            out.function = function;
            out.names = list;
            return;
        }
        out.info->ReleaseFuncDesc(function);
    }
    throw UsageError{std::string("the registered type library has no member ") + target.member->name};
}

VARTYPE base_type(const TYPEDESC& t, bool& byref)
{
    byref = t.vt == VT_PTR;
    return byref ? t.lptdesc->vt : t.vt;
}

// An argument as the parameter's type takes it. Text that is no number for a long stays text,
// so that the member itself refuses it.
void to_variant(const Value& arg, VARTYPE type, VARIANT& out)
{
    VariantInit(&out);
    if (arg.is_null()) {
        V_VT(&out) = VT_NULL;
    } else if (const bool* b = std::get_if<bool>(&arg.data)) {
        V_VT(&out) = VT_BOOL;
        V_BOOL(&out) = *b ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (const double* d = std::get_if<double>(&arg.data)) {
        if (*d == static_cast<double>(static_cast<long>(*d))) {
            V_VT(&out) = VT_I4;
            V_I4(&out) = static_cast<long>(*d);
        } else {
            V_VT(&out) = VT_R8;
            V_R8(&out) = *d;
        }
        if (type == VT_BSTR)
            VariantChangeType(&out, &out, 0, VT_BSTR);
    } else if (const std::u16string* s = std::get_if<std::u16string>(&arg.data)) {
        V_VT(&out) = VT_BSTR;
        V_BSTR(&out) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s->data()), static_cast<UINT>(s->size()));
        if (type == VT_I4) {
            VARIANT number;
            VariantInit(&number);
            if (SUCCEEDED(VariantChangeType(&number, &out, 0, VT_I4))) {
                VariantClear(&out);
                out = number;
            }
        }
    } else if (const kx::json::Array* a = std::get_if<kx::json::Array>(&arg.data)) {
        SAFEARRAYBOUND bound{static_cast<ULONG>(a->size()), 0};
        SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
        for (LONG i = 0; array && i < static_cast<LONG>(a->size()); ++i) {
            Var element;
            to_variant((*a)[i], VT_VARIANT, element.v);
            SafeArrayPutElement(array, &i, &element.v);
        }
        V_VT(&out) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(&out) = array;
    } else {
        throw UsageError{"an object is no argument"};
    }
}

Value to_json(const VARIANT& v)
{
    if (V_VT(&v) == (VT_BYREF | VT_VARIANT))
        return to_json(*V_VARIANTREF(&v));
    if (V_VT(&v) & VT_ARRAY) {
        SAFEARRAY* array = V_ARRAY(&v);
        if (!array)
            return Value{nullptr};
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(array, 1, &lower);
        SafeArrayGetUBound(array, 1, &upper);
        kx::json::Array items;
        VARTYPE type = VT_EMPTY;
        SafeArrayGetVartype(array, &type);
        for (LONG i = lower; i <= upper; ++i) {
            Var element;
            if (type == VT_BSTR) {
                BSTR text = nullptr;
                SafeArrayGetElement(array, &i, &text);
                V_VT(&element.v) = VT_BSTR;
                V_BSTR(&element.v) = text;
            } else if (type == VT_VARIANT) {
                SafeArrayGetElement(array, &i, &element.v);
            }
            items.push_back(to_json(element.v));
        }
        return Value{items};
    }
    switch (V_VT(&v)) {
    case VT_EMPTY:
    case VT_NULL: return Value{nullptr};
    case VT_BOOL: return Value{V_BOOL(&v) != VARIANT_FALSE};
    case VT_BSTR: return Value{std::u16string(reinterpret_cast<const char16_t*>(V_BSTR(&v)), SysStringLen(V_BSTR(&v)))};
    default: break;
    }
    Var number;
    if (SUCCEEDED(VariantChangeType(&number.v, const_cast<VARIANT*>(&v), 0, VT_R8)))
        return Value{V_R8(&number.v)};
    return Value{nullptr};
}

std::string error_line(HRESULT number, const std::wstring& description)
{
    return "{\"error\": {\"number\": " + std::to_string(static_cast<long>(number)) +
           ", \"description\": " + kx::json::quote(u16(description)) + "}}";
}

std::wstring system_message(HRESULT status)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(status), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text ? text : L"";
    LocalFree(text);
    while (!message.empty() && iswspace(message.back()))
        message.pop_back();
    return message;
}

// Makes one call and answers its line; sets failed when the call failed.
std::string call(const std::wstring& name, const std::vector<Value>& args, bool& failed)
{
    const Target target = resolve(name);
    CLSID clsid{};
    const std::wstring progid = L"Kestrix." + wide(target.cls->name);
    HRESULT status = CLSIDFromProgID(progid.c_str(), &clsid);
    ComPtr<IDispatch> object;
    if (SUCCEEDED(status))
        status = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
    if (FAILED(status)) {
        failed = true;
        return error_line(status, progid + L": " + system_message(status));
    }

    Signature signature;
    signature_of(target, clsid, signature);
    const FUNCDESC& f = *signature.function;
    const bool has_result = f.cParams > 0 && (f.lprgelemdescParam[f.cParams - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
    const std::size_t count = f.cParams - (has_result ? 1 : 0);
    if (args.size() != count)
        throw UsageError{std::string(target.cls->name) + "." + target.member->name + " takes " + std::to_string(count) +
                         " argument" + (count == 1 ? "" : "s") + ", " + std::to_string(args.size()) + " given"};

    std::vector<Var> storage(count);     // the values, where by-reference parameters are written
    std::vector<VARIANTARG> passed(count);  // last first
    std::vector<bool> byref(count);
    for (std::size_t i = 0; i < count; ++i) {
        bool reference = false;
        const VARTYPE type = base_type(f.lprgelemdescParam[i].tdesc, reference);
        byref[i] = reference;
        to_variant(args[i], type, storage[i].v);
        VARIANTARG& arg = passed[count - 1 - i];
        if (reference) {
            V_VT(&arg) = VT_BYREF | VT_VARIANT;
            V_VARIANTREF(&arg) = &storage[i].v;
        } else {
            arg = storage[i].v;
        }
    }
    DISPPARAMS params{passed.data(), nullptr, static_cast<UINT>(count), 0};
    Var result;
    EXCEPINFO exception{};
    UINT bad = 0;
    status = object->Invoke(f.memid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result.v, &exception, &bad);
    if (status == DISP_E_EXCEPTION) {
        failed = true;
        const std::wstring description = exception.bstrDescription ? exception.bstrDescription : L"";
        const HRESULT number = exception.scode ? exception.scode : status;
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrHelpFile);
        return error_line(number, description);
    }
    if (FAILED(status)) {
        failed = true;
        std::wstring description = system_message(status);
        if ((status == DISP_E_TYPEMISMATCH || status == DISP_E_OVERFLOW) && bad < count)
            description += L" (argument " + signature.names.at(1 + (count - 1 - bad)) + L")";
        return error_line(status, description);
    }
    kx::json::Object references;
    for (std::size_t i = 0; i < count; ++i)
        if (byref[i])
            references.emplace_back(u16(signature.names.at(1 + i)), to_json(storage[i].v));
    return "{\"result\": " + kx::json::write(to_json(result.v)) + ", \"byref\": " +
           kx::json::write(Value{references}) + "}";
}

int batch()
{
    int status = 0;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        try {
            const Value request = kx::json::parse(line);
            const Value* member = request.member(u"member");
            const Value* args = request.member(u"args");
            if (!member || !std::holds_alternative<std::u16string>(member->data))
                throw UsageError{"a call needs \"member\", a string"};
            if (args && !std::holds_alternative<kx::json::Array>(args->data))
                throw UsageError{"\"args\" must be an array"};
            bool failed = false;
            std::cout << call(wide(std::get<std::u16string>(member->data)),
                              args ? std::get<kx::json::Array>(args->data) : kx::json::Array{}, failed)
                      << std::endl;
            if (failed && status == 0)
                status = 1;
        } catch (const kx::json::SyntaxError& error) {
            std::cerr << "kestrix: malformed JSON: " << error.what() << std::endl;
            std::cout << "{\"usage\": " << kx::json::quote(u"malformed JSON") << "}" << std::endl;
            status = 2;
        } catch (const UsageError& error) {
            std::cerr << "kestrix: " << error.message << std::endl;
            std::cout << "{\"usage\": " << kx::json::quote(kx::json::from_utf8(error.message)) << "}" << std::endl;
            status = 2;
        }
    }
    return status;
}

int run(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::cerr << "usage: kestrix MEMBER [ARG...] | kestrix --batch" << std::endl;
        return 2;
    }
    if (std::wstring(argv[1]) == L"--batch")
        return batch();
    std::vector<Value> args;
    for (int i = 2; i < argc; ++i)
        args.push_back(Value{u16(argv[i])});
    try {
        bool failed = false;
        std::cout << call(argv[1], args, failed) << std::endl;
        return failed ? 1 : 0;
    } catch (const UsageError& error) {
        std::cerr << "kestrix: " << error.message << std::endl;
        return 2;
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 3;
    int status = 3;
    try {
        status = run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "kestrix: " << error.what() << std::endl;
    }
    CoUninitialize();
    return status;
}
