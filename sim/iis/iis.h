// The simulated web server's configuration store (the IIS: namespace): its rules, its store
// and the store of a freshly installed server.
#pragma once

#include "directory.h"

namespace kxsim::iis {

// The store named by KX_SIM_IIS_STORE, else C:\kxsim\iis.store.
StoreFile store_file();
StoreFile store_file(const String& path);

class Rules final : public kxsim::Rules
{
public:
    const wchar_t* scheme() const override { return L"IIS"; }
    const wchar_t* root_class() const override { return L"IIsComputer"; }
    StoreFile store() const override { return store_file(); }
    SimError unreachable(const String& host) const override;
    SimError not_found(const String& class_name) const override;
    SimError already_exists(const String& class_name) const override;
    bool multi_valued(const String& property) const override;
    String step_of(const String& class_name) const override;
    std::vector<const wchar_t*> methods() const override { return {L"Start", L"Stop", L"AppDelete"}; }
    void call(NodeContext& node, const String& method, const Arguments& args, VARIANT& out) const override;
};

// A freshly installed server: the default web site, the W3C logging module and the default
// FTP site.
Tree fresh_machine();

}  // namespace kxsim::iis
