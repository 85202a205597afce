// Quiet: no member shows a box or opens a window, and what it would have shown is held back for
// the call's trace. The member goes on as if the user had closed the box at once, so it answers
// what it answers then. A process is quiet when the machine asks for it (the DWORD Quiet, not 0,
// under HKLM\SOFTWARE\Kestrix, in the registry view of this library's bitness), when its
// environment does (KESTRIX_QUIET set, and not to 0), and where nobody could close a box: in a
// window station that is not visible, as a service's is (Windows Installer runs deferred custom
// actions there), a box would wait for ever (Windows only).
#pragma once

#include <vector>

#include "core/value.h"

namespace kx::ui {

class Quiet
{
public:
    // Asked at each box, so that a setting made during the process's life counts.
    static bool wanted();

    void hold_back(const String& what) { held_back_.push_back(what); }
    const std::vector<String>& held_back() const { return held_back_; }

private:
    std::vector<String> held_back_;
};

}  // namespace kx::ui
