// kestrix: calls one member of Kestrix.dll through IDispatch and prints the answer as JSON.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "frame/catalogue.h"
#include "platform/codepage/utf8.h"
#include "reference.h"
#include "request.h"

namespace {

const char kUsage[] =
    "usage: kestrix MEMBER [ARG...]    call one member; MEMBER is a member's name or CLASS.MEMBER\n"
    "       kestrix --batch            one call per line on standard input:\n"
    "                                  {\"member\": \"...\", \"args\": [...]}\n"
    "       kestrix --list             every member with its parameters\n"
    "       kestrix --help [MEMBER]    this text, or what a member does\n"
    "\n"
    "Each call prints one line: {\"result\": R, \"byref\": {\"NAME\": V, ...}}, or\n"
    "{\"error\": {\"number\": N, \"description\": \"...\"}}. Each argument is converted to its\n"
    "parameter's type as the registered type library gives it; every by-reference parameter\n"
    "appears under byref with its value after the call. Exit status: 0; 1 after a failed call;\n"
    "2 for a wrong argument count, an unknown member or malformed JSON.\n";

using Microsoft::WRL::ComPtr;
using Json = nlohmann::ordered_json;
using kx::to_utf8;

struct UsageError
{
    std::string message;
};

std::wstring from_utf8(const std::string& text)
{
    std::optional<std::wstring> wide = kx::from_utf8(text);
    if (!wide)
        throw UsageError{"a text that is not UTF-8"};
    return *wide;
}

std::wstring wide(const char* s) { return std::wstring(s, s + strlen(s)); }

// JSON as the caller has always written it: ", " and ": " between items, every character
// outside ASCII escaped, so that it survives any console.
std::string write(const Json& value)
{
    auto join = [](const Json& items, auto&& item) {
        std::string out;
        for (auto it = items.begin(); it != items.end(); ++it)
            out += (out.empty() ? "" : ", ") + item(it);
        return out;
    };
    if (value.is_object())
        return "{" + join(value, [](auto it) { return Json(it.key()).dump(-1, ' ', true) + ": " + write(it.value()); }) +
               "}";
    if (value.is_array())
        return "[" + join(value, [](auto it) { return write(*it); }) + "]";
    return value.dump(-1, ' ', true, Json::error_handler_t::replace);
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
    throw UsageError{"unknown member " + to_utf8(name) + " (kestrix --list names them all)"};
}

void check(HRESULT status, const char* what)
{
    if (FAILED(status)) {
        char text[96];
        std::snprintf(text, sizeof text, "%s failed with 0x%08lX", what, static_cast<unsigned long>(status));
        throw std::runtime_error(text);
    }
}

// A member's description in the registered type library: its parameters, their types and
// whether each is passed by reference.
struct Signature
{
    struct Param
    {
        std::wstring name;
        VARTYPE type;
        bool byref;
    };
    DISPID id = 0;
    std::vector<Param> params;
    bool has_result = false;
    VARTYPE result = VT_EMPTY;
};

// The interface of a class (its virtual-table side, which describes the parameters).
ComPtr<ITypeInfo> interface_of(const kx::catalogue::Class& cls)
{
    GUID libid{}, clsid{};
    CLSIDFromString(wide(kx::catalogue::library().libid).c_str(), &libid);
    CLSIDFromString(wide(cls.clsid).c_str(), &clsid);
    ComPtr<ITypeLib> library;
    check(LoadRegTypeLib(libid, 1, 0, LOCALE_NEUTRAL, &library), "loading the registered type library");
    ComPtr<ITypeInfo> coclass, dispatch, vtable;
    check(library->GetTypeInfoOfGuid(clsid, &coclass), "finding the class in the type library");
    HREFTYPE ref = 0;
    check(coclass->GetRefTypeOfImplType(0, &ref), "finding the class's interface");
    check(coclass->GetRefTypeInfo(ref, &dispatch), "finding the class's interface");
    if (SUCCEEDED(dispatch->GetRefTypeOfImplType(-1, &ref)) && SUCCEEDED(dispatch->GetRefTypeInfo(ref, &vtable)))
        return vtable;
    return dispatch;
}

Signature signature_of(const Target& target)
{
    const ComPtr<ITypeInfo> info = interface_of(*target.cls);
    TYPEATTR* attributes = nullptr;
    check(info->GetTypeAttr(&attributes), "reading the interface");
    const UINT count = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    for (UINT f = 0; f < count; ++f) {
        FUNCDESC* function = nullptr;
        check(info->GetFuncDesc(f, &function), "reading a function");
        BSTR names[32] = {};
        UINT found = 0;
        info->GetNames(function->memid, names, 32, &found);
        Signature signature;
        signature.id = function->memid;
        for (SHORT p = 0; p < function->cParams; ++p) {
            const ELEMDESC& element = function->lprgelemdescParam[p];
            const bool byref = element.tdesc.vt == VT_PTR;
            const VARTYPE type = byref ? element.tdesc.lptdesc->vt : element.tdesc.vt;
            if (element.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
                signature.has_result = true;
                signature.result = type;
            } else {
                signature.params.push_back({p + 1 < static_cast<SHORT>(found) ? names[p + 1] : L"", type, byref});
            }
        }
        const bool wanted = found > 0 && names[0] && same_name(names[0], target.member->name);
        for (UINT n = 0; n < found; ++n)
            SysFreeString(names[n]);
        info->ReleaseFuncDesc(function);
        if (wanted)
            return signature;
    }
    throw UsageError{std::string("the registered type library has no member ") + target.member->name};
}

const char* type_name(VARTYPE type)
{
    switch (type) {
    case VT_BSTR: return "BSTR";
    case VT_I4: return "long";
    case VT_VARIANT: return "VARIANT";
    case VT_SAFEARRAY: return "SAFEARRAY(BSTR)";
    default: return "?";
    }
}

std::string signature_text(const Target& target, const Signature& signature)
{
    std::string text = std::string(target.cls->name) + "." + target.member->name + "(";
    for (std::size_t i = 0; i < signature.params.size(); ++i)
        text += (i ? ", " : "") + to_utf8(signature.params[i].name) + " " + type_name(signature.params[i].type) +
                (signature.params[i].byref ? " ref" : "");
    return text + ") -> " + (signature.has_result ? type_name(signature.result) : "none");
}

// An argument as its parameter's type takes it. Text that is no number for a long stays text,
// so that the member itself refuses it.
void to_variant(const Json& arg, VARTYPE type, VARIANT& out)
{
    VariantInit(&out);
    if (arg.is_null()) {
        V_VT(&out) = VT_NULL;
    } else if (arg.is_boolean()) {
        V_VT(&out) = VT_BOOL;
        V_BOOL(&out) = arg.get<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (arg.is_number()) {
        const double d = arg.get<double>();
        if (arg.is_number_integer() && d >= -2147483648.0 && d <= 2147483647.0) {
            V_VT(&out) = VT_I4;
            V_I4(&out) = static_cast<LONG>(arg.get<int64_t>());
        } else {
            V_VT(&out) = VT_R8;
            V_R8(&out) = d;
        }
        if (type == VT_BSTR)
            VariantChangeType(&out, &out, 0, VT_BSTR);
    } else if (arg.is_string()) {
        const std::wstring text = from_utf8(arg.get<std::string>());
        V_VT(&out) = VT_BSTR;
        V_BSTR(&out) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (type == VT_I4) {
            VARIANT number;
            VariantInit(&number);
            if (SUCCEEDED(VariantChangeType(&number, &out, 0, VT_I4))) {
                VariantClear(&out);
                out = number;
            }
        }
    } else if (arg.is_array()) {
        SAFEARRAYBOUND bound{static_cast<ULONG>(arg.size()), 0};
        SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
        for (LONG i = 0; array && i < static_cast<LONG>(arg.size()); ++i) {
            Var element;
            to_variant(arg[static_cast<std::size_t>(i)], VT_VARIANT, element.v);
            SafeArrayPutElement(array, &i, &element.v);
        }
        V_VT(&out) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(&out) = array;
    } else {
        throw UsageError{"an object is no argument"};
    }
}

Json to_json(const VARIANT& v)
{
    if (V_VT(&v) == (VT_BYREF | VT_VARIANT))
        return to_json(*V_VARIANTREF(&v));
    if (V_VT(&v) & VT_ARRAY) {
        SAFEARRAY* array = V_ARRAY(&v);
        if (!array)
            return nullptr;
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(array, 1, &lower);
        SafeArrayGetUBound(array, 1, &upper);
        Json items = Json::array();
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
        return items;
    }
    switch (V_VT(&v)) {
    case VT_EMPTY:
    case VT_NULL: return nullptr;
    case VT_BOOL: return V_BOOL(&v) != VARIANT_FALSE;
    case VT_BSTR: return to_utf8(std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))));
    case VT_I2: return V_I2(&v);
    case VT_I4: return V_I4(&v);
    default: break;
    }
    Var number;
    if (SUCCEEDED(VariantChangeType(&number.v, const_cast<VARIANT*>(&v), 0, VT_R8)))
        return V_R8(&number.v);
    return nullptr;
}

