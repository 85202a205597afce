#pragma once

#include "platform/automation/automation.h"

namespace kx::automation {

// CLSIDFromProgID and CoCreateInstance, then IDispatch by name.
class ComAutomation final : public Automation
{
public:
    std::unique_ptr<Object> create(const String& progid) override;
};

}  // namespace kx::automation
