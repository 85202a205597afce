#include "frame/operation_binding.h"

namespace kx::operations {

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
