#include "platform/automation/automation_win32.h"

#include "platform/com/com.h"

namespace kx::automation {
namespace {

using com::ComPtr;

class DispatchObject final : public Object
{
public:
    explicit DispatchObject(ComPtr<IDispatch> object) : object_(std::move(object)) {}

    Variant get(const String& property) override { return com::get_property(object_.Get(), property); }
    void put(const String& property, const Variant& value) override { com::put_property(object_.Get(), property, value); }
    void put_object(const String& property, Object& value) override
    {
        com::put_property_ref(object_.Get(), property, static_cast<DispatchObject&>(value).object_.Get());
    }
    Variant call(const String& method, const std::vector<Variant>& args) override
    {
        return com::call_method(object_.Get(), method, args);
    }

private:
    ComPtr<IDispatch> object_;
};

}  // namespace

std::unique_ptr<Object> ComAutomation::create(const String& progid)
{
    return std::make_unique<DispatchObject>(com::create_object(progid));
}

}  // namespace kx::automation
