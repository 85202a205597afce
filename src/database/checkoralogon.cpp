#include "core/failure.h"
#include "database/operations.h"
#include "platform/automation/automation.h"
#include "platform/platform.h"

namespace kx::database {

// Every failure is absorbed: each attempt is judged by its own outcome.
int32_t checkoralogon(Platform& platform, const String& iTNS, const String& iUserName, const String& iPassword)
{
    std::unique_ptr<automation::Object> connection;
    auto open_with = [&](const wchar_t* provider) {
        return !ignoring_failure([&] {
            if (!connection)
                connection = platform.automation.create(L"ADODB.Connection");
            connection->put(L"ConnectionString", String(L"Provider=") + provider + L";User ID=" + iUserName +
                                                     L";Data Source=" + iTNS + L";Password=" + iPassword + L";");
            connection->call(L"Open", {String(), String(), String(), int32_t(-1)});
        });
    };
    int32_t result = 0;
    if (!open_with(L"OraOLEDB.Oracle.1") && !open_with(L"MSDAORA.1"))
        result = 1;
    ignoring_failure([&] {
        if (connection)
            connection->call(L"Close");  // also of a connection that never opened
    });
    return result;
}

}  // namespace kx::database
