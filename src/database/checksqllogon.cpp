#include "core/failure.h"
#include "database/operations.h"
#include "platform/automation/automation.h"
#include "platform/platform.h"

namespace kx::database {

// A failing step leaves the connection open; it is released when the call ends.
int32_t checksqllogon(Platform& platform, const String& iHost, const String& iUserName, const String& iPassword,
                      const String& iDatabase)
{
    Stages<int32_t> stages;
    stages.arm(1);
    return stages.run([&] {
        const auto connection = platform.automation.create(L"ADODB.Connection");
        connection->put(L"ConnectionString", L"driver={SQL Server};server=" + iHost + L";UID=" + iUserName +
                                                 L";PWD=" + iPassword + L";database=" + iDatabase);
        connection->call(L"Open", {String(), String(), String(), int32_t(-1)});
        connection->call(L"Close");
        return 0;
    });
}

}  // namespace kx::database
