// A message box of the library on a real (virtual) display: its text, title and buttons read
// from the window itself, then dismissed; and no box nor viewer at all when the process is
// quiet, their texts in the trace instead. Run under Xvfb, where Wine shows windows for real,
// with KESTRIX_TRACE naming the trace.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <fstream>
#include <functional>
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

BOOL CALLBACK note_window(HWND window, LPARAM count)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window))
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// The ways a process is quiet: (name, switch on, switch off).
struct Way
{
    const char* name;
    std::function<void()> on, off;
};

const Way ways[] = {
    {"environment", [] { SetEnvironmentVariableW(L"KESTRIX_QUIET", L"1"); },
     [] { SetEnvironmentVariableW(L"KESTRIX_QUIET", nullptr); }},
    {"registry",
     [] {
         const DWORD one = 1;
         RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrix", L"Quiet", REG_DWORD, &one, sizeof one);
     },
     [] { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrix", L"Quiet"); }},
    // A window station that is not visible, as a service's is.
    {"invisible window station",
     [] {
         HWINSTA station = CreateWindowStationW(L"KxHidden", 0, WINSTA_ALL_ACCESS, nullptr);
         SetProcessWindowStation(station);
     },
     [] { SetProcessWindowStation(OpenWindowStationW(L"WinSta0", FALSE, WINSTA_ALL_ACCESS)); }},
};

// (member, argument, answer, what the trace holds instead of the box or viewer)
struct Shown
{
    const wchar_t* member;
    const wchar_t* argument;
    VARTYPE type;
    const wchar_t* answer;
    const char* held_back;
};

const Shown shown[] = {
    {L"getservicename", L"C:\\kxtest\\no-such-file.exe", VT_BSTR, L"Not found", "No Version Info available!"},
    {L"getserviceowner", L"C:\\kxtest\\no-such-file.exe", VT_BSTR, L"Not found", "No Version Info available!"},
    {L"help", L"C:\\kxtest\\no-such-help.chm", VT_I4, L"0",
     "the help viewer for C:\\\\kxtest\\\\no-such-help.chm"},
};

TEST(Quiet, NoBoxNorViewerOpensAndTheTraceHoldsWhatWouldHaveShown)
{
    const std::wstring trace = environment(L"KESTRIX_TRACE");
    ASSERT_FALSE(trace.empty()) << "the test runs with KESTRIX_TRACE set";
    CreateDirectoryW(L"C:\\kxtest", nullptr);
    DeleteFileW(trace.c_str());
    for (const Way& way : ways) {
        way.on();
        for (const Shown& call : shown) {
            SCOPED_TRACE(std::string(way.name) + " " + std::string(call.member, call.member + wcslen(call.member)));
            const std::string name(call.member, call.member + wcslen(call.member));
            ComPtr<IDispatch> object = create(name.c_str());
            ASSERT_TRUE(object);
            std::atomic<bool> done{false};
            int windows = 0;
            std::thread watcher([&] {
                while (!done) {
                    EnumWindows(note_window, reinterpret_cast<LPARAM>(&windows));
                    if (HWND box = FindWindowW(L"#32770", L"Kestrix"))  // a box that should not be: closed
                        PostMessageW(box, WM_COMMAND, IDOK, 0);
                    Sleep(20);
                }
            });
            Text argument(call.argument);
            VARIANTARG arg = text_arg(argument.bstr);
            Var result;
            const Invoked invoked = invoke(object.Get(), call.member, &arg, 1, &result.v);
            Sleep(300);  // a viewer takes a moment to show
            done = true;
            watcher.join();
            EXPECT_EQ(invoked.status, S_OK);
            Var text;
            VariantChangeType(&text.v, &result.v, 0, VT_BSTR);
            EXPECT_EQ(V_VT(&result.v), call.type);
            EXPECT_EQ(std::wstring(V_BSTR(&text.v)), call.answer);
            EXPECT_EQ(windows, 0);
        }
        way.off();
    }
    std::ifstream lines(std::string(trace.begin(), trace.end()));
    std::string line;
    std::vector<std::string> quiet;
    while (std::getline(lines, line))
        if (line.find("\"quiet\":") != std::string::npos)
            quiet.push_back(line);
    ASSERT_EQ(quiet.size(), std::size(ways) * std::size(shown));
    for (std::size_t i = 0; i < quiet.size(); ++i)
        EXPECT_NE(quiet[i].find(std::string("\"quiet\":[\"") + shown[i % std::size(shown)].held_back + "\"]"),
                  std::string::npos)
            << quiet[i];
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
    ui::Quiet quiet;
    ui::Win32UserInterface(quiet).do_events();
    EXPECT_EQ(typed, L"k");
    DestroyWindow(window);
}

}  // namespace
}  // namespace kx::test
