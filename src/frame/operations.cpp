// The table of built operations: which function carries out which catalogue member.
#include <string_view>

#include "accounts/generatepassword.h"
#include "frame/operation_binding.h"
#include "web/createwebroot.h"
#include "web/deletewebroot.h"
#include "web/getfreewebid.h"
#include "web/getwebid.h"
#include "web/getwebpath.h"
#include "web/getwebport.h"
#include "web/getwebportsecure.h"
#include "web/getwebsitelist.h"
#include "web/startwebsite.h"

namespace kx::operations {
namespace {

constexpr Operation table[] = {
    bind<&accounts::generatepassword>("generatepassword", "generatepassword"),
    bind<&web::getwebid>("getwebid", "getwebid"),
    bind<&web::getwebpath>("getwebpath", "getwebpath"),
    bind<&web::getwebsitelist>("getwebsitelist", "getwebsitelist"),
    bind<&web::getwebport>("getwebport", "getwebport"),
    bind<&web::getwebportsecure>("getwebportsecure", "getwebportsecure"),
    bind<&web::getfreewebid>("getfreewebid", "getfreewebid"),
    bind<&web::createwebroot>("createwebroot", "createwebroot"),
    bind<&web::startwebsite>("startwebsite", "startwebsite"),
    bind<&web::deletewebroot>("deletewebroot", "deletewebroot"),
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