std::string error_line(HRESULT number, const std::wstring& description)
{
    return write(Json{{"error", {{"number", static_cast<long>(number)}, {"description", to_utf8(description)}}}});
}

// What a status means, never blank.
std::wstring description_of(HRESULT status)
{
    switch (status) {
    case DISP_E_TYPEMISMATCH: return L"Type mismatch";
    case DISP_E_OVERFLOW: return L"Overflow";
    case DISP_E_BADPARAMCOUNT: return L"Wrong number of arguments";
    default: break;
    }
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(status), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text ? text : L"";
    LocalFree(text);
    while (!message.empty() && iswspace(message.back()))
        message.pop_back();
    if (message.empty()) {
        wchar_t number[32];
        swprintf(number, 32, L"Error 0x%08lX", static_cast<unsigned long>(status));
        message = number;
    }
    return message;
}

// Makes one call and answers its line; sets failed when the call failed.
std::string call(const std::wstring& name, const Json& args, bool& failed)
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
        return error_line(status, progid + L": " + description_of(status));
    }

    const Signature signature = signature_of(target);
    const std::size_t count = signature.params.size();
    if (args.size() != count)
        throw UsageError{std::string(target.cls->name) + "." + target.member->name + " takes " + std::to_string(count) +
                         " argument" + (count == 1 ? "" : "s") + ", " + std::to_string(args.size()) + " given: " +
                         signature_text(target, signature)};

    std::vector<Var> storage(count);        // the values, where by-reference parameters are written
    std::vector<VARIANTARG> passed(count);  // last first
    for (std::size_t i = 0; i < count; ++i) {
        to_variant(args[i], signature.params[i].type, storage[i].v);
        VARIANTARG& arg = passed[count - 1 - i];
        if (signature.params[i].byref) {
            V_VT(&arg) = VT_BYREF | VT_VARIANT;
            V_VARIANTREF(&arg) = &storage[i].v;
        } else {
            arg = storage[i].v;
        }
    }
    DISPPARAMS params{passed.data(), nullptr, static_cast<UINT>(count), 0};
    Var result;
    EXCEPINFO exception{};
    UINT bad = ~0u;
    status = object->Invoke(signature.id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result.v,
                            &exception, &bad);
    if (status == DISP_E_EXCEPTION) {
        failed = true;
        std::wstring description = exception.bstrDescription ? exception.bstrDescription : L"";
        const HRESULT number = exception.scode ? exception.scode : status;
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrHelpFile);
        return error_line(number, description.empty() ? description_of(number) : description);
    }
    if (FAILED(status)) {
        failed = true;
        std::wstring description = description_of(status);
        if (bad < count)
            description += L" (argument " + signature.params[count - 1 - bad].name + L")";
        return error_line(status, description);
    }
    Json references = Json::object();
    for (std::size_t i = 0; i < count; ++i)
        if (signature.params[i].byref)
            references[to_utf8(signature.params[i].name)] = to_json(storage[i].v);
    return write(Json{{"result", to_json(result.v)}, {"byref", references}});
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
            const kx::caller::Request request = kx::caller::parse_request(line);
            bool failed = false;
            std::cout << call(from_utf8(request.member), request.args, failed) << std::endl;
            if (failed && status == 0)
                status = 1;
        } catch (const kx::caller::MalformedRequest& error) {
            const std::string what = error.what();
            std::cerr << "kestrix: " << what << std::endl;
            std::cout << write(Json{{"usage", what.rfind("malformed JSON", 0) == 0 ? "malformed JSON" : what}}) << std::endl;
            status = 2;
        } catch (const UsageError& error) {
            std::cerr << "kestrix: " << error.message << std::endl;
            std::cout << write(Json{{"usage", error.message}}) << std::endl;
            status = 2;
        }
    }
    return status;
}

