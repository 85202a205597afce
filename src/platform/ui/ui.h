// What the user sees: modal message boxes with the OK button only and the library's title.
#pragma once

#include "core/value.h"

namespace kx::ui {

class UserInterface
{
public:
    virtual ~UserInterface() = default;
    // Shows the text and returns when the user has closed the box.
    virtual void message_box(const String& text) = 0;
};

}  // namespace kx::ui
