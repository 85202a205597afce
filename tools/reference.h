// The reference of every class and member (docs/reference.md), which the caller carries.
#pragma once

#include <string>

namespace kx::reference {

// The reference's text for a member: the section of its class, or of the member itself in a
// class that has several.
std::string section(const std::string& cls, const std::string& member);

}  // namespace kx::reference
