// Compile-time checks of the structures that cross into the platform or into a script caller:
// each has the size and the field offsets that the other side expects, on the bitness being
// built. A 64-bit test run cannot see a 32-bit layout fault; this file, compiled into the
// 32-bit build, can.
#include <windows.h>

#include <cstddef>

#include "platform/services/services.h"
#include "records.h"
#include "security/dacl.h"

namespace {

constexpr bool k32 = sizeof(void*) == 4;

// The records of the type library: natural alignment, the same on both bitnesses.
namespace r = kx::records;
static_assert(sizeof(r::ACE_HEADER) == 4 && offsetof(r::ACE_HEADER, AceSize) == 2);
static_assert(sizeof(r::ACCESS_ALLOWED_ACE) == 12 && offsetof(r::ACCESS_ALLOWED_ACE, Mask) == 4 &&
              offsetof(r::ACCESS_ALLOWED_ACE, SidStart) == 8);
static_assert(sizeof(r::ACCESS_DENIED_ACE) == 12 && offsetof(r::ACCESS_DENIED_ACE, SidStart) == 8);
static_assert(sizeof(r::ACL) == 8 && offsetof(r::ACL, AclSize) == 2 && offsetof(r::ACL, AceCount) == 4 &&
              offsetof(r::ACL, Sbz2) == 6);
static_assert(sizeof(r::ACL_SIZE_INFORMATION) == 12 && offsetof(r::ACL_SIZE_INFORMATION, AclBytesInUse) == 4 &&
              offsetof(r::ACL_SIZE_INFORMATION, AclBytesFree) == 8);
static_assert(sizeof(r::SECURITY_DESCRIPTOR) == 32 && offsetof(r::SECURITY_DESCRIPTOR, Control) == 4 &&
              offsetof(r::SECURITY_DESCRIPTOR, sACL) == 16 && offsetof(r::SECURITY_DESCRIPTOR, Dacl) == 24);

// Where a record stands for a platform structure, it has the platform's layout.
static_assert(sizeof(r::ACE_HEADER) == sizeof(::ACE_HEADER) && offsetof(r::ACE_HEADER, AceSize) == offsetof(::ACE_HEADER, AceSize));
static_assert(sizeof(r::ACCESS_ALLOWED_ACE) == sizeof(::ACCESS_ALLOWED_ACE) &&
              offsetof(r::ACCESS_ALLOWED_ACE, Mask) == offsetof(::ACCESS_ALLOWED_ACE, Mask) &&
              offsetof(r::ACCESS_ALLOWED_ACE, SidStart) == offsetof(::ACCESS_ALLOWED_ACE, SidStart));
static_assert(sizeof(r::ACL) == sizeof(::ACL) && offsetof(r::ACL, AceCount) == offsetof(::ACL, AceCount));
static_assert(sizeof(r::ACL_SIZE_INFORMATION) == sizeof(::ACL_SIZE_INFORMATION));

// The service records that the manager fills: the operations' own declarations of them.
using kx::services::ServiceConfigHead;
using kx::services::ServiceStatus;
static_assert(sizeof(ServiceStatus) == sizeof(SERVICE_STATUS) && sizeof(ServiceStatus) == 28 &&
              offsetof(ServiceStatus, current_state) == offsetof(SERVICE_STATUS, dwCurrentState));
static_assert(sizeof(ServiceConfigHead) == sizeof(QUERY_SERVICE_CONFIGA) && sizeof(ServiceConfigHead) == (k32 ? 36 : 64) &&
              offsetof(ServiceConfigHead, dependencies) == offsetof(QUERY_SERVICE_CONFIGA, lpDependencies) &&
              offsetof(ServiceConfigHead, display_name) == offsetof(QUERY_SERVICE_CONFIGA, lpDisplayName));

// The room kept for a new absolute descriptor holds the platform's descriptor, which is
// larger than the record that the type library publishes on 64-bit Windows.
static_assert(kx::file_security::kDescriptorSize >= sizeof(::SECURITY_DESCRIPTOR) &&
              kx::file_security::kDescriptorSize >= sizeof(r::SECURITY_DESCRIPTOR));
static_assert(sizeof(::SECURITY_DESCRIPTOR) == (k32 ? 20 : 40));

// The automation types that every member passes.
static_assert(sizeof(VARIANT) == (k32 ? 16 : 24) && sizeof(BSTR) == sizeof(void*) && sizeof(long) == 4);
static_assert(sizeof(DISPPARAMS) == (k32 ? 16 : 24) && sizeof(EXCEPINFO) == (k32 ? 32 : 64));

}  // namespace