// Every member of every class, with its parameters, as the registered type library has them.
int list()
{
    for (const auto& cls : kx::catalogue::library().classes)
        for (const auto& member : cls.members) {
            const Target target{&cls, &member};
            std::cout << signature_text(target, signature_of(target)) << "\n";
        }
    return 0;
}

int help(const std::wstring& name)
{
    const Target target = resolve(name);
    std::cout << signature_text(target, signature_of(target)) << "\n\n"
              << kx::reference::section(target.cls->name, target.member->name) << std::endl;
    return 0;
}

int run(int argc, wchar_t** argv)
{
    const std::wstring first = argc > 1 ? argv[1] : L"";
    if (argc < 2 || first == L"--help" || first == L"-h" || first == L"/?") {
        if (argc > 2)
            return help(argv[2]);
        (argc < 2 ? std::cerr : std::cout) << kUsage;
        return argc < 2 ? 2 : 0;
    }
    if (first == L"--list")
        return list();
    if (first == L"--batch")
        return batch();
    Json args = Json::array();
    for (int i = 2; i < argc; ++i)
        args.push_back(to_utf8(argv[i]));
    bool failed = false;
    std::cout << call(first, args, failed) << std::endl;
    return failed ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 3;
    int status = 3;
    try {
        status = run(argc, argv);
    } catch (const UsageError& error) {
        std::cerr << "kestrix: " << error.message << std::endl;
        status = 2;
    } catch (const std::exception& error) {
        std::cerr << "kestrix: " << error.what() << std::endl;
    }
    CoUninitialize();
    return status;
}
