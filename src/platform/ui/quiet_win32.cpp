#include "platform/ui/quiet.h"

#include <windows.h>

namespace kx::ui {

bool Quiet::wanted()
{
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrix", L"Quiet", RRF_RT_REG_DWORD, nullptr, &value, &size) ==
            ERROR_SUCCESS &&
        value != 0)
        return true;
    wchar_t flag[8] = {};
    const DWORD length = GetEnvironmentVariableW(L"KESTRIX_QUIET", flag, 8);
    if (length > 0 && !(length == 1 && flag[0] == L'0'))
        return true;
    USEROBJECTFLAGS flags{};
    HWINSTA station = GetProcessWindowStation();
    return station && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
           !(flags.dwFlags & WSF_VISIBLE);
}

}  // namespace kx::ui
