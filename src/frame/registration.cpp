#include "frame/registration.h"

#include <oleauto.h>
#include <olectl.h>
#include <wrl/client.h>

#include <string>

#include "frame/catalogue.h"
#include "frame/guids.h"
#include "frame/module.h"

namespace kx::frame {
namespace {

using Microsoft::WRL::ComPtr;

class RegistryKey
{
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey()
    {
        if (key_)
            RegCloseKey(key_);
    }
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::wstring widen(const char* text) { return std::wstring(text, text + std::char_traits<char>::length(text)); }

// Sets a string value (null name: the default value) of a key below HKEY_CLASSES_ROOT,
// creating the key.
HRESULT set_value(const std::wstring& path, const wchar_t* name, const std::wstring& value)
{
    RegistryKey key;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE, nullptr, key.out(), nullptr);
    if (status == ERROR_SUCCESS)
        status = RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(status);
}

HRESULT delete_tree(const std::wstring& path)
{
    LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND)
        status = RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

HRESULT register_class(const catalogue::Class& cls, const std::wstring& server)
{
    const std::wstring progid = L"Kestrix." + widen(cls.name);
    const std::wstring clsid_key = L"CLSID\\" + widen(cls.clsid);
    const std::wstring writes[][3] = {
        {clsid_key, L"", progid},
        {clsid_key + L"\\InprocServer32", L"", server},
        {clsid_key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {clsid_key + L"\\ProgID", L"", progid},
        {clsid_key + L"\\TypeLib", L"", widen(catalogue::library().libid)},
        {clsid_key + L"\\VERSION", L"", L"1.0"},
        {progid, L"", progid},
        {progid + L"\\CLSID", L"", widen(cls.clsid)},
    };
    for (const auto& write : writes) {
        HRESULT status = set_value(write[0], write[1].empty() ? nullptr : write[1].c_str(), write[2]);
        if (FAILED(status))
            return status;
    }
    return S_OK;
}

SYSKIND this_syskind() { return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32; }

}  // namespace

HRESULT register_server()
{
    const std::wstring server = module_path();
    if (server.empty())
        return SELFREG_E_CLASS;
    ComPtr<ITypeLib> library;
    HRESULT status = LoadTypeLibEx(server.c_str(), REGKIND_NONE, &library);
    if (SUCCEEDED(status))
        status = RegisterTypeLib(library.Get(), const_cast<OLECHAR*>(server.c_str()), nullptr);
    if (FAILED(status)) {
        unregister_server();
        return SELFREG_E_TYPELIB;
    }
    for (const catalogue::Class& cls : catalogue::library().classes) {
        status = register_class(cls, server);
        if (FAILED(status)) {
            unregister_server();
            return status;
        }
    }
    return S_OK;
}

HRESULT unregister_server()
{
    HRESULT result = S_OK;
    for (const catalogue::Class& cls : catalogue::library().classes) {
        for (const std::wstring& key : {L"CLSID\\" + widen(cls.clsid), L"Kestrix." + widen(cls.name)}) {
            HRESULT status = delete_tree(key);
            if (FAILED(status))
                result = status;
        }
    }
    // A library that is not registered (any more) is nothing to remove.
    BSTR registered = nullptr;
    if (SUCCEEDED(QueryPathOfRegTypeLib(library_id(), 1, 0, 0, &registered))) {
        SysFreeString(registered);
        const HRESULT status = UnRegisterTypeLib(library_id(), 1, 0, 0, this_syskind());
        if (FAILED(status) && status != TYPE_E_REGISTRYACCESS && status != TYPE_E_LIBNOTREGISTERED)
            result = SELFREG_E_TYPELIB;
    }
    return result;
}

}  // namespace kx::frame
