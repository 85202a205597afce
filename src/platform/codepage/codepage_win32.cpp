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

std::string AnsiCodePage::to_ansi(const String& text)
{
    if (text.empty())
        return {};
    const int length = checked_length(text.size());
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), length, out.data(), size, nullptr, nullptr);
    return out;
}

String AnsiCodePage::from_ansi(const std::string& text)
{
    if (text.empty())
        return {};
    const int length = checked_length(text.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    String out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, out.data(), size);
    return out;
}

}  // namespace kx
