// The table of built operations: which function carries out which catalogue member.
#include <string_view>

#include "accounts/operations.h"
#include "database/operations.h"
#include "frame/operation_binding.h"
#include "ftp/operations.h"
#include "ldap/operations.h"
#include "security/operations.h"
#include "services/operations.h"
#include "utilities/operations.h"
#include "web/operations.h"

namespace kx::operations {
namespace {

constexpr Operation table[] = {
    bind<&accounts::generatepassword>("generatepassword", "generatepassword"),
    bind<&accounts::createntuser>("createntuser", "createntuser"),
    bind<&accounts::checkuser>("checkuser", "checkuser"),
    bind<&accounts::deletentuser>("deletentuser", "deletentuser"),
    bind<&accounts::deletentgroup>("deletentgroup", "deletentgroup"),
    bind<&accounts::deletentuserfromgroup>("deletentuserfromgroup", "deletentuserfromgroup"),
    bind<&accounts::getinternetuser>("getinternetuser", "getinternetuser"),
    bind<&file_security::setfilepermission>("setfilepermission", "setfilepermission"),
    bind<&file_security::SetDirAcces>("setdirectorypermission", "SetDirAcces"),
    bind<&file_security::SetAccess>("setdirectorypermission", "SetAccess"),
    bind<&file_security::setdirectorypermission>("setdirectorypermission", "setdirectorypermission"),
    bind<&file_security::getntaccountbysid>("getntaccountbysid", "getntaccountbysid"),
    bind<&services::getservicestatus>("getservicestatus", "getservicestatus"),
    bind<&services::getservicedependencies>("getservicedependencies", "getservicedependencies"),
    bind<&services::getservicename>("getservicename", "getservicename"),
    bind<&services::getserviceowner>("getserviceowner", "getserviceowner"),
    bind<&database::checksqllogon>("checksqllogon", "checksqllogon"),
    bind<&database::checkoralogon>("checkoralogon", "checkoralogon"),
    bind<&database::updatemetabasewithcrcs>("updatemetabasewithcrcs", "updatemetabasewithcrcs"),
    bind<&database::SQLEncodeString>("updatemetabasewithcrcs", "SQLEncodeString"),
    bind<&database::getcrcforfile>("getcrcforfile", "getcrcforfile"),
    bind<&ldap::checkldapserver>("checkldapserver", "checkldapserver"),
    bind<&ldap::getldapentries>("getldapentries", "getldapentries"),
    bind<&ldap::checkldapentryexcist>("checkldapentryexcist", "checkldapentryexcist"),
    bind<&ldap::getntuserpassword>("getntuserpassword", "getntuserpassword"),
    bind<&utilities::replacestringinfile>("replacestringinfile", "replacestringinfile"),
    bind<&utilities::Searchandreplace>("Searchandreplace", "Searchandreplace"),
    bind<&utilities::portscan>("portscan", "portscan"),
    bind<&utilities::checkportinuse>("checkportinuse", "checkportinuse"),
    bind<&utilities::launchapplication>("launchapplication", "launchapplication"),
    bind<&utilities::help>("help", "help"),
    bind<&utilities::checkdllavailable>("checkdllavailable", "checkdllavailable"),
    bind<&web::getwebid>("getwebid", "getwebid"),
    bind<&web::getwebpath>("getwebpath", "getwebpath"),
    bind<&web::getwebsitelist>("getwebsitelist", "getwebsitelist"),
    bind<&web::getwebport>("getwebport", "getwebport"),
    bind<&web::getwebportsecure>("getwebportsecure", "getwebportsecure"),
    bind<&web::getfreewebid>("getfreewebid", "getfreewebid"),
    bind<&web::createwebroot>("createwebroot", "createwebroot"),
    bind<&web::startwebsite>("startwebsite", "startwebsite"),
    bind<&web::deletewebroot>("deletewebroot", "deletewebroot"),
    bind<&web::createwebsite>("createwebsite", "createwebsite"),
    bind<&web::deletevirtualdirectory>("deletevirtualdirectory", "deletevirtualdirectory"),
    bind<&web::getnumberofvirtualdirectories>("getnumberofvirtualdirectories", "getnumberofvirtualdirectories"),
    bind<&web::setwebpermission>("setwebpermission", "setwebpermission"),
    bind<&web::installisapifilter>("installisapifilter", "installisapifilter"),
    bind<&web::uninstallisapifilter>("uninstallisapifilter", "uninstallisapifilter"),
    bind<&ftp::getfreeftpid>("getfreeftpid", "getfreeftpid"),
    bind<&ftp::getftpid>("getftpid", "getftpid"),
    bind<&ftp::getftpport>("getftpport", "getftpport"),
    bind<&ftp::createftpsite>("createftpsite", "createftpsite"),
    bind<&ftp::deleteftpsite>("deleteftpsite", "deleteftpsite"),
    bind<&ftp::startftpsite>("startftpsite", "startftpsite"),
    bind<&ftp::stopftpsite>("stopftpsite", "stopftpsite"),
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
