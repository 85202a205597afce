#include "fake_directory.h"

#include <algorithm>
#include <cwctype>

#include "core/text.h"

namespace kx::test {
namespace {

String lower(String s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return s;
}

bool same(const String& a, const String& b) { return equal_ignoring_case(a, b); }

std::vector<String> split(const String& path) { return split_path(path); }

std::shared_ptr<Node> child_named(const Node& node, const String& name)
{
    for (const auto& child : node.children)
        if (same(child->name, name))
            return child;
    return nullptr;
}

class FakeObject;

class FakeChildren final : public directory::Children
{
public:
    FakeChildren(FakeDirectory& directory, std::vector<std::shared_ptr<Node>> snapshot)
        : directory_(directory), snapshot_(std::move(snapshot))
    {
    }
    std::unique_ptr<directory::Object> next() override;

private:
    FakeDirectory& directory_;
    std::vector<std::shared_ptr<Node>> snapshot_;
    std::size_t at_ = 0;
};

class FakeObject final : public directory::Object
{
public:
    FakeObject(FakeDirectory& directory, std::shared_ptr<Node> node, std::shared_ptr<Node> parent, bool stored)
        : directory_(directory), node_(std::move(node)), parent_(std::move(parent)), stored_(stored)
    {
        ++directory_.live_objects;
    }
    ~FakeObject() override { --directory_.live_objects; }

    String name() override
    {
        directory_.step("name");
        return node_->name;
    }
    String class_name() override
    {
        directory_.step("class");
        return node_->class_name;
    }
    Variant property(const String& name) override
    {
        directory_.step("property " + narrow(name));
        return read(name);
    }
    void set_property(const String& name, const Variant& value) override
    {
        directory_.step("set_property " + narrow(name));
        write(name, value);
    }
    Variant get(const String& name) override
    {
        directory_.step("get " + narrow(name));
        return read(name);
    }
    void put(const String& name, const Variant& value) override
    {
        directory_.step("put " + narrow(name));
        write(name, value);
    }
    void get_info() override
    {
        directory_.step("get_info");
        pending_.clear();
    }
    void set_info() override
    {
        directory_.step("set_info");
        for (auto& [name, value] : pending_)
            node_->properties[name] = value;
        pending_.clear();
        if (!stored_) {
            if (child_named(*parent_, node_->name))
                throw Failure(kAlreadyExists, L"Cannot create a file when that file already exists.");
            parent_->children.push_back(node_);
            stored_ = true;
        }
    }
    std::unique_ptr<directory::Children> children() override
    {
        directory_.step("children");
        std::vector<std::shared_ptr<Node>> snapshot;
        for (const auto& child : node_->children)
            if (filter_.empty() ||
                std::any_of(filter_.begin(), filter_.end(), [&](const String& c) { return same(c, child->class_name); }))
                snapshot.push_back(child);
        return std::make_unique<FakeChildren>(directory_, std::move(snapshot));
    }
    void set_filter(const std::vector<String>& classes) override
    {
        directory_.step("set_filter");
        filter_ = classes;
    }
    std::unique_ptr<directory::Object> create(const String& class_name, const String& name) override
    {
        directory_.step("create " + narrow(class_name) + " " + narrow(name));
        auto node = std::make_shared<Node>();
        node->class_name = class_name;
        node->name = name;
        if (same(class_name, L"user"))
            node->properties[L"userflags"] = Variant(int32_t(0x201));
        return std::make_unique<FakeObject>(directory_, node, node_, false);
    }
    void remove(const String& class_name, const String& name) override
    {
        directory_.step("remove " + narrow(class_name) + " " + narrow(name));
        auto& children = node_->children;
        const auto found = std::find_if(children.begin(), children.end(), [&](const auto& child) {
            return same(child->name, name) && same(child->class_name, class_name);
        });
        if (found == children.end())
            throw Failure(kPathNotFound, L"The system cannot find the path specified.");
        children.erase(found);
    }
    std::unique_ptr<directory::Object> child(const String& class_name, const String& relative_name) override
    {
        directory_.step("child " + narrow(class_name) + " " + narrow(relative_name));
        std::shared_ptr<Node> node = node_, parent;
        for (const String& part : split(relative_name)) {
            parent = node;
            node = child_named(*node, part);
            if (!node)
                throw Failure(kPathNotFound, L"The system cannot find the path specified.");
        }
        return std::make_unique<FakeObject>(directory_, node, parent, true);
    }
    Variant call(const String& method, const std::vector<Variant>& args) override
    {
        directory_.step("call " + narrow(method));
        node_->calls.push_back(args.empty() || !args[0].holds<String>() ? method : method + L" " + args[0].as<String>());
        if (same(method, L"Delete") && args.size() == 2 && args[0].holds<String>() && args[1].holds<String>())
            remove(args[0].as<String>(), args[1].as<String>());
        else if (same(method, L"Start"))
            node_->started = true;
        else if (same(method, L"Stop"))
            node_->started = false;
        return Variant();
    }

