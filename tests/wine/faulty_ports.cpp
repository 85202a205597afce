#include "faulty_ports.h"

#include <windows.h>
#include <sddl.h>

#include <cstring>

#include "core/failure.h"

namespace kx::test {

void Faults::fail(const std::string& function, int occurrence, uint32_t error)
{
    faults_.push_back(Fault{function, occurrence, error});
}

void Faults::clear()
{
    faults_.clear();
    counts_.clear();
    calls.clear();
}

bool Faults::failing(const std::string& function)
{
    calls.push_back(function);
    const int count = ++counts_[function];
    for (const Fault& f : faults_)
        if (f.function == function && f.occurrence == count) {
            error_ = f.error;
            return true;
        }
    return false;
}

void FaultySecurity::free_sid(void* sid)
{
    calls.push_back("free_sid");
    real_.free_sid(sid);
}

bool FaultySecurity::get_file_security(const char* path, uint32_t information, void* descriptor, uint32_t length,
                                       uint32_t& needed)
{
    if (!remembering)
        return forward("get_file_security",
                       [&] { return real_.get_file_security(path, information, descriptor, length, needed); });
    if (failing("get_file_security")) {
        last_error_ = error();
        return false;
    }
    auto found = descriptors.find(path);
    if (found == descriptors.end()) {
        uint32_t size = 0;
        real_.get_file_security(path, information, nullptr, 0, size);
        std::vector<uint8_t> bytes(size);
        if (!real_.get_file_security(path, information, bytes.data(), size, size)) {
            last_error_ = real_.last_error();
            return false;
        }
        found = descriptors.emplace(path, std::move(bytes)).first;
    }
    needed = static_cast<uint32_t>(found->second.size());
    if (length < needed) {
        last_error_ = ERROR_INSUFFICIENT_BUFFER;
        return false;
    }
    std::memcpy(descriptor, found->second.data(), needed);
    last_error_ = 0;
    return true;
}

bool FaultySecurity::set_file_security(const char* path, uint32_t information, const void* descriptor)
{
    if (!remembering)
        return forward("set_file_security", [&] { return real_.set_file_security(path, information, descriptor); });
    if (failing("set_file_security")) {
        last_error_ = error();
        return false;
    }
    DWORD size = 0;
    MakeSelfRelativeSD(const_cast<void*>(descriptor), nullptr, &size);
    std::vector<uint8_t> bytes(size);
    const bool ok = MakeSelfRelativeSD(const_cast<void*>(descriptor), bytes.data(), &size) != 0;
    last_error_ = GetLastError();
    if (ok) {
        descriptors[path] = std::move(bytes);
        written.push_back(path);
    }
    return ok;
}

uint32_t FaultySecurity::get_file_attributes(const char* path)
{
    if (failing("get_file_attributes")) {
        last_error_ = error();
        return security::kInvalidAttributes;
    }
    const uint32_t attributes = real_.get_file_attributes(path);
    last_error_ = real_.last_error();
    return attributes;
}

std::vector<FaultySecurity::Entry> FaultySecurity::entries(const std::string& path)
{
    std::vector<Entry> out;
    const auto found = descriptors.find(path);
    if (found == descriptors.end())
        return out;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(found->second.data(), &present, &dacl, &defaulted) || !dacl)
        return out;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        GetAce(dacl, i, reinterpret_cast<void**>(&ace));
        char* text = nullptr;
        ConvertSidToStringSidA(&ace->SidStart, &text);
        out.push_back(Entry{ace->Header.AceType, ace->Header.AceFlags, ace->Mask, text ? text : ""});
        LocalFree(text);
    }
    return out;
}

bool FaultyServices::query_service_config(services::Handle service, void* buffer, uint32_t length, uint32_t& needed)
{
    return forward("query_service_config", [&] {
        const bool ok = real_.query_service_config(service, buffer, length, needed);
        if (rewrite_config)
            rewrite_config(buffer, length, needed);
        return ok;
    });
}

uint32_t FaultyVersions::get_file_version_info_size(const char* path, uint32_t& handle)
{
    return failing("get_file_version_info_size") ? 0 : real_.get_file_version_info_size(path, handle);
}

bool FaultyVersions::get_file_version_info(const char* path, uint32_t handle, uint32_t size, void* data)
{
    return !failing("get_file_version_info") && real_.get_file_version_info(path, handle, size, data);
}

bool FaultyVersions::ver_query_value(const void* data, const char* sub_block, const void*& value, uint32_t& length)
{
    return !failing("ver_query_value") && real_.ver_query_value(data, sub_block, value, length);
}

namespace {

class RecordedObject final : public automation::Object
{
public:
    RecordedObject(RecordingAutomation& recording, std::string progid) : recording_(recording), progid_(std::move(progid)) {}

    Variant get(const String& property) override
    {
        use("get " + narrow(property), {});
        return properties_[narrow(property)];
    }
    void put(const String& property, const Variant& value) override
    {
        use("put " + narrow(property), {value});
        properties_[narrow(property)] = value;
    }
    void put_object(const String& property, automation::Object&) override { use("putref " + narrow(property), {}); }
    Variant call(const String& method, const std::vector<Variant>& args) override
    {
        use(narrow(method), args);
        if (method == L"Execute")
            recording_.uses.back().args = {properties_["CommandText"]};
        return Variant();
    }

private:
    void use(const std::string& member, std::vector<Variant> args)
    {
        const std::string name = progid_ + "." + member;
        recording_.uses.push_back({name, std::move(args)});
        if (recording_.failing(name))
            throw Failure(static_cast<int32_t>(0x80004005), L"refused by the test: " + String(name.begin(), name.end()));
    }

    RecordingAutomation& recording_;
    std::string progid_;
    std::map<std::string, Variant> properties_;
};

}  // namespace

std::unique_ptr<automation::Object> RecordingAutomation::create(const String& progid)
{
    const std::string name = narrow(progid);
    uses.push_back({"create " + name, {}});
    if (failing("create " + name))
        throw Failure(static_cast<int32_t>(0x800A01AD), L"ActiveX component can't create object");
    return std::make_unique<RecordedObject>(*this, name);
}

std::vector<String> RecordingAutomation::executed() const
{
    std::vector<String> statements;
    for (const Use& u : uses)
        if (u.member == "ADODB.Command.Execute" && !u.args.empty())
            statements.push_back(u.args[0].as<String>());
    return statements;
}

std::string test_path(const std::string& name)
{
    CreateDirectoryA("C:\\kxtest", nullptr);
    return "C:\\kxtest\\" + name;
}

}  // namespace kx::test
