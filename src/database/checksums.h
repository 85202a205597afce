// What the checksum upload reads and writes: a line of the checksum list, the encoding of
// object names, and the statement for one line.
#pragma once

#include <optional>

#include "core/value.h"

namespace kx::database {

struct Checksum
{
    String object, checksum;
};

// The object name is what stands before the first "|", the checksum all after it (which may
// hold "|" itself, or nothing). A line without "|", or with nothing before it, has neither.
std::optional<Checksum> checksum_line(const String& line);

// The text of a value, safe in a quoted SQL literal and a LIKE pattern: "'" doubled, then
// "[", "%" and "_" in brackets, each step over the one before; nullopt for a value without a
// text form.
std::optional<String> sql_encoded(const Variant& value);

// One batch: insert the row of (machine, object) unless it is there, else update its checksum.
String upload_statement(const String& machine, const String& module, const String& object, const String& checksum);

}  // namespace kx::database
