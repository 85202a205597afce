// The conversions that operations make between their values, with the automation run time's
// rules: text that is no number is a type mismatch, a number too large is an overflow.
#pragma once

#include "core/value.h"

namespace kx {

// A value as text: strings as they are, numbers in decimal, booleans as True or False, an
// empty value as the empty string; Null and lists are a type mismatch.
String to_text(const Variant& value);

// Decimal text (blanks around it, a sign and a fraction allowed) as a number; a fraction is
// rounded half to even when a whole number is asked for.
double to_double(const String& text);
int32_t to_long(const String& text);

double to_double(const Variant& value);
int32_t to_long(const Variant& value);

// A list's element at an index: subscript out of range past its end, type mismatch for a
// value that is no list.
const Variant& element(const Variant& list, std::size_t index);

}  // namespace kx
