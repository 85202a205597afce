#include "winsock_double.h"

#include <gtest/gtest.h>

#include <string>

#include "com_support.h"
#include "platform/win32/procedure.h"
#include "profiles.h"

namespace kx::test {
namespace {

const std::wstring kLicence = std::wstring(L"Software\\Classes\\") + kxsim::kWinsockLicenceKey;

bool exists(const wchar_t* key)
{
    return RegGetValueW(HKEY_LOCAL_MACHINE, key, nullptr, RRF_RT_ANY, nullptr, nullptr, nullptr) == 0;
}

void set_licence(bool present)
{
    const wchar_t text[] = L"kxsim design-time licence";
    if (present)
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, kLicence.c_str(), nullptr, REG_SZ, text, sizeof text);
    else
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kLicence.c_str());
}

HRESULT registration(const char* step)
{
    HMODULE library = LoadLibraryW(beside_tests(L"kxsim_winsock.dll").c_str());  // stays: its objects are counted
    auto call = library ? win32::procedure<HRESULT(WINAPI*)()>(library, step) : nullptr;
    return call ? call() : E_FAIL;
}

}  // namespace

WinsockDouble::WinsockDouble(bool licensed)
    : had_control_(exists(L"Software\\Classes\\MSWINSOCK.Winsock\\CLSID")), had_licence_(exists(kLicence.c_str()))
{
    if (!had_control_ && FAILED(registration("DllRegisterServer")))
        ADD_FAILURE() << "the Winsock double cannot be registered";
    set_licence(licensed);
}

WinsockDouble::~WinsockDouble()
{
    if (!had_control_)
        registration("DllUnregisterServer");
    set_licence(had_licence_);
}

}  // namespace kx::test
