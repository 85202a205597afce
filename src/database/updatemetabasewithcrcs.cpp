#include "core/failure.h"
#include "database/checksums.h"
#include "database/operations.h"
#include "platform/automation/automation.h"
#include "platform/files/files.h"
#include "platform/platform.h"

namespace kx::database {

// A value without a text form gives "".
Variant SQLEncodeString(Platform&, const Variant& i_sStrValue) { return Variant(sql_encoded(i_sStrValue).value_or(String())); }

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
            if (const auto entry = checksum_line(line)) {
                const String text = upload_statement(szHostName, szModule, *sql_encoded(entry->object), entry->checksum);
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
