// What the user sees: modal message boxes with the OK button only and the library's title; and
// the caller's message queue, which a waiting operation lets run.
#pragma once

#include "core/value.h"

namespace kx::ui {

class UserInterface
{
public:
    virtual ~UserInterface() = default;
    // Shows the text and returns when the user has closed the box.
    virtual void message_box(const String& text) = 0;
    // Dispatches every message waiting in the calling thread's queue and returns at once
    // when none is left.
    virtual void do_events() = 0;
};

}  // namespace kx::ui
