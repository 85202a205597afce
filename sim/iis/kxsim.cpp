// kxsim: looks after the simulated web server's configuration store.
//
//   kxsim reset [STORE]            a freshly installed server
//   kxsim dump [STORE]             the store as a tree
//   kxsim add STORE PREFIX COUNT   adds COUNT sites named PREFIX1.. one store update each
//   kxsim churn STORE              rewrites the store without end (to be killed)
//
// STORE defaults to KX_SIM_IIS_STORE, else C:\kxsim\iis.store.
#include <cstdio>
#include <iostream>
#include <string>

#include "store_file.h"

namespace {

void dump(const kxsim::Node& node, int depth)
{
    std::wstring line(static_cast<std::size_t>(depth) * 2, L' ');
    std::wcout << line << node.name << L"  (" << node.class_name << L")\n";
    for (const auto& [name, value] : node.properties) {
        std::wcout << line << L"    " << name << L" = ";
        if (value.holds<kx::String>())
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

int run(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::cerr << "usage: kxsim reset|dump [STORE] | add STORE PREFIX COUNT | churn STORE\n";
        return 2;
    }
    const std::wstring command = argv[1];
    const kxsim::StoreFile store(argc > 2 ? std::wstring(argv[2]) : kxsim::StoreFile::default_path());
    if (command == L"reset") {
        store.replace(kxsim::fresh_machine());
        std::wcout << L"reset " << store.path() << std::endl;
    } else if (command == L"dump") {
        dump(store.load().root, 0);
    } else if (command == L"add" && argc == 5) {
        const int count = std::stoi(argv[4]);
        for (int i = 1; i <= count; ++i)
            store.update([&](kxsim::Tree& tree) {
                kxsim::Node* service = tree.find({L"W3SVC"});
                if (service)
                    service->add(L"IIsWebServer", argv[3] + std::to_wstring(i));
            });
    } else if (command == L"churn" && argc == 3) {
        for (unsigned long n = 0;; ++n)
            store.update([&](kxsim::Tree& tree) {
                if (kxsim::Node* service = tree.find({L"W3SVC"}))
                    service->set(L"Churn", kx::Variant(static_cast<int32_t>(n)));
            });
    } else {
        std::cerr << "kxsim: unknown command\n";
        return 2;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        return run(argc, argv);
    } catch (const kxsim::StoreError& error) {
        std::wcerr << L"kxsim: " << error.description << std::endl;
        return 1;
    }
}
