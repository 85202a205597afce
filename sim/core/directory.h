// Simulated directory providers: objects bound from ADsPaths over a store, handed out as COM
// objects that implement IADs, IADsContainer and IDispatch by name. What the objects do lives
// in node_rules.h; each namespace states its own rules (paths, statuses, extra methods) in a
// Rules object of its own, and its store here.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "node_rules.h"
#include "object.h"
#include "store_file.h"

namespace kxsim {

// The object at an ADsPath, with one reference.
HRESULT open_path(const Rules& rules, const String& path, IDispatch** object);

// The namespace object ("IIS:"), which opens objects for ADsOpenObject and OpenDSObject.
HRESULT make_namespace(const Rules& rules, REFIID riid, void** object);

// This computer's name, as the system gives it.
String system_computer_name();

}  // namespace kxsim
