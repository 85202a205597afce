// The library's per-process bookkeeping.
#include "frame/module.h"

#include <atomic>

namespace kx::frame {
namespace {

HMODULE this_module = nullptr;

std::atomic<long> live_objects{0};
std::atomic<long> server_locks{0};

}  // namespace

void set_module_handle(HMODULE module) { this_module = module; }
HMODULE module_handle() { return this_module; }

std::wstring module_path()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(this_module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void object_created() { ++live_objects; }
void object_destroyed() { --live_objects; }
void lock_server(bool lock) { lock ? ++server_locks : --server_locks; }
bool can_unload() { return live_objects == 0 && server_locks == 0; }

}  // namespace kx::frame

