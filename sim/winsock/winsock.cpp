// The stand-in for the Winsock control ("MSWINSOCK.Winsock"), enough of it for a connection
// test: RemoteHost, RemotePort, Connect, Close and State. It connects with a real non-blocking
// socket whose progress arrives as window messages in the caller's thread, so State moves
// only while the caller lets its message queue run: 6 connecting, 7 connected, 8 the peer is
// closing, 9 error, 0 closed.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <mutex>
#include <string>

#include "core/convert.h"
#include "dispatched.h"
#include "profiles.h"
#include "registration.h"

namespace {

using kxsim::Arguments;
using kxsim::SimError;
using kx::String;
using kx::Variant;

enum State : int32_t { kClosed = 0, kConnecting = 6, kConnected = 7, kClosing = 8, kError = 9 };
constexpr UINT kSocketEvent = WM_APP + 1;
const wchar_t kWindowClass[] = L"kxsim_winsock";

SimError invalid_operation() { return SimError{static_cast<HRESULT>(0x800A9C46), L"Invalid operation at current state"}; }

class Winsock final : public kxsim::Dispatched
{
public:
    // The control is licensed: created at run time, it needs the design-time licence that
    // Visual Basic's setup leaves in the registry (Knowledge Base 313984); a server without
    // Visual Basic has none, and a script's CreateObject fails with error 429.
    static bool licensed()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kxsim::kWinsockLicenceKey, 0, KEY_READ, &key) != 0)
            return false;
        RegCloseKey(key);
        return true;
    }

    Winsock() : Dispatched(L"Winsock", {L"RemoteHost", L"RemotePort", L"State", L"Connect", L"Close"})
    {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Winsock() override
    {
        close();
        if (started_)
            WSACleanup();
    }

protected:
    void member(std::size_t index, bool put, const Arguments& args, VARIANT& out) override
    {
        switch (index) {
        case 0:
            if (put)
                host_ = args.text(0);
            else
                kxsim::give(out, Variant(host_));
            return;
        case 1:
            if (put)
                port_ = port_of(args.value(0));
            else
                kxsim::give(out, Variant(port_));
            return;
        case 2:
            if (put)
                not_here();
            return kxsim::give(out, Variant(state_));
        case 3:
            if (args.count() > 0)
                host_ = args.text(0);
            if (args.count() > 1)
                port_ = port_of(args.value(1));
            return connect();
        default: return close();
        }
    }

private:
    static int32_t port_of(const Variant& value)
    {
        const int32_t port = kx::to_long(value);
        if (port < 0 || port > 65535)
            throw SimError{static_cast<HRESULT>(0x800A017C), L"Invalid property value"};
        return port;
    }

    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
    {
        if (message != kSocketEvent)
            return DefWindowProcW(window, message, wparam, lparam);
        auto* self = reinterpret_cast<Winsock*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && static_cast<SOCKET>(wparam) == self->socket_) {
            if (WSAGETSELECTERROR(lparam))
                self->state_ = kError;
            else if (WSAGETSELECTEVENT(lparam) == FD_CONNECT)
                self->state_ = kConnected;
            else if (WSAGETSELECTEVENT(lparam) == FD_CLOSE)
                self->state_ = kClosing;
        }
        return 0;
    }

    void connect()
    {
        if (state_ != kClosed)
            throw invalid_operation();
        static std::once_flag registered;
        std::call_once(registered, [] {
            WNDCLASSW window_class{};
            window_class.lpfnWndProc = window_procedure;
            window_class.hInstance = GetModuleHandleW(nullptr);
            window_class.lpszClassName = kWindowClass;
            RegisterClassW(&window_class);
        });
        window_ = CreateWindowW(kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!window_)
            throw SimError{HRESULT_FROM_WIN32(GetLastError()), L"Cannot create the control's window"};
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

        addrinfoW hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfoW* found = nullptr;
        if (GetAddrInfoW(host_.c_str(), std::to_wstring(port_).c_str(), &hints, &found) != 0 || !found) {
            state_ = kError;  // a host that cannot be found is reported through State
            return;
        }
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        state_ = kConnecting;
        if (socket_ == INVALID_SOCKET || WSAAsyncSelect(socket_, window_, kSocketEvent, FD_CONNECT | FD_CLOSE) != 0 ||
            (::connect(socket_, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0 &&
             WSAGetLastError() != WSAEWOULDBLOCK))
            state_ = kError;
        FreeAddrInfoW(found);
    }

    void close()
    {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        socket_ = INVALID_SOCKET;
        if (window_)
            DestroyWindow(window_);
        window_ = nullptr;
        state_ = kClosed;
    }

    bool started_ = false;
    String host_;
    int32_t port_ = 0;
    int32_t state_ = kClosed;
    SOCKET socket_ = INVALID_SOCKET;
    HWND window_ = nullptr;
};

// {A3E1B7C4-6D2F-4E8A-9B15-3C7D0E4F2A61}
const CLSID kWinsockClsid = {0xA3E1B7C4, 0x6D2F, 0x4E8A, {0x9B, 0x15, 0x3C, 0x7D, 0x0E, 0x4F, 0x2A, 0x61}};
const wchar_t kProgId[] = L"MSWINSOCK.Winsock";
kxsim::ClassObject<Winsock> class_object;

}  // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    return IsEqualCLSID(clsid, kWinsockClsid) ? class_object.QueryInterface(riid, object) : CLASS_E_CLASSNOTAVAILABLE;
}
STDAPI DllCanUnloadNow() { return kxsim::live_objects == 0 ? S_OK : S_FALSE; }
STDAPI DllRegisterServer() { return kxsim::register_class(kWinsockClsid, kProgId, L"Simulated Winsock control"); }
STDAPI DllUnregisterServer()
{
    kxsim::unregister_class(kWinsockClsid, kProgId);
    return S_OK;
}
LONG WINAPI kxsim_live_objects() { return kxsim::live_objects; }

}  // extern "C"
