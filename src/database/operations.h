// The database and digest operations: SQL Server and Oracle logons, the checksum upload with
// its encoding of object names, and a file's digest.
#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::database {

// 0 when a connection to the SQL Server database opened and closed, else 1.
int32_t checksqllogon(Platform& platform, const String& iHost, const String& iUserName, const String& iPassword,
                      const String& iDatabase);
// 0 when Oracle's provider, or else Microsoft's provider for Oracle, opened the connection.
int32_t checkoralogon(Platform& platform, const String& iTNS, const String& iUserName, const String& iPassword);

// Uploads every usable line of the checksum list, one statement a line: 0, or the trap that
// caught a failure: 1 connection, 2 list file, 3 a statement.
int32_t updatemetabasewithcrcs(Platform& platform, const String& CRCFile, const String& szHostName,
                               const String& szModule, const String& szDatabase, const String& gszSqlServer,
                               const String& gszSqlUser, const String& gszSqlPassword);
// The value's text, safe in a quoted SQL literal and a LIKE pattern; empty for a value without
// a text form.
Variant SQLEncodeString(Platform& platform, const Variant& i_sStrValue);

// The file's digest from aamd532.dll, always 32 characters; f comes back through the ANSI code
// page.
String getcrcforfile(Platform& platform, String& f);

}  // namespace kx::database
