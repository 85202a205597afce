// Operations of the frame's own tests, in place of the library's table: each shows one thing
// the frame must carry between the caller and an operation.
#include "test_operations.h"

#include "frame/operation_binding.h"

namespace kx::test {

StringArray site_list;

namespace {

// Writes its third argument, so that the caller sees what came back.
int32_t wraps_port(Platform&, String&, String&, String& port, String&)
{
    port = L"[" + port + L"]";
    return 7;
}

int32_t counts_up(Platform&, String&, String&, String&, int32_t& inheritance) { return ++inheritance; }

int32_t hands_out_a_secret(Platform&, const String&, const String&, const String&, const String&, Variant& pwd)
{
    pwd = Variant(String(L"s\u00e9cret"));
    return 0;
}

Variant echoes_variant(Platform&, const Variant& value) { return value; }

String echoes_text(Platform&, String& name) { return name; }

StringArray lists_sites(Platform&) { return site_list; }

// Fails with the status given as hexadecimal text in its first argument.
int32_t fails_as_told(Platform&, const String& status, const String& description)
{
    throw Failure(static_cast<int32_t>(std::stoul(status, nullptr, 16)), description);
}

// Writes its argument, then fails: the write still reaches the caller.
int32_t writes_then_fails(Platform&, String& name)
{
    name = L"written";
    throw runtime::type_mismatch();
}

void marks_done(Platform&, String& user, String&, String&) { user = L"done"; }

constexpr operations::Operation table[] = {
    operations::bind<&wraps_port>("createftpsite", "createftpsite"),
    operations::bind<&counts_up>("setdirectorypermission", "setdirectorypermission"),
    operations::bind<&marks_done>("setdirectorypermission", "SetAccess"),
    operations::bind<&hands_out_a_secret>("getntuserpassword", "getntuserpassword"),
    operations::bind<&echoes_variant>("updatemetabasewithcrcs", "SQLEncodeString"),
    operations::bind<&echoes_text>("getwebport", "getwebport"),
    operations::bind<&lists_sites>("getwebsitelist", "getwebsitelist"),
    operations::bind<&fails_as_told>("portscan", "portscan"),
    operations::bind<&writes_then_fails>("getwebid", "getwebid"),
};

}  // namespace
}  // namespace kx::test

namespace kx::operations {

std::span<const Operation> all() { return test::table; }

const Operation* find(std::string_view cls, std::string_view member)
{
    for (const Operation& operation : test::table)
        if (cls == operation.cls && member == operation.member)
            return &operation;
    return nullptr;
}

}  // namespace kx::operations
