#include "web_rules.h"

#include <algorithm>

namespace kxsim::iis {
namespace {

bool is_site_class(const String& cls) { return cls == L"IIsWebServer" || cls == L"IIsFtpServer"; }
bool is_directory_class(const String& cls) { return cls == L"IIsWebVirtualDir" || cls == L"IIsWebDirectory"; }

// A site's Start and Stop set its state: 2 started, 4 stopped.
void set_server_state(Entry& node, int32_t state)
{
    if (!is_site_class(node.data().class_name))
        throw member_not_found();
    node.change_stored([&](Tree&, Node& stored) { stored.set(L"ServerState", Variant(state)); });
}

// AppDelete removes a directory's application definition.
void delete_application(Entry& node)
{
    if (!is_directory_class(node.data().class_name))
        throw member_not_found();
    node.change_stored([](Tree&, Node& stored) {
        auto& p = stored.properties;
        p.erase(std::remove_if(p.begin(), p.end(),
                               [](const auto& entry) {
                                   for (const wchar_t* app : {L"AppRoot", L"AppIsolated", L"AppFriendlyName",
                                                              L"AppPoolId", L"AppPackageName", L"AppPackageID"})
                                       if (same_name(entry.first, app))
                                           return true;
                                   return false;
                               }),
                p.end());
    });
}

}  // namespace

SimError WebRules::unreachable(const String&) const
{
    return SimError{from_win32(1722), L"The RPC server is unavailable."};
}

SimError WebRules::not_found(const String&) const
{
    return SimError{from_win32(3), L"The system cannot find the path specified."};
}

SimError WebRules::already_exists(const String&) const
{
    return SimError{from_win32(183), L"Cannot create a file when that file already exists."};
}

String WebRules::step_of(const String& class_name) const
{
    if (same_name(class_name, L"IIsWebServer"))
        return L"create-site";
    if (same_name(class_name, L"IIsWebVirtualDir"))
        return L"create-vdir";
    return same_name(class_name, L"IIsFtpServer") ? L"create-ftp-site" : L"";
}

bool WebRules::multi_valued(const String& name) const
{
    for (const wchar_t* known : {L"ServerBindings", L"SecureBindings", L"ScriptMaps", L"HttpCustomHeaders",
                                 L"HttpErrors", L"MimeMap", L"IPSecurity"})
        if (same_name(name, known))
            return true;
    return false;
}

Reply WebRules::call(Entry& node, const String& method, const std::vector<Variant>& args) const
{
    expect(args, 0);
    if (same_name(method, L"Start"))
        set_server_state(node, kStarted);
    else if (same_name(method, L"Stop"))
        set_server_state(node, kStopped);
    else if (same_name(method, L"AppDelete"))
        delete_application(node);
    else
        throw member_not_found();
    return {};
}

Tree fresh_machine()
{
    Tree tree;
    auto list = [](const wchar_t* item) { return Variant(Variant::List{Variant(item)}); };

    Node& web = tree.root.add(L"IIsWebService", L"W3SVC");
    Node& site = web.add(L"IIsWebServer", L"1");
    site.set(L"ServerComment", Variant(L"Default Web Site"));
    site.set(L"ServerBindings", list(L":80:"));
    site.set(L"ServerState", Variant(kStarted));
    site.set(L"ServerAutoStart", Variant(true));
    Node& root = site.add(L"IIsWebVirtualDir", L"ROOT");
    root.set(L"Path", Variant(L"c:\\inetpub\\wwwroot"));
    root.set(L"AccessFlags", Variant(int32_t(1)));

    Node& logging = tree.root.add(L"IIsLogModules", L"Logging");
    Node& w3c = logging.add(L"IIsLogModule", L"W3C Extended Log File Format");
    w3c.set(L"LogModuleId", Variant(L"{FF160663-DE82-11CF-BC0A-00AA006111E0}"));

    Node& ftp = tree.root.add(L"IIsFtpService", L"MSFTPSVC");
    Node& ftp_site = ftp.add(L"IIsFtpServer", L"1");
    ftp_site.set(L"ServerComment", Variant(L"Default FTP Site"));
    ftp_site.set(L"ServerBindings", list(L":21:"));
    ftp_site.set(L"ServerState", Variant(kStarted));
    Node& ftp_root = ftp_site.add(L"IIsFtpVirtualDir", L"ROOT");
    ftp_root.set(L"Path", Variant(L"c:\\inetpub\\ftproot"));
    return tree;
}

}  // namespace kxsim::iis
