#include "registration.h"

#include <objbase.h>

#include "platform/win32/handle.h"

namespace kxsim {

namespace {

const wchar_t kReplaced[] = L"KxsimReplacedClass";

// The default value of a key; empty when there is none.
String value_of(HKEY root, const String& key, const wchar_t* name = nullptr)
{
    wchar_t text[128] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return String();
    return text;
}

}  // namespace

HRESULT register_class(const CLSID& clsid, const String& progid, const wchar_t* description)
{
    const String path = module_path();
    if (path.empty())
        return E_FAIL;
    const String previous = value_of(HKEY_CLASSES_ROOT, progid + L"\\CLSID");
    if (!previous.empty() && previous != guid_text(clsid) && value_of(HKEY_CLASSES_ROOT, progid, kReplaced).empty())
        set_registry_value(HKEY_CLASSES_ROOT, progid, kReplaced, previous);
    const String key = L"CLSID\\" + guid_text(clsid);
    for (LSTATUS status : {set_registry_value(HKEY_CLASSES_ROOT, key, nullptr, description),
                           set_registry_value(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr, path),
                           set_registry_value(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel", L"Both"),
                           set_registry_value(HKEY_CLASSES_ROOT, key + L"\\ProgID", nullptr, progid),
                           set_registry_value(HKEY_CLASSES_ROOT, progid, nullptr, description),
                           set_registry_value(HKEY_CLASSES_ROOT, progid + L"\\CLSID", nullptr, guid_text(clsid))})
        if (status != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(status);
    return S_OK;
}

bool unregister_class(const CLSID& clsid, const String& progid)
{
    const String key = L"CLSID\\" + guid_text(clsid);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    const String replaced = value_of(HKEY_CLASSES_ROOT, progid, kReplaced);
    if (!replaced.empty()) {
        set_registry_value(HKEY_CLASSES_ROOT, progid + L"\\CLSID", nullptr, replaced);
        RegDeleteKeyValueW(HKEY_CLASSES_ROOT, progid.c_str(), kReplaced);
        return true;
    }
    RegDeleteTreeW(HKEY_CLASSES_ROOT, progid.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, progid.c_str());
    return false;
}

LSTATUS set_registry_value(HKEY root, const String& key, const wchar_t* name, const String& value)
{
    kx::win32::RegistryKey handle;
    LSTATUS status = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, handle.out(), nullptr);
    if (status == ERROR_SUCCESS)
        status = RegSetValueExW(handle.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return status;
}

String module_path()
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&module_path), &self);
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    return String(path, length < MAX_PATH ? length : 0);
}

String guid_text(const GUID& guid)
{
    wchar_t text[40];
    return StringFromGUID2(guid, text, 40) ? String(text) : String();
}

}  // namespace kxsim
