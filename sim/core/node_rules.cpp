#include "node_rules.h"

#include "core/convert.h"
#include "core/failure.h"
#include "core/text.h"
#include "profiles.h"

namespace kxsim {
namespace {

NodeData data_of(const Node& node, std::vector<String> path)
{
    return NodeData{node.class_name, std::move(path), node.properties};
}

// The names of a path as the store spells them.
std::vector<String> stored_names(const Tree& tree, std::vector<String> path)
{
    for (std::size_t i = 0; i < path.size(); ++i)
        path[i] = tree.find(std::vector<String>(path.begin(), path.begin() + i + 1))->name;
    return path;
}

// A flags property's number, as a script writes it (a small number is a 16-bit integer there).
int32_t flags_value(const Variant& v)
{
    return v.holds<int32_t>() ? v.as<int32_t>() : v.holds<int16_t>() ? static_cast<uint16_t>(v.as<int16_t>()) : 0;
}

}  // namespace

SimError member_not_found() { return SimError{kMemberNotFound, L"Member not found."}; }

SimError property_not_found()
{
    return SimError{kPropertyNotFound, L"The directory property cannot be found in the cache."};
}

void expect(const std::vector<Variant>& args, std::size_t n)
{
    if (args.size() != n)
        throw SimError{kBadParamCount, L"Invalid number of parameters."};
}

Location Rules::locate(const String& rest) const
{
    const String::size_type slash = rest.find(L'/');
    return Location{rest.substr(0, slash), split_path(slash == String::npos ? String() : rest.substr(slash)), {}};
}

bool Rules::this_machine(const String& host) const
{
    return same_name(host, L"localhost") || host == L"127.0.0.1" || same_name(host, computer_name());
}

void Rules::admit(const Node& container, const String& class_name, const String& name) const
{
    if (container.child(name))
        throw already_exists(class_name);
}

void Rules::refuse(const Tree& tree, const String& step) const
{
    const Variant* refused = tree.root.property(kRefusedSteps);
    if (step.empty() || !refused || !refused->holds<Variant::List>())
        return;
    for (const Variant& item : refused->as<Variant::List>())
        if (item.holds<String>() && same_name(item.as<String>(), step))
            throw SimError{kAccessDenied, L"Access is denied."};
}

void Rules::refuse_read(const Tree& tree, const std::vector<String>& path) const
{
    if (guarded_read(path))
        refuse(tree, read_step());
}

bool Rules::hidden(const String& property) const
{
    return same_name(property, kRefusedSteps) || same_name(property, kServerProperty);
}

Reply Rules::call(Entry&, const String&, const std::vector<Variant>&) const { throw member_not_found(); }

Entry::Entry(const Rules& rules, String host, NodeData data, bool stored)
    : rules_(rules), host_(std::move(host)), data_(std::move(data)), stored_(stored)
{
}

String Entry::name() const { return data_.path.empty() ? host_ : data_.path.back(); }

String Entry::class_name() const { return data_.path.empty() ? String(rules_.root_class()) : data_.class_name; }

String Entry::ads_path(std::size_t depth) const
{
    String path = String(rules_.scheme()) + L"://" + host_;
    for (std::size_t i = 0; i < depth; ++i)
        path += L"/" + data_.path[i];
    return path;
}

String Entry::parent() const
{
    return data_.path.empty() ? String(rules_.scheme()) + L":" : ads_path(data_.path.size() - 1);
}

String Entry::schema() const { return String(rules_.scheme()) + L"://" + host_ + L"/Schema/" + class_name(); }

Variant Entry::read(const String& name) const
{
    if (const auto flag = rules_.flag_of(name)) {
        Variant flags = read(flag->first);
        return Variant((flags_value(flags) & flag->second) != 0);
    }
    if (!rules_.hidden(name)) {
        for (const auto& [key, value] : pending_)
            if (same_name(key, name))
                return value;
        for (const auto& [key, value] : data_.properties)
            if (same_name(key, name))
                return value;
    }
    throw property_not_found();
}

Variant Entry::read_as_list(const String& name) const
{
    Variant v = read(name);
    return v.holds<Variant::List>() ? v : Variant(Variant::List{v});
}

void Entry::write(const String& name, Variant value)
{
    if (rules_.hidden(name))
        throw property_not_found();
    if (const auto flag = rules_.flag_of(name)) {
        // One bit of the flags property: writing it changes the flags, and the flags it.
        int32_t flags = 0;
        try {
            const Variant now = read(flag->first);
            flags = flags_value(now);
        } catch (const SimError&) {
        }
        const bool on = value.holds<bool>() ? value.as<bool>()
                        : value.holds<int32_t>() ? value.as<int32_t>() != 0
                        : value.holds<double>() ? value.as<double>() != 0
                                                : throw kx::runtime::type_mismatch();
        write(flag->first, Variant(on ? (flags | flag->second) : (flags & ~flag->second)));
        return;
    }
    const Variant* existing = nullptr;
    for (const auto& [key, v] : data_.properties)
        if (same_name(key, name))
            existing = &v;
    if (value.holds<Variant::List>()) {
        Variant::List strings;
        for (const Variant& item : value.as<Variant::List>())
            strings.emplace_back(item.holds<String>() ? item.as<String>() : kx::to_text(item));
        value = Variant(std::move(strings));
    } else if (value.holds<String>() && (rules_.multi_valued(name) || (existing && existing->holds<Variant::List>()))) {
        value = Variant(Variant::List{value});
    } else if (value.holds<double>()) {
        value = Variant(static_cast<int32_t>(value.as<double>()));
    } else if (value.holds<kx::Empty>() || value.holds<kx::Null>()) {
        value = Variant(String());
    } else if (value.holds<kx::Unreadable>() || value.holds<Variant::Bytes>()) {
        throw kx::runtime::type_mismatch();  // the store keeps texts, numbers and truth values
    }
    hold(name, std::move(value));
}

void Entry::hold(const String& name, Variant value)
{
    for (auto& [key, v] : pending_)
        if (same_name(key, name)) {
            v = std::move(value);
            return;
        }
    pending_.emplace_back(name, std::move(value));
}

void Entry::set_filter(const Variant& v)
{
    filter_.clear();
    if (v.holds<Variant::List>())
        for (const Variant& item : v.as<Variant::List>())
            filter_.push_back(kx::to_text(item));
    else if (v.holds<String>())
        filter_.push_back(v.as<String>());
}

void Entry::get_info()
{
    const auto tree = rules_.store()->load();
    const Node* node = tree->find(data_.path);
    if (!node || !stored_)
        throw rules_.not_found(data_.class_name);
    data_.properties = node->properties;
    pending_.clear();
}

void Entry::set_info()
{
    if (data_.path.empty() && !stored_)
        throw rules_.not_found(data_.class_name);
    rules_.store()->update([&](Tree& tree) {
        Node* node = tree.find(data_.path);
        if (!stored_) {
            Node* parent = tree.find(std::vector<String>(data_.path.begin(), data_.path.end() - 1));
            if (!parent)
                throw rules_.not_found(L"");
            rules_.admit(*parent, data_.class_name, data_.path.back());
            rules_.refuse(tree, rules_.step_of(data_.class_name));
            rules_.on_first_store(tree, data_, pending_);
            node = &parent->add(data_.class_name, data_.path.back());
            for (auto& [key, value] : data_.properties)
                node->set(key, value);
        } else if (!node) {
            throw rules_.not_found(data_.class_name);
        }
        for (auto& [key, value] : pending_)
            node->set(key, value);
        data_.properties = node->properties;
    });
    pending_.clear();
    stored_ = true;
}

std::optional<NodeData> Entry::child_at(std::size_t index, Cursor* cursor) const
{
    auto tree = rules_.store()->load();
    const Node* node = tree->find(data_.path);
    if (!node)
        throw rules_.not_found(data_.class_name);
    std::size_t position = 0, counted = 0;
    if (cursor && cursor->tree == tree && index == cursor->index + 1 && cursor->position < node->children.size() &&
        node->children[cursor->position].get() == cursor->child) {
        position = cursor->position + 1;
        counted = index;
    }
    for (; position < node->children.size(); ++position) {
        const Node& child = *node->children[position];
        bool wanted = filter_.empty();
        for (const String& cls : filter_)
            wanted = wanted || same_name(cls, child.class_name);
        if (!wanted || counted++ != index)
            continue;
        std::vector<String> path = data_.path;
        path.push_back(child.name);
        rules_.refuse_read(*tree, path);
        if (cursor)
            *cursor = Cursor{tree, &child, index, position};
        return data_of(child, std::move(path));
    }
    return std::nullopt;
}

NodeData Entry::get_object(const String& cls, const String& relative) const
{
    const auto tree = rules_.store()->load();
    std::vector<String> path = data_.path;
    for (const String& part : split_path(relative))
        path.push_back(part);
    const Node* node = path.size() > data_.path.size() ? tree->find(path) : nullptr;
    rules_.refuse_read(*tree, path);
    if (!node || (rules_.lookup_by_class() && !same_name(node->class_name, cls)))
        throw rules_.not_found(cls);
    return data_of(*node, stored_names(*tree, path));
}

Entry Entry::create(const String& cls, const String& relative) const
{
    const auto tree = rules_.store()->load();
    if (!tree->find(data_.path))
        throw rules_.not_found(data_.class_name);
    if (relative.empty() || relative.find(L'/') != String::npos)
        throw rules_.not_found(cls);
    std::vector<String> path = data_.path;
    path.push_back(relative);
    NodeData fresh{rules_.canonical_class(cls), path, {}};
    rules_.initialise(fresh);
    return Entry(rules_, host_, std::move(fresh), false);
}

void Entry::remove(const String& cls, const String& relative)
{
    rules_.store()->update([&](Tree& tree) {
        Node* node = tree.find(data_.path);
        const Node* child = node ? node->child(relative) : nullptr;
        if (!child || !same_name(child->class_name, rules_.canonical_class(cls)))
            throw rules_.not_found(cls);
        rules_.on_delete(tree, *node, *child);
        node->remove(relative);
    });
}

void Entry::change_stored(const std::function<void(Tree&, Node&)>& change)
{
    if (!stored_)
        throw rules_.not_found(data_.class_name);
    rules_.store()->update([&](Tree& tree) {
        Node* node = tree.find(data_.path);
        if (!node)
            throw rules_.not_found(data_.class_name);
        change(tree, *node);
        data_.properties = node->properties;
    });
}

Reply Entry::call(const String& method, const std::vector<Variant>& args) { return rules_.call(*this, method, args); }

Entry open_entry(const Rules& rules, const String& path)
{
    const String scheme = String(rules.scheme()) + L"://";
    if (path.size() < scheme.size() || !same_name(path.substr(0, scheme.size()), scheme))
        throw SimError{kInvalidPath, L"An invalid directory pathname was passed."};
    const Location where = rules.locate(path.substr(scheme.size()));
    if (!rules.this_machine(where.host))
        throw rules.unreachable(where.host);
    const auto tree = rules.store()->load();
    rules.refuse_read(*tree, where.names);
    const Node* node = tree->find(where.names);
    if (!node || (!where.class_name.empty() && !where.names.empty() &&
                  !same_name(node->class_name, rules.canonical_class(where.class_name))))
        throw rules.not_found(where.class_name);
    return Entry(rules, where.host, data_of(*node, stored_names(*tree, where.names)), true);
}

}  // namespace kxsim
