// kxsim: looks after the stores of the simulated machine.
//
//   kxsim reset [--server NAME]    a freshly installed server of that profile (iis6, the
//                                  default, or iis10-domain): web server, accounts, and the
//                                  Winsock control's licence where the profile has one
//   kxsim dump                     both stores as trees (passwords never shown)
//   kxsim add iis|winnt STORE PREFIX COUNT
//                                  adds COUNT nodes named PREFIX1.. (sites, or users), one
//                                  store update each
//   kxsim refuse [STEP...]         the server refuses these changes with access denied, as a
//                                  locked-down one would: create-site, create-vdir,
//                                  create-ftp-site, create-user, create-group, add-member;
//                                  or these reads, as to a caller without rights:
//                                  read-sites (anything below W3SVC), read-accounts (any
//                                  account or group); without steps it refuses nothing any more
//
// The stores are those named by KX_SIM_IIS_STORE and KX_SIM_WINNT_STORE, else
// C:\kxsim\iis.store and C:\kxsim\winnt.store.
#include <cstdio>
#include <iostream>
#include <string>

#include <windows.h>

#include "iis.h"
#include "accounts.h"
#include "profiles.h"

namespace {

void dump(const kxsim::Node& node, int depth)
{
    std::wstring line(static_cast<std::size_t>(depth) * 2, L' ');
    std::wcout << line << node.name << L"  (" << node.class_name << L")\n";
    for (const auto& [name, value] : node.properties) {
        std::wcout << line << L"    " << name << L" = ";
        if (kxsim::same_name(name, kxsim::winnt::kPasswordProperty))
            std::wcout << L"(set)";
        else if (value.holds<kx::String>())
            std::wcout << L'"' << value.as<kx::String>() << L'"';
        else if (value.holds<int16_t>())
            std::wcout << value.as<int16_t>();
        else if (value.holds<int32_t>())
            std::wcout << value.as<int32_t>();
        else if (value.holds<bool>())
            std::wcout << (value.as<bool>() ? L"True" : L"False");
        else if (value.holds<kx::Variant::List>()) {
            std::wcout << L"(";
            bool first = true;
            for (const auto& item : value.as<kx::Variant::List>()) {
                std::wcout << (first ? L"" : L", ") << L'"' << (item.holds<kx::String>() ? item.as<kx::String>() : L"")
                           << L'"';
                first = false;
            }
            std::wcout << L")";
        }
        std::wcout << L"\n";
    }
    for (const auto& child : node.children)
        dump(*child, depth + 1);
}

// The Winsock control's design-time licence, which Visual Basic's setup leaves on a machine:
// without it, the control cannot be created at run time.
void set_winsock_licence(bool present)
{
    const wchar_t* key = kxsim::kWinsockLicenceKey;
    if (!present) {
        RegDeleteKeyW(HKEY_CLASSES_ROOT, key);
        return;
    }
    HKEY licence = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &licence, nullptr) != 0)
        throw kxsim::SimError{E_ACCESSDENIED, L"cannot write the Winsock control's licence"};
    const wchar_t text[] = L"kxsim design-time licence";
    RegSetValueExW(licence, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    RegCloseKey(licence);
}

// A store's nodes below its root, and the steps its server refuses.
void dump_store(const kxsim::Tree& tree)
{
    if (const kx::Variant* refused = tree.root.property(kxsim::kRefusedSteps); refused && refused->holds<kx::Variant::List>())
        for (const auto& step : refused->as<kx::Variant::List>())
            std::wcout << L"  refused: " << (step.holds<kx::String>() ? step.as<kx::String>() : L"") << L"\n";
    for (const auto& node : tree.root.children)
        dump(*node, 1);
}

// The store of a namespace, and where its nodes are added.
struct Namespace
{
    kxsim::StoreFile store;
    std::vector<kx::String> container;
    const wchar_t* node_class;
};

Namespace namespace_of(const std::wstring& name, const std::wstring& path)
{
    if (name == L"iis")
        return {kxsim::iis::store_file(path), {L"W3SVC"}, L"IIsWebServer"};
    if (name == L"winnt")
        return {kxsim::winnt::store_file(path), {}, L"User"};
    throw kxsim::SimError{E_INVALIDARG, L"unknown namespace " + name};
}

int run(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"reset" && (argc == 2 || (argc == 4 && std::wstring(argv[2]) == L"--server"))) {
        const kxsim::Profile& profile = kxsim::profile_named(argc == 4 ? argv[3] : kxsim::profiles().front().name);
        kxsim::iis::store_file().replace(kxsim::iis::fresh_machine(profile));
        kxsim::winnt::store_file().replace(kxsim::winnt::fresh_machine(kxsim::winnt::computer_name(), profile));
        set_winsock_licence(profile.winsock_licensed);
        std::wcout << L"reset " << kxsim::iis::store_file().path() << L" and " << kxsim::winnt::store_file().path()
                   << L" as " << profile.name << L": " << profile.summary << std::endl;
    } else if (command == L"dump" && argc == 2) {
        const kxsim::Profile& profile = kxsim::profile_of(*kxsim::iis::store_file().load());
        std::wcout << L"Server profile " << profile.name << L": " << profile.summary << L"\n\n";
        std::wcout << L"Web server (" << kxsim::iis::store_file().path() << L")\n";
        dump_store(*kxsim::iis::store_file().load());
        std::wcout << L"\nAccounts of " << kxsim::winnt::computer_name() << L" (" << kxsim::winnt::store_file().path()
                   << L")\n";
        dump_store(*kxsim::winnt::store_file().load());
    } else if (command == L"add" && argc == 6) {
        const Namespace space = namespace_of(argv[2], argv[3]);
        const int count = std::stoi(argv[5]);
        for (int i = 1; i <= count; ++i)
            space.store.update([&](kxsim::Tree& tree) {
                if (kxsim::Node* container = tree.find(space.container))
                    container->add(space.node_class, argv[4] + std::to_wstring(i));
            });
    } else if (command == L"refuse") {
        // Each store's list, all steps known before either store changes.
        kx::Variant::List web, accounts;
        for (int i = 2; i < argc; ++i) {
            const std::wstring step = argv[i];
            if (step == L"create-site" || step == L"create-vdir" || step == L"create-ftp-site" || step == L"read-sites")
                web.emplace_back(step);
            else if (step == L"create-user" || step == L"create-group" || step == L"add-member" ||
                     step == L"read-accounts")
                accounts.emplace_back(step);
            else
                throw kxsim::SimError{E_INVALIDARG, L"no step named " + step};
        }
        kxsim::iis::store_file().update([&](kxsim::Tree& tree) { tree.root.set(kxsim::kRefusedSteps, kx::Variant(web)); });
        kxsim::winnt::store_file().update(
            [&](kxsim::Tree& tree) { tree.root.set(kxsim::kRefusedSteps, kx::Variant(accounts)); });
    } else {
        std::cerr << "usage: kxsim reset [--server iis6|iis10-domain] | dump | add iis|winnt STORE PREFIX COUNT | "
                     "refuse [STEP...]\n";
        return 2;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        return run(argc, argv);
    } catch (const kxsim::SimError& error) {
        std::wcerr << L"kxsim: " << error.description << std::endl;
        return 1;
    }
}
