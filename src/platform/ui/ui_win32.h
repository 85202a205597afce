#pragma once

#include "platform/ui/quiet.h"
#include "platform/ui/ui.h"

namespace kx::ui {

// MessageBox with style 0 (OK only, modal to the caller's thread) and the title "Kestrix";
// when quiet, the text is held back instead.
class Win32UserInterface final : public UserInterface
{
public:
    explicit Win32UserInterface(Quiet& quiet) : quiet_(quiet) {}
    void message_box(const String& text) override;
    void do_events() override;

private:
    Quiet& quiet_;
};

}  // namespace kx::ui
