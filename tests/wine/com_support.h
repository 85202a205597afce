// Helpers of the tests that reach the library through COM.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <utility>

#include "frame/catalogue.h"

namespace kx::test {

using Microsoft::WRL::ComPtr;

inline std::wstring widen(const char* text) { return std::wstring(text, text + strlen(text)); }

// A variable of this process's environment; empty when unset or longer than 1023 characters.
inline std::wstring environment(const wchar_t* name)
{
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return std::wstring(value, length < 1024 ? length : 0);
}

// A file beside the test program (the build's output folder).
inline std::wstring beside_tests(const std::wstring& file)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring self = path;
    return self.substr(0, self.find_last_of(L"\\/") + 1) + file;
}

inline GUID guid_of(const char* text)
{
    GUID g{};
    CLSIDFromString(widen(text).c_str(), &g);
    return g;
}

inline ComPtr<IDispatch> create(const char* cls)
{
    CLSID clsid{};
    ComPtr<IDispatch> object;
    if (SUCCEEDED(CLSIDFromProgID((L"Kestrix." + widen(cls)).c_str(), &clsid)))
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
    return object;
}

// Owns a BSTR made from a wide string of any content.
struct Text
{
    explicit Text(const std::wstring& s) : bstr(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    Text() = default;
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text() { SysFreeString(bstr); }
    std::wstring str() const { return bstr ? std::wstring(bstr, SysStringLen(bstr)) : std::wstring(); }
    BSTR bstr = nullptr;
};

// Owns a VARIANT.
struct Var
{
    Var() { VariantInit(&v); }
    Var(Var&& other) noexcept : v(other.v) { VariantInit(&other.v); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
    ~Var() { VariantClear(&v); }
    VARIANT v;
};

inline std::wstring text_of(const VARIANT& v)
{
    return V_VT(&v) == VT_BSTR ? std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) : L"<not a text>";
}

// A plain text argument, as a compiled client passes a string by value.
inline VARIANTARG text_arg(BSTR text)
{
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = text;
    return arg;
}

struct Invoked
{
    HRESULT status;
    HRESULT scode;             // of the exception, for DISP_E_EXCEPTION
    std::wstring description;  // of the exception
    std::wstring source;
    UINT bad_argument;
};

// Invokes a member by name with the arguments given last first, as IDispatch takes them.
inline Invoked invoke(IDispatch* object, const wchar_t* name, VARIANTARG* reversed_args, UINT count,
                      VARIANT* result, WORD flags = DISPATCH_METHOD)
{
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    Invoked out{object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), 0, {}, {}, 0};
    if (FAILED(out.status))
        return out;
    DISPPARAMS params{reversed_args, nullptr, count, 0};
    EXCEPINFO info{};
    out.bad_argument = ~0u;
    out.status = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info, &out.bad_argument);
    if (out.status == DISP_E_EXCEPTION) {
        out.scode = info.scode;
        out.description = info.bstrDescription ? info.bstrDescription : L"";
        out.source = info.bstrSource ? info.bstrSource : L"";
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrHelpFile);
    }
    return out;
}

#ifdef _WINSOCK2API_  // in the files that include winsock2.h before windows.h
// A TCP listener on a free loopback port, with a backlog of this many connections; closed at
// the end of its scope, or before by close().
struct Listener
{
    explicit Listener(int backlog) : socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP))
    {
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(socket, backlog);
        int size = sizeof address;
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    ~Listener() { close(); }
    void close()
    {
        if (socket != INVALID_SOCKET)
            closesocket(std::exchange(socket, INVALID_SOCKET));
    }
    std::wstring port() const { return std::to_wstring(ntohs(address.sin_port)); }
    SOCKET socket;
    sockaddr_in address{};
};
#endif

}  // namespace kx::test
