#include "platform/ui/ui_win32.h"

#include <windows.h>

namespace kx::ui {

void Win32UserInterface::message_box(const String& text)
{
    // The text may hold NULs (a caller's argument); the box shows it up to the first.
    if (Quiet::wanted())
        quiet_.hold_back(text.c_str());
    else
        MessageBoxW(nullptr, text.c_str(), L"Kestrix", MB_OK);
}

void Win32UserInterface::do_events()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace kx::ui
