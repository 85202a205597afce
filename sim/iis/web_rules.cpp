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

std::optional<std::pair<String, int32_t>> WebRules::flag_of(const String& property) const { return flag_bit(property); }

std::optional<std::pair<String, int32_t>> flag_bit(const String& property)
{
    // The metabase keeps these as bits of one DWORD each (the IIS 6 metabase property
    // reference: AccessFlags, AccessSSLFlags, AuthFlags, DirBrowseFlags).
    static const struct
    {
        const wchar_t* name;
        const wchar_t* flags;
        uint32_t bit;
    } bits[] = {
        {L"AccessRead", L"AccessFlags", 0x1}, {L"AccessWrite", L"AccessFlags", 0x2},
        {L"AccessExecute", L"AccessFlags", 0x4}, {L"AccessSource", L"AccessFlags", 0x10},
        {L"AccessScript", L"AccessFlags", 0x200}, {L"AccessNoRemoteWrite", L"AccessFlags", 0x400},
        {L"AccessNoRemoteRead", L"AccessFlags", 0x1000}, {L"AccessNoRemoteExecute", L"AccessFlags", 0x2000},
        {L"AccessNoRemoteScript", L"AccessFlags", 0x4000}, {L"AccessNoPhysicalDir", L"AccessFlags", 0x8000},
        {L"AccessSSL", L"AccessSSLFlags", 0x8}, {L"AccessSSLNegotiateCert", L"AccessSSLFlags", 0x20},
        {L"AccessSSLRequireCert", L"AccessSSLFlags", 0x40}, {L"AccessSSLMapCert", L"AccessSSLFlags", 0x80},
        {L"AccessSSL128", L"AccessSSLFlags", 0x100},
        {L"AuthAnonymous", L"AuthFlags", 0x1}, {L"AuthBasic", L"AuthFlags", 0x2}, {L"AuthNTLM", L"AuthFlags", 0x4},
        {L"AuthMD5", L"AuthFlags", 0x10}, {L"AuthPassport", L"AuthFlags", 0x40},
        {L"DirBrowseShowDate", L"DirBrowseFlags", 0x2}, {L"DirBrowseShowTime", L"DirBrowseFlags", 0x4},
        {L"DirBrowseShowSize", L"DirBrowseFlags", 0x8}, {L"DirBrowseShowExtension", L"DirBrowseFlags", 0x10},
        {L"DirBrowseShowLongDate", L"DirBrowseFlags", 0x20}, {L"EnableDefaultDoc", L"DirBrowseFlags", 0x40000000},
        {L"EnableDirBrowsing", L"DirBrowseFlags", 0x80000000u},
    };
    for (const auto& b : bits)
        if (same_name(property, b.name))
            return std::make_pair(String(b.flags), static_cast<int32_t>(b.bit));
    return std::nullopt;
}

// Binding, finding or walking the sites' nodes below W3SVC.
bool WebRules::guarded_read(const std::vector<String>& path) const
{
    return path.size() >= 2 && same_name(path[0], L"W3SVC");
}

Tree fresh_machine(const Profile& profile)
{
    Tree tree;
    tree.root.set(kServerProperty, Variant(String(profile.name)));
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

    // From IIS 7.5 on, FTP sites live in applicationHost.config: no IIS 6 FTP service here.
    if (!profile.iis6_ftp)
        return tree;
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
