#include "platform/codepage/codepage_win32.h"

#include <windows.h>

#include <limits>

#include "core/failure.h"

namespace kx {
namespace {

int checked_length(std::size_t size)
{
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max() / 4))
        throw Failure(E_OUTOFMEMORY, L"Out of memory");
    return static_cast<int>(size);
}

}  // namespace

AnsiCodePage::AnsiCodePage(unsigned code_page) : code_page_(code_page) {}

// Without WC_NO_BEST_FIT_CHARS, a character that the code page lacks becomes a look-alike that
// it has (a fullwidth "．" a ".", a fullwidth "Ｕ" a "U"), and one name another: here it becomes
// the default character. UTF-8 and GB 18030 refuse the flag (ERROR_INVALID_FLAGS); they hold
// every character, so no best fit applies there.
std::string AnsiCodePage::to_ansi(const String& text)
{
    if (text.empty())
        return {};
    const int length = checked_length(text.size());
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int size = WideCharToMultiByte(code_page_, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        size = WideCharToMultiByte(code_page_, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    }
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size <= 0 ||
        WideCharToMultiByte(code_page_, flags, text.data(), length, out.data(), size, nullptr, nullptr) != size) {
        const DWORD error = GetLastError();
        throw Failure(static_cast<int32_t>(HRESULT_FROM_WIN32(error ? error : ERROR_NO_UNICODE_TRANSLATION)),
                      L"The text cannot be converted to the system's code page");
    }
    return out;
}

String AnsiCodePage::from_ansi(const std::string& text)
{
    if (text.empty())
        return {};
    const int length = checked_length(text.size());
    const int size = MultiByteToWideChar(code_page_, 0, text.data(), length, nullptr, 0);
    String out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(code_page_, 0, text.data(), length, out.data(), size);
    return out;
}

}  // namespace kx
