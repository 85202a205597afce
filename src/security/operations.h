// The file-security operations: access-control entries for an account on a file, a folder or
// a folder tree, and account names from SIDs.
#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::file_security {

// Appends one entry for the account to the file's list and writes the list: 0, or the step
// that failed, 1 to 15.
int32_t setfilepermission(Platform& platform, const String& sFileName, const String& sUserName,
                          const String& sRights);

// Replaces the account's entries on a file or folder (a pair of inheritable ones on a folder);
// a failing step is shown in a message box.
void SetAccess(Platform& platform, const String& sUserName, const String& sFileName, const String& sRights);
// Edits every folder below a folder, each subtree before its folder; always empty.
Variant SetDirAcces(Platform& platform, const String& i_sSourceLocation, const String& sUserName,
                    const String& sRights);
// The folder, and with lInheritance 0 every folder below it; always 0.
int32_t setdirectorypermission(Platform& platform, const String& sFolderName, const String& sUserName,
                               const String& sPermission, const int32_t& lInheritance);

// The account name of a SID in its string form, in a buffer of at least 64 characters (the
// name, a NUL, blanks), or "GetLastError returned : " and the platform's error number.
String getntaccountbysid(Platform& platform, const String& sSid);

}  // namespace kx::file_security
