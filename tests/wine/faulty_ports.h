// The platform's own ports, wrapped so that a test can make any single call fail with an error
// of its choice and see which calls were made, in order.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "platform/automation/automation_win32.h"
#include "platform/codepage/codepage_win32.h"
#include "platform/digest/digest_win32.h"
#include "platform/files/files_win32.h"
#include "platform/files/sequential_win32.h"
#include "platform/programs/programs_win32.h"
#include "platform/security/security_win32.h"
#include "platform/services/services_win32.h"
#include "platform/versions/versions_win32.h"

namespace kx::test {

// Which calls fail: the function's name and the how-manyth call of it, counting from 1.
class Faults
{
public:
    void fail(const std::string& function, int occurrence, uint32_t error);
    void clear();
    // Notes the call; true when it is to fail (its error is then error()).
    bool failing(const std::string& function);
    uint32_t error() const { return error_; }
    std::vector<std::string> calls;

private:
    struct Fault
    {
        std::string function;
        int occurrence;
        uint32_t error;
    };
    std::vector<Fault> faults_;
    std::map<std::string, int> counts_;
    uint32_t error_ = 0;
};

// Faults in front of a real port whose functions report their error through last_error(): a
// failing call answers the default of its result type and leaves the fault's error.
// KX_FORWARD(Result, function, (parameters), (arguments)) forwards one function so.
#define KX_FORWARD(Result, function, parameters, arguments) \
    Result function parameters override { return forward(#function, [&] { return real_.function arguments; }); }

template <class Real>
class FaultsBefore : public Faults
{
protected:
    template <class Call>
    auto forward(const char* function, Call&& call)
    {
        using Result = decltype(call());
        if (failing(function)) {
            last_error_ = error();
            return Result{};
        }
        const Result result = call();
        last_error_ = real_.last_error();
        return result;
    }

    Real real_;
    uint32_t last_error_ = 0;
};

// The real security functions behind faults. With remembering on, descriptors are kept per
// path: a file's first read takes its real descriptor, and what is written is kept instead of
// being handed to Wine, whose SetFileSecurityA keeps only what the file's Unix mode bits can
// express and reads a list back synthesized from them.
class FaultySecurity final : public security::Security, public FaultsBefore<security::Win32Security>
{
public:
    bool remembering = false;
    std::map<std::string, std::vector<uint8_t>> descriptors;  // self-relative, by path
    std::vector<std::string> written;                          // the paths written, in order

    KX_FORWARD(bool, lookup_account_name,
               (const char* account, void* sid, uint32_t& sid_size, char* domain, uint32_t& domain_size, uint32_t& use),
               (account, sid, sid_size, domain, domain_size, use))
    KX_FORWARD(bool, lookup_account_sid,
               (const void* sid, char* name, uint32_t& name_size, char* domain, uint32_t& domain_size, uint32_t& use),
               (sid, name, name_size, domain, domain_size, use))
    KX_FORWARD(bool, convert_string_sid_to_sid, (const char* text, void*& sid), (text, sid))
    KX_FORWARD(bool, is_valid_sid, (const void* sid), (sid))
    KX_FORWARD(bool, equal_sid, (const void* a, const void* b), (a, b))
    KX_FORWARD(uint32_t, get_length_sid, (const void* sid), (sid))
    void free_sid(void* sid) override;
    bool get_file_security(const char* path, uint32_t information, void* descriptor, uint32_t length,
                           uint32_t& needed) override;
    bool set_file_security(const char* path, uint32_t information, const void* descriptor) override;
    KX_FORWARD(bool, initialize_security_descriptor, (void* descriptor, uint32_t revision), (descriptor, revision))
    KX_FORWARD(bool, get_security_descriptor_dacl,
               (const void* descriptor, int32_t& present, void*& dacl, int32_t& defaulted),
               (descriptor, present, dacl, defaulted))
    KX_FORWARD(bool, set_security_descriptor_dacl, (void* descriptor, int32_t present, void* dacl, int32_t defaulted),
               (descriptor, present, dacl, defaulted))
    KX_FORWARD(bool, get_acl_information,
               (const void* acl, void* information, uint32_t length, uint32_t information_class),
               (acl, information, length, information_class))
    KX_FORWARD(bool, initialize_acl, (void* acl, uint32_t length, uint32_t revision), (acl, length, revision))
    KX_FORWARD(bool, get_ace, (const void* acl, uint32_t index, void*& ace), (acl, index, ace))
    KX_FORWARD(bool, add_ace, (void* acl, uint32_t revision, uint32_t start_index, const void* ace, uint32_t length),
               (acl, revision, start_index, ace, length))
    KX_FORWARD(bool, add_access_allowed_ace, (void* acl, uint32_t revision, uint32_t mask, const void* sid),
               (acl, revision, mask, sid))
    KX_FORWARD(bool, add_access_denied_ace, (void* acl, uint32_t revision, uint32_t mask, const void* sid),
               (acl, revision, mask, sid))
    uint32_t get_file_attributes(const char* path) override;
    uint32_t last_error() override { return last_error_; }

    // The entries of the list that a path's remembered descriptor holds.
    struct Entry
    {
        uint8_t type, flags;
        uint32_t mask;
        std::string sid;  // in its string form
        bool operator==(const Entry&) const = default;
    };
    std::vector<Entry> entries(const std::string& path);
};

class FaultyServices final : public services::ServiceManager, public FaultsBefore<services::Win32ServiceManager>
{
public:
    KX_FORWARD(services::Handle, open_sc_manager, (const char* machine, const char* database, uint32_t access),
               (machine, database, access))
    KX_FORWARD(services::Handle, open_service, (services::Handle manager, const char* name, uint32_t access),
               (manager, name, access))
    KX_FORWARD(bool, query_service_status, (services::Handle service, services::ServiceStatus& status),
               (service, status))
    bool query_service_config(services::Handle service, void* buffer, uint32_t length, uint32_t& needed) override;
    KX_FORWARD(bool, close_service_handle, (services::Handle handle), (handle))
    uint32_t last_error() override { return last_error_; }

    // Rewrites what a configuration query gives: the needed length of the first, the buffer
    // of the second.
    std::function<void(void* buffer, uint32_t length, uint32_t& needed)> rewrite_config;
};

class FaultyVersions final : public versions::Versions, public Faults
{
public:
    uint32_t get_file_version_info_size(const char* path, uint32_t& handle) override;
    bool get_file_version_info(const char* path, uint32_t handle, uint32_t size, void* data) override;
    bool ver_query_value(const void* data, const char* sub_block, const void*& value, uint32_t& length) override;

private:
    versions::Win32Versions real_;
};

// Automation objects (ADO's, say) as a recording stands in for them: every member used is
// noted as "ProgID.Member" with its arguments, and a note can be made to fail (the object's
// creation is noted as "create ProgID").
class RecordingAutomation final : public automation::Automation, public Faults
{
public:
    struct Use
    {
        std::string member;
        std::vector<Variant> args;
    };
    std::vector<Use> uses;
    std::unique_ptr<automation::Object> create(const String& progid) override;
    // What the statements sent were: the CommandText of each Execute.
    std::vector<String> executed() const;
};

// The real platform for the operations that these tests reach, messages recorded.
struct TestPlatform
{
    SimulatedDirectory directory;
    files::ScriptingFileSystem files;
    SeededRandom random{[] { return uint64_t(7); }};
    RecordingUserInterface ui;
    AnsiCodePage ansi;
    FaultySecurity security;
    FaultyServices services;
    FaultyVersions versions;
    files::Win32SequentialFiles sequential;
    RecordingAutomation automation;
    ui::Quiet quiet;
    programs::Win32Programs programs{quiet};
    digest::Aamd532 digests;
    Platform platform{directory, files,    random,     ui,         ansi,     security,
                      services,  versions, sequential, automation, programs, digests};

    // The same platform with the real automation objects, or another security port.
    Platform with(automation::Automation& other)
    {
        return Platform{directory, files, random, ui, ansi, security, services, versions, sequential, other, programs,
                        digests};
    }
    Platform with(security::Security& other)
    {
        return Platform{directory, files, random, ui, ansi, other, services, versions, sequential, automation, programs,
                        digests};
    }
};

// A path below the test's own folder in the prefix, as Windows spells it.
std::string test_path(const std::string& name);

}  // namespace kx::test
