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

}  // namespace kx::operations
