// The simulated IIS: provider. Objects are bound from ADsPaths and handed out as COM objects
// that implement IADs, IADsContainer and IDispatch by name; every object counts as live until
// its last release.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>

#include "store.h"

namespace kxsim {

extern std::atomic<long> live_objects;

// The object at an ADsPath ("IIS://LocalHost/W3SVC/1"), with one reference.
HRESULT open_path(const String& path, IDispatch** object);

// The namespace object ("IIS:"), which opens objects for ADsOpenObject.
HRESULT make_namespace(REFIID riid, void** object);

}  // namespace kxsim
