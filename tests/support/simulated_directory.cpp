#include "simulated_directory.h"

#include "core/convert.h"
#include "core/text.h"

namespace kx::test {
namespace {

// Runs a step of the stand-ins' rules; their failure becomes the port's.
template <class Step>
auto as_port(Step&& step) -> decltype(step())
{
    try {
        return step();
    } catch (const kxsim::SimError& e) {
        throw Failure(e.status, e.description);
    }
}

class SimulatedObject;

class SimulatedChildren final : public directory::Children
{
public:
    SimulatedChildren(SimulatedDirectory& directory, const kxsim::Entry& parent)
        : directory_(directory), parent_(parent)
    {
    }
    std::unique_ptr<directory::Object> next() override;

private:
    SimulatedDirectory& directory_;
    kxsim::Entry parent_;
    kxsim::Entry::Cursor cursor_;
    std::size_t at_ = 0;
};

class SimulatedObject final : public directory::Object
{
public:
    SimulatedObject(SimulatedDirectory& directory, kxsim::Entry entry) : directory_(directory), entry_(std::move(entry))
    {
        ++directory_.live_objects;
    }
    ~SimulatedObject() override { --directory_.live_objects; }

    String name() override
    {
        directory_.step("name");
        return entry_.name();
    }
    String class_name() override
    {
        directory_.step("class");
        return entry_.class_name();
    }
    Variant property(const String& name) override
    {
        directory_.step("property " + narrow(name));
        return as_port([&] { return entry_.read(name); });
    }
    void set_property(const String& name, const Variant& value) override
    {
        directory_.step("set_property " + narrow(name));
        as_port([&] { entry_.write(name, value); });
    }
    Variant get(const String& name) override
    {
        directory_.step("get " + narrow(name));
        return as_port([&] { return entry_.read(name); });
    }
    void put(const String& name, const Variant& value) override
    {
        directory_.step("put " + narrow(name));
        as_port([&] { entry_.write(name, value); });
    }
    void get_info() override
    {
        directory_.step("get_info");
        as_port([&] { entry_.get_info(); });
    }
    void set_info() override
    {
        directory_.step("set_info");
        as_port([&] { entry_.set_info(); });
    }
    std::unique_ptr<directory::Children> children() override
    {
        directory_.step("children");
        as_port([&] { entry_.child_at(0); });
        return std::make_unique<SimulatedChildren>(directory_, entry_);
    }
    void set_filter(const std::vector<String>& classes) override
    {
        directory_.step("set_filter");
        entry_.set_filter(Variant(Variant::List(classes.begin(), classes.end())));
    }
    std::unique_ptr<directory::Object> create(const String& class_name, const String& name) override
    {
        directory_.step("create " + narrow(class_name) + " " + narrow(name));
        return std::make_unique<SimulatedObject>(directory_, as_port([&] { return entry_.create(class_name, name); }));
    }
    void remove(const String& class_name, const String& name) override
    {
        directory_.step("remove " + narrow(class_name) + " " + narrow(name));
        as_port([&] { entry_.remove(class_name, name); });
    }
    std::unique_ptr<directory::Object> child(const String& class_name, const String& relative_name) override
    {
        directory_.step("child " + narrow(class_name) + " " + narrow(relative_name));
        kxsim::NodeData data = as_port([&] { return entry_.get_object(class_name, relative_name); });
        return std::make_unique<SimulatedObject>(directory_, kxsim::Entry(entry_.rules(), entry_.host(), std::move(data), true));
    }
    Variant call(const String& method, const std::vector<Variant>& args) override
    {
        directory_.step("call " + narrow(method));
        return as_port([&] {
            // Delete is the container's own member, reached by name as the others.
            if (kxsim::same_name(method, L"Delete")) {
                kxsim::expect(args, 2);
                entry_.remove(to_text(args[0]), to_text(args[1]));
                return Variant();
            }
            return entry_.call(method, args).value;
        });
    }
    std::unique_ptr<directory::Object> open_ds_object(const String& path, const String&, const String&,
                                                      int32_t) override
    {
        directory_.step("open " + narrow(path));
        return directory_.bind(path);
    }

private:
    SimulatedDirectory& directory_;
    kxsim::Entry entry_;
};

std::unique_ptr<directory::Object> SimulatedChildren::next()
{
    directory_.step("next");
    std::optional<kxsim::NodeData> child = as_port([&] { return parent_.child_at(at_, &cursor_); });
    if (!child)
        return nullptr;
    ++at_;
    return std::make_unique<SimulatedObject>(directory_,
                                             kxsim::Entry(parent_.rules(), parent_.host(), std::move(*child), true));
}

}  // namespace

class SimulatedDirectory::Web final : public kxsim::iis::WebRules
{
public:
    explicit Web(std::shared_ptr<MemoryStore> store) : store_(std::move(store)) {}
    std::shared_ptr<const kxsim::TreeStore> store() const override { return store_; }
    String computer_name() const override { return kAccountsHost; }

private:
    std::shared_ptr<MemoryStore> store_;
};

class SimulatedDirectory::Accounts final : public kxsim::winnt::AccountRules
{
public:
    explicit Accounts(std::shared_ptr<MemoryStore> store) : store_(std::move(store)) {}
    std::shared_ptr<const kxsim::TreeStore> store() const override { return store_; }
    String computer_name() const override { return kAccountsHost; }
    String password_digest(const String& password) const override { return L"plain$" + password; }

private:
    std::shared_ptr<MemoryStore> store_;
};

void MemoryStore::update(const std::function<void(kxsim::Tree&)>& change) const
{
    kxsim::Tree before = *tree_;
    try {
        change(*tree_);
    } catch (...) {
        *tree_ = std::move(before);
        throw;
    }
}

std::string narrow(const String& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

SimulatedDirectory::SimulatedDirectory()
    : web_store_(std::make_shared<MemoryStore>(kxsim::Tree())),
      account_store_(std::make_shared<MemoryStore>(kxsim::Tree())),
      web_rules_(std::make_unique<Web>(web_store_)),
      account_rules_(std::make_unique<Accounts>(account_store_))
{
    web().root.class_name = web_rules_->root_class();
    accounts().root.class_name = account_rules_->root_class();
}

kxsim::Node& SimulatedDirectory::add(const String& parent_path, const String& class_name, const String& name,
                                     const std::vector<std::pair<String, Variant>>& properties)
{
    kxsim::Node* parent = find(parent_path);
    if (!parent)
        throw std::logic_error("no parent " + narrow(parent_path));
    kxsim::Node& node = parent->add(class_name, name);
    for (const auto& [key, value] : properties)
        node.set(key, value);
    return node;
}

void SimulatedDirectory::add_site(const Site& site) { test::add_site(web(), site); }

kxsim::Node* SimulatedDirectory::find(const String& path) { return web().find(split_path(path)); }

kxsim::Node& SimulatedDirectory::add_account(const String& class_name, const String& name)
{
    kxsim::NodeData data{account_rules_->canonical_class(class_name), {name}, {}};
    account_rules_->initialise(data);
    kxsim::Node& node = accounts().root.add(data.class_name, name);
    for (const auto& [key, value] : data.properties)
        node.set(key, value);
    return node;
}

kxsim::Node* SimulatedDirectory::account(const String& name) { return accounts().root.child(name); }

std::vector<String> SimulatedDirectory::members(const String& group)
{
    std::vector<String> names;
    if (const kxsim::Node* node = account(group))
        for (const Variant& member : kxsim::winnt::members_of(*node))
            names.push_back(to_text(member));
    return names;
}

void SimulatedDirectory::fail_at(const std::string& step_name, int occurrence, int32_t status)
{
    before = [=, count = 0](const std::string& s) mutable {
        if (s == step_name && ++count == occurrence)
            throw Failure(status, L"injected failure at " + String(step_name.begin(), step_name.end()));
    };
}

void SimulatedDirectory::step(const std::string& name)
{
    steps.push_back(name);
    if (before)
        before(name);
}

std::unique_ptr<directory::Object> SimulatedDirectory::bind(const String& path)
{
    step("bind " + narrow(path));
    const String winnt = L"WinNT:";
    const bool accounts = path.size() >= winnt.size() && kxsim::same_name(path.substr(0, winnt.size()), winnt);
    const kxsim::Rules& rules = accounts ? *account_rules_ : *web_rules_;
    return std::make_unique<SimulatedObject>(*this, as_port([&] { return kxsim::open_entry(rules, path); }));
}

std::unique_ptr<directory::Object> SimulatedDirectory::bind_with_credentials(const String& path, const String&,
                                                                             const String&, int32_t)
{
    return bind(path);
}

}  // namespace kx::test
