#pragma once

#include "platform/ui/ui.h"

namespace kx::ui {

// MessageBox with style 0 (OK only, modal to the caller's thread) and the title "Kestrix".
class Win32UserInterface final : public UserInterface
{
public:
    void message_box(const String& text) override;
    void do_events() override;
};

}  // namespace kx::ui
