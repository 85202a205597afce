// The table of built operations: which function carries out which catalogue member.
#include <string_view>

#include "accounts/generatepassword.h"
#include "frame/operation_binding.h"

namespace kx::operations {
namespace {

constexpr Operation table[] = {
    bind<&accounts::generatepassword>("generatepassword", "generatepassword"),
};

}  // namespace

std::span<const Operation> all() { return table; }

const Operation* find(std::string_view cls, std::string_view member)
{
    for (const Operation& operation : table)
        if (cls == operation.cls && member == operation.member)
            return &operation;
    return nullptr;
}

bool fits(const Operation& operation, const catalogue::Member& member)
{
    if (operation.result != member.result || operation.params.size() != member.params.size())
        return false;
    for (std::size_t i = 0; i < member.params.size(); ++i) {
        if (operation.params[i].type != member.params[i].type)
            return false;
        if (operation.params[i].writes && !member.params[i].byref)
            return false;
    }
    return true;
}

}  // namespace kx::operations
