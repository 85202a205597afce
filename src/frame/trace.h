// A trace of every call, for support cases: when the machine's registry value
// HKLM\Software\Kestrix\TraceFile (or else the environment variable KESTRIX_TRACE) names a
// file, each call appends one line of JSON to it: the time, the process, the member, the
// arguments as passed (passwords as "***"), the by-reference values after the call, the result
// or the raised error, the boxes and windows a quiet call did not show, and how long the call
// took. The setting is read once per process; without it nothing is written. A trace that
// cannot be written never fails a call.
#pragma once

#include <span>

#include "core/value.h"
#include "frame/call.h"
#include "frame/catalogue.h"

namespace kx::frame::trace {

// Whether calls are traced in this process.
bool enabled();

// Appends the line of one finished call.
void record(const catalogue::Class& cls, const catalogue::Member& member, std::span<const Value> before,
            std::span<const Value> after, const Outcome& outcome, double milliseconds) noexcept;

}  // namespace kx::frame::trace
