// The web server operations: sites, virtual directories, permissions and ISAPI filters.
#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
}

namespace kx::web {

// The number of the site with that description (the one enumerated last), or 0.
int32_t getwebid(Platform& platform, const String& WebSiteName);
// Despite its name, the same as getwebid.
int32_t getwebpath(Platform& platform, const String& sWebSiteName);
// The descriptions of all sites in store order from index 1, element 0 empty; unallocated
// without sites.
StringArray getwebsitelist(Platform& platform);
// The first binding string of the site with that description, or "Not Found".
String getwebport(Platform& platform, const String& WebSiteName);
// The same for the secure bindings; "None" when anything fails from the first match on.
String getwebportsecure(Platform& platform, const String& WebSiteName);

// The lowest positive site number that no site uses.
int32_t getfreewebid(Platform& platform);
// Creates a site with its logging settings, root directory and certificate mapper; raised.
int32_t createwebroot(Platform& platform, const String& sName, const String& ServerComment, int32_t ServerSize,
                      const String& ServerBindings, const String& SecureBindings, const String& RootPath);
// 0 done, 2 failed.
int32_t startwebsite(Platform& platform, const String& szWEBID);
// 0 done, 2 failed.
int32_t deletewebroot(Platform& platform, const String& szWEBID);

// Creates virtual directory sName below the root of site Vdir as an application: 0, or 1.
int32_t createwebsite(Platform& platform, const String& Spath, const String& Vdir, const String& sName,
                      const String& Sdiscription);
// Removes a virtual directory with its application: 0, or the failed stage 1, 2 or 3.
int32_t deletevirtualdirectory(Platform& platform, const String& szWEBID, const String& sName);
// The virtual directories directly below the site's root, or -1.
int32_t getnumberofvirtualdirectories(Platform& platform, const String& szWEBID);

// Sets the access flags of a directory of a site from a letter code: 0, or 1 to 4.
int32_t setwebpermission(Platform& platform, const String& Host, const String& WebsiteID, const String& URL,
                         const String& IISPermission);

// Registers a filter on a site and appends it to the load order: 0, or 1.
int32_t installisapifilter(Platform& platform, const String& sWebSiteID, const String& sFilterName,
                           const String& sFilterPath, const String& sFilterDesc);
// Removes site 1's filters with that description and rebuilds its load order: 0, or 1.
int32_t uninstallisapifilter(Platform& platform, const String& sWebSiteID, const String& sFilterName,
                             const String& sFilterPath, const String& sFilterDesc);

}  // namespace kx::web
