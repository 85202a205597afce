#include "core/convert.h"
#include "core/failure.h"
#include "database/operations.h"
#include "platform/automation/automation.h"
#include "platform/files/files.h"
#include "platform/platform.h"

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

// One batch: insert the row of (machine, object) unless it is there, else update its checksum.
String statement(const String& machine, const String& module, const String& object, const String& checksum)
{
    return L"IF NOT EXISTS (SELECT * FROM OBJCT WHERE MACHINE = '" + machine + L"' AND OBJCT = '" + object + L"')" +
           L" INSERT INTO OBJCT (MACHINE, SERVER, MODUL, OBJCT, CHECKSUM) VALUES " + L"('" + machine +
           L"', 'WebServer', '" + module + L"', '" + object + L"', '" + checksum + L"') ELSE " +
           L" UPDATE OBJCT SET CHECKSUM = '" + checksum + L"' WHERE MACHINE = '" + machine + L"' AND OBJCT = '" +
           object + L"'";
}

}  // namespace

// Brackets are escaped before "%" and "_", so the brackets those two bring are not escaped
// again: it's_50%[x] becomes it''s[_]50[%][[]x]. A value without a text form gives "".
Variant SQLEncodeString(Platform&, const Variant& i_sStrValue)
{
    String text;
    if (ignoring_failure([&] { text = to_text(i_sStrValue); }))
        return Variant(String());
    text = replaced(text, L"'", L"''");
    text = replaced(text, L"[", L"[[]");
    text = replaced(text, L"%", L"[%]");
    text = replaced(text, L"_", L"[_]");
    return Variant(text);
}

// Every trap closes the connection before it answers, and that close is not trapped: a
// connection that never came into being or never opened fails it, and that failure is the
// call's. A message "Database ... not found" was once meant for an open that answers with a
// value; an open answers with none (a failing one goes to trap 1), so no box is shown.
int32_t updatemetabasewithcrcs(Platform& platform, const String& CRCFile, const String& szHostName,
                               const String& szModule, const String& szDatabase, const String& gszSqlServer,
                               const String& gszSqlUser, const String& gszSqlPassword)
{
    std::unique_ptr<automation::Object> connection, command;
    std::unique_ptr<files::TextStream> list;
    auto close = [&] {
        if (!connection)
            throw runtime::object_not_set();
        connection->call(L"Close");
    };
    Stages<int32_t> stages;
    return stages.run([&] {
        stages.arm(1, close);
        connection = platform.automation.create(L"ADODB.Connection");
        connection->put(L"ConnectionString", L"driver={SQL Server};server=" + gszSqlServer + L";uid=" + gszSqlUser +
                                                 L";pwd=" + gszSqlPassword + L";database=" + szDatabase);
        connection->put(L"ConnectionTimeout", int16_t(30));
        connection->call(L"Open");
        command = platform.automation.create(L"ADODB.Command");
        command->put_object(L"ActiveConnection", *connection);

        stages.arm(2, close);
        list = platform.files.create()->get_file(CRCFile)->open_as_text_stream(1, 0);
        String line = list->read_line();  // an empty file fails here

        for (;;) {
            // The name is what stands before the first "|", the checksum all after it; a line
            // without one, or with nothing before it, sends nothing.
            const std::size_t bar = line.find(L'|');
            if (bar != String::npos && bar > 0) {
                const String name = SQLEncodeString(platform, line.substr(0, bar)).as<String>();
                const String text = statement(szHostName, szModule, name, line.substr(bar + 1));
                stages.arm(3, close);
                command->put(L"CommandText", text);
                command->call(L"Execute");
            }
            if (list->at_end_of_stream())
                break;
            line = list->read_line();
        }
        connection->call(L"Close");
        return 0;
    });
}

}  // namespace kx::database
