// The computer's account database as the account operations reach it.
#pragma once

#include <memory>

#include "core/value.h"
#include "platform/directory/directory.h"

namespace kx::accounts {

// "WinNT://" and the host: the path of the computer's container.
inline String computer_path(const String& host) { return L"WinNT://" + host; }

// The computer's container bound afresh, its enumeration restricted to one class ("User" or
// "Group").
inline std::unique_ptr<directory::Object> accounts_of(directory::Directory& directory, const String& host,
                                                      const wchar_t* class_name)
{
    auto computer = directory.bind(computer_path(host));
    computer->set_filter({class_name});
    return computer;
}

}  // namespace kx::accounts
