#include "database/checksums.h"

#include "core/convert.h"
#include "core/failure.h"

namespace kx::database {
namespace {

String replaced(const String& text, const String& what, const String& with)
{
    String out;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(what, from)) != String::npos; from = at + what.size())
        out.append(text, from, at - from).append(with);
    return out.append(text, from, String::npos);
}

}  // namespace

std::optional<Checksum> checksum_line(const String& line)
{
    const std::size_t bar = line.find(L'|');
    if (bar == String::npos || bar == 0)
        return std::nullopt;
    return Checksum{line.substr(0, bar), line.substr(bar + 1)};
}

std::optional<String> sql_encoded(const Variant& value)
{
    String text;
    if (ignoring_failure([&] { text = to_text(value); }))
        return std::nullopt;
    text = replaced(text, L"'", L"''");
    text = replaced(text, L"[", L"[[]");
    text = replaced(text, L"%", L"[%]");
    return replaced(text, L"_", L"[_]");
}

String upload_statement(const String& machine, const String& module, const String& object, const String& checksum)
{
    return L"IF NOT EXISTS (SELECT * FROM OBJCT WHERE MACHINE = '" + machine + L"' AND OBJCT = '" + object + L"')" +
           L" INSERT INTO OBJCT (MACHINE, SERVER, MODUL, OBJCT, CHECKSUM) VALUES " + L"('" + machine +
           L"', 'WebServer', '" + module + L"', '" + object + L"', '" + checksum + L"') ELSE " +
           L" UPDATE OBJCT SET CHECKSUM = '" + checksum + L"' WHERE MACHINE = '" + machine + L"' AND OBJCT = '" +
           object + L"'";
}

}  // namespace kx::database
