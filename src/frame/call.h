// The one call path of every member, whichever way it was bound: run the operation on the
// platform, and turn its failure into a status with error information.
#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <vector>

#include "core/failure.h"
#include "core/value.h"
#include "frame/catalogue.h"

namespace kx::frame {

struct Outcome
{
    Value result;                    // when the member succeeded
    std::optional<Failure> failure;  // when it did not
    std::vector<String> held_back;   // the boxes and windows a quiet call did not show
};

// Runs the member with the arguments (converted to the catalogue's types); arguments the
// operation writes are changed in place.
Outcome execute(const catalogue::Class& cls, const catalogue::Member& member, std::span<Value> args);

// The status that a failure reaches the caller with, after setting the thread's error
// information (source "Kestrix.<class>", the interface's identifier, the description).
HRESULT report(const Failure& failure, const catalogue::Class& cls, REFIID iid);

}  // namespace kx::frame