    std::unique_ptr<directory::Object> open_ds_object(const String& path, const String&, const String&,
                                                      int32_t) override
    {
        directory_.step("open " + narrow(path));
        return directory_.bind(path);
    }

private:
    Variant read(const String& name)
    {
        const auto pending = pending_.find(lower(name));
        if (pending != pending_.end())
            return pending->second;
        const auto stored = node_->properties.find(lower(name));
        if (stored == node_->properties.end())
            throw Failure(kPropertyNotFound, L"The directory property cannot be found in the cache.");
        return stored->second;
    }
    void write(const String& name, const Variant& value)
    {
        if (multi_valued(name) && value.holds<String>())
            pending_[lower(name)] = Variant(Variant::List{value});
        else
            pending_[lower(name)] = value;
    }

    FakeDirectory& directory_;
    std::shared_ptr<Node> node_;
    std::shared_ptr<Node> parent_;
    bool stored_;
    std::map<String, Variant> pending_;
    std::vector<String> filter_;
};

std::unique_ptr<directory::Object> FakeChildren::next()
{
    directory_.step("next");
    if (at_ >= snapshot_.size())
        return nullptr;
    return std::make_unique<FakeObject>(directory_, snapshot_[at_++], nullptr, true);
}

}  // namespace

std::string narrow(const String& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

bool multi_valued(const String& property)
{
    return same(property, L"ServerBindings") || same(property, L"SecureBindings") || same(property, L"ScriptMaps");
}

FakeDirectory::FakeDirectory() : root(std::make_shared<Node>()), accounts(std::make_shared<Node>())
{
    root->class_name = L"IIsComputer";
    root->name = L"LocalHost";
    accounts->class_name = L"Computer";
    accounts->name = kAccountsHost;
}

Node& FakeDirectory::add_account(const String& class_name, const String& name)
{
    auto node = std::make_shared<Node>();
    node->class_name = class_name;
    node->name = name;
    if (same(class_name, L"User"))
        node->properties[L"userflags"] = Variant(int32_t(0x201));
    accounts->children.push_back(node);
    return *node;
}

Node* FakeDirectory::account(const String& name) { return child_named(*accounts, name).get(); }

Node& FakeDirectory::add(const String& parent_path, const String& class_name, const String& name,
                         std::map<String, Variant> properties)
{
    Node* parent = find(parent_path);
    if (!parent)
        throw std::logic_error("no parent " + narrow(parent_path));
    auto node = std::make_shared<Node>();
    node->class_name = class_name;
    node->name = name;
    for (auto& [key, value] : properties)
        node->properties[lower(key)] = value;
    parent->children.push_back(node);
    return *node;
}

Node* FakeDirectory::find(const String& path)
{
    Node* node = root.get();
    for (const String& part : split(path)) {
        auto child = child_named(*node, part);
        if (!child)
            return nullptr;
        node = child.get();
    }
    return node;
}

void FakeDirectory::add_site(const String& number, const String& description, std::vector<String> bindings,
                             std::vector<String> secure)
{
    if (!find(L"W3SVC"))
        add(L"", L"IIsWebService", L"W3SVC");
    auto list = [](const std::vector<String>& items) { return Variant(Variant::List(items.begin(), items.end())); };
    std::map<String, Variant> properties{{L"ServerComment", description}, {L"ServerBindings", list(bindings)}};
    if (!secure.empty())
        properties[L"SecureBindings"] = list(secure);
    add(L"W3SVC", L"IIsWebServer", number, properties);
}

void FakeDirectory::fail_at(const std::string& step_name, int occurrence, int32_t status)
{
    auto previous = before;
    before = [=, count = 0](const std::string& s) mutable {
        if (previous)
            previous(s);
        if (s == step_name && ++count == occurrence)
            throw Failure(status, L"injected failure at " + String(step_name.begin(), step_name.end()));
    };
}

void FakeDirectory::step(const std::string& name)
{
    steps.push_back(name);
    if (before)
        before(name);
}

std::unique_ptr<directory::Object> FakeDirectory::bind(const String& path)
{
    step("bind " + narrow(path));
    const String winnt = L"winnt://";
    if (lower(path.substr(0, winnt.size())) == winnt) {
        const std::vector<String> parts = split(path.substr(winnt.size()));
        if (parts.empty() || !same(parts[0], kAccountsHost))
            throw Failure(kBadNetPath, L"The network path was not found.");
        if (parts.size() == 1)
            return std::make_unique<FakeObject>(*this, accounts, nullptr, true);
        auto node = parts.size() == 2 ? child_named(*accounts, parts[1]) : nullptr;
        if (!node)
            throw Failure(static_cast<int32_t>(0x800708AD), L"The user name could not be found.");
        return std::make_unique<FakeObject>(*this, node, accounts, true);
    }
    const String prefix = L"iis://localhost";
    if (lower(path.substr(0, prefix.size())) != prefix)
        throw Failure(kPathNotFound, L"The system cannot find the path specified.");
    const String rest = path.substr(prefix.size());
    std::shared_ptr<Node> node = root, parent;
    for (const String& part : split(rest)) {
        parent = node;
        node = child_named(*node, part);
        if (!node)
            throw Failure(kPathNotFound, L"The system cannot find the path specified.");
    }
    return std::make_unique<FakeObject>(*this, node, parent, true);
}

std::unique_ptr<directory::Object> FakeDirectory::bind_with_credentials(const String& path, const String&,
                                                                        const String&, int32_t)
{
    return bind(path);
}

}  // namespace kx::test
