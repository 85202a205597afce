// A message box of the library on a real (virtual) display: its text, title and buttons read
// from the window itself, then dismissed. Run under Xvfb; headless Wine shows no boxes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "com_support.h"
#include "platform/ui/ui_win32.h"

namespace kx::test {
namespace {

struct Seen
{
    std::wstring title, text;
    std::vector<std::wstring> buttons;
};

BOOL CALLBACK note_button(HWND child, LPARAM seen)
{
    wchar_t cls[32] = {}, text[64] = {};
    GetClassNameW(child, cls, 32);
    if (std::wstring(cls) == L"Button") {
        GetWindowTextW(child, text, 64);
        reinterpret_cast<Seen*>(seen)->buttons.emplace_back(text);
    }
    return TRUE;
}

// Waits for the library's box, reads it and presses OK.
Seen read_and_dismiss()
{
    Seen seen;
    for (int i = 0; i < 400; ++i) {
        HWND box = FindWindowW(L"#32770", L"Kestrix");
        if (box) {
            wchar_t text[256] = {}, title[64] = {};
            GetWindowTextW(box, title, 64);
            GetDlgItemTextW(box, 0xFFFF, text, 256);  // the static control that holds a box's text
            seen.title = title;
            seen.text = text;
            EnumChildWindows(box, note_button, reinterpret_cast<LPARAM>(&seen));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return seen;
        }
        Sleep(25);
    }
    return seen;
}

TEST(LibraryMessage, IsModalWithTheLibrarysTitleAndAnOkButtonOnly)
{
    ComPtr<IDispatch> object = create("getservicename");
    ASSERT_TRUE(object);
    Seen seen;
    std::thread watcher([&] { seen = read_and_dismiss(); });
    Text missing(L"C:\\kxtest\\no-such-file.exe");
    VARIANTARG arg = text_arg(missing.bstr);
    Var result;
    const Invoked invoked = invoke(object.Get(), L"getservicename", &arg, 1, &result.v);
    watcher.join();
    EXPECT_EQ(invoked.status, S_OK);
    EXPECT_EQ(std::wstring(V_BSTR(&result.v)), L"Not found");  // only once the box was closed
    EXPECT_EQ(seen.title, L"Kestrix");
    EXPECT_EQ(seen.text, L"No Version Info available!");
    EXPECT_EQ(seen.buttons, std::vector<std::wstring>{L"OK"});
}

std::wstring typed;

LRESULT CALLBACK note_typed(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_CHAR)
        typed += static_cast<wchar_t>(w);
    return DefWindowProcW(window, message, w, l);
}

// The port probe's wait runs the caller's messages as a message loop does: keys typed meanwhile
// into the caller's window arrive as characters (on a display, where keys have a layout).
TEST(LibraryMessageLoop, TheWaitTurnsTheCallersKeysIntoCharacters)
{
    WNDCLASSW type{};
    type.lpfnWndProc = note_typed;
    type.lpszClassName = L"KxTyping";
    RegisterClassW(&type);
    HWND window = CreateWindowW(L"KxTyping", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    PostMessageW(window, WM_KEYDOWN, 'K', MAKELPARAM(1, MapVirtualKeyW('K', MAPVK_VK_TO_VSC)));
    ui::Win32UserInterface().do_events();
    EXPECT_EQ(typed, L"k");
    DestroyWindow(window);
}

}  // namespace
}  // namespace kx::test
