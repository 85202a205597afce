// The objects of a simulated provider: directory nodes, their enumerators, collections and the
// namespace object.
#include "directory.h"

#include <iads.h>

#include <algorithm>

#include "core/convert.h"
#include "core/text.h"
#include "platform/com/com.h"

namespace kxsim {
namespace {

using kx::com::VariantHolder;

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

IDispatch* make_object(const Rules& rules, const String& host, NodeData data, bool stored);

// Walks a snapshot of nodes taken when the walk began.
class Children final : public IEnumVARIANT, private Counted
{
public:
    Children(const Rules& rules, String host, std::vector<NodeData> snapshot)
        : rules_(rules), host_(std::move(host)), snapshot_(std::move(snapshot))
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumVARIANT)) {
            *object = static_cast<IEnumVARIANT*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
    ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override
    {
        if (!out)
            return E_POINTER;
        ULONG n = 0;
        for (; n < count && at_ < snapshot_.size(); ++n, ++at_) {
            VariantInit(&out[n]);
            V_VT(&out[n]) = VT_DISPATCH;
            V_DISPATCH(&out[n]) = make_object(rules_, host_, snapshot_[at_], true);
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        at_ = std::min<std::size_t>(snapshot_.size(), at_ + count);
        return at_ < snapshot_.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        at_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override
    {
        if (!copy)
            return E_POINTER;
        auto* twin = new (std::nothrow) Children(rules_, host_, snapshot_);
        if (!twin)
            return E_OUTOFMEMORY;
        twin->at_ = at_;
        *copy = twin;
        return S_OK;
    }

private:
    const Rules& rules_;
    String host_;
    std::vector<NodeData> snapshot_;
    std::size_t at_ = 0;
};

// A collection of objects that callers walk with For Each (a group's Members).
class Collection final : public IDispatch, private Counted
{
public:
    Collection(const Rules& rules, String host, std::vector<NodeData> members)
        : rules_(rules), host_(std::move(host)), members_(std::move(members))
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
    ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return no_type_information(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (!names || !ids || count != 1 || !names[0])
            return DISP_E_UNKNOWNNAME;
        if (same_name(names[0], L"_NewEnum"))
            ids[0] = DISPID_NEWENUM;
        else if (same_name(names[0], L"Count"))
            ids[0] = 1;
        else
            return DISP_E_UNKNOWNNAME;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override
    {
        if (id != DISPID_NEWENUM && id != 1)
            return DISP_E_MEMBERNOTFOUND;
        if (!result)
            return S_OK;
        VariantInit(result);
        if (id == 1) {
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(members_.size());
            return S_OK;
        }
        auto* walk = new (std::nothrow) Children(rules_, host_, members_);
        if (!walk)
            return E_OUTOFMEMORY;
        give(*result, static_cast<IEnumVARIANT*>(walk), VT_UNKNOWN);
        return S_OK;
    }

private:
    const Rules& rules_;
    String host_;
    std::vector<NodeData> members_;
};

// Dispatch identifiers of the members that every node object has; a namespace's own methods
// follow from kFirstMethod, and other names are properties of the node.
enum Member : DISPID {
    kName = 1, kClass, kADsPath, kParent, kSchema, kGUID, kGetInfo, kSetInfo, kGet, kPut, kGetEx,
    kFilter, kGetObject, kCreate, kDelete,
    kFirstMethod = 500,
};

const std::pair<const wchar_t*, DISPID> kMembers[] = {
    {L"Name", kName}, {L"Class", kClass}, {L"ADsPath", kADsPath}, {L"Parent", kParent}, {L"Schema", kSchema},
    {L"GUID", kGUID}, {L"GetInfo", kGetInfo}, {L"SetInfo", kSetInfo}, {L"Get", kGet}, {L"Put", kPut},
    {L"GetEx", kGetEx}, {L"Filter", kFilter}, {L"GetObject", kGetObject}, {L"Create", kCreate},
    {L"Delete", kDelete}, {L"_NewEnum", DISPID_NEWENUM},
};

class NodeObject final : public IADs, public IADsContainer, public ISupportErrorInfo, public NodeContext, private Counted
{
public:
    NodeObject(const Rules& rules, String host, NodeData data, bool stored)
        : rules_(rules), host_(std::move(host)), data_(std::move(data)), stored_(stored)
    {
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IADs))
            *object = static_cast<IADs*>(this);
        else if (IsEqualIID(riid, IID_IADsContainer))
            *object = static_cast<IADsContainer*>(this);
        else if (IsEqualIID(riid, IID_ISupportErrorInfo))
            *object = static_cast<ISupportErrorInfo*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
    ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }

    // IDispatch: members and properties by name, without regard to case.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return no_type_information(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        return properties_.ids_of(names, count, ids, [&](const String& name) {
            const DISPID member = member_in(kMembers, name);
            const auto methods = rules_.methods();
            for (std::size_t i = 0; i < methods.size() && member == DISPID_UNKNOWN; ++i)
                if (same_name(name, methods[i]))
                    return static_cast<DISPID>(kFirstMethod + i);
            return member;
        });
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override
    {
        return invoke_call(rules_.scheme(), params, result, exception,
                           [&](const Arguments& args, VARIANT& out) { dispatch(id, flags, args, out); });
    }

    // IADs
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override { return give_text(out, name()); }
    HRESULT STDMETHODCALLTYPE get_Class(BSTR* out) override { return give_text(out, class_name()); }
    HRESULT STDMETHODCALLTYPE get_GUID(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* out) override { return give_text(out, ads_path(data_.path.size())); }
    HRESULT STDMETHODCALLTYPE get_Parent(BSTR* out) override { return give_text(out, parent()); }
    HRESULT STDMETHODCALLTYPE get_Schema(BSTR* out) override { return give_text(out, schema()); }
    HRESULT STDMETHODCALLTYPE GetInfo() override { return guarded(rules_.scheme(), [&] { get_info(); }); }
    HRESULT STDMETHODCALLTYPE SetInfo() override { return guarded(rules_.scheme(), [&] { set_info(); }); }
    HRESULT STDMETHODCALLTYPE Get(BSTR name, VARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        VariantInit(value);
        return guarded(rules_.scheme(), [&] { give(*value, read(kx::com::to_string(name))); });
    }
    HRESULT STDMETHODCALLTYPE Put(BSTR name, VARIANT value) override
    {
        return guarded(rules_.scheme(), [&] { write(kx::com::to_string(name), kx::com::to_variant(value)); });
    }
    HRESULT STDMETHODCALLTYPE GetEx(BSTR name, VARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        VariantInit(value);
        return guarded(rules_.scheme(), [&] { give(*value, read_as_list(kx::com::to_string(name))); });
    }
    HRESULT STDMETHODCALLTYPE PutEx(LONG, BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT, LONG) override { return GetInfo(); }

    // IADsContainer
    HRESULT STDMETHODCALLTYPE get_Count(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return guarded(rules_.scheme(), [&] { *out = new_enum(); });
    }
    HRESULT STDMETHODCALLTYPE get_Filter(VARIANT* out) override
    {
        if (!out)
            return E_POINTER;
        VariantInit(out);
        return guarded(rules_.scheme(), [&] { give(*out, Variant(Variant::List(filter_.begin(), filter_.end()))); });
    }
    HRESULT STDMETHODCALLTYPE put_Filter(VARIANT filter) override
    {
        return guarded(rules_.scheme(), [&] { set_filter(kx::com::to_variant(filter)); });
    }
    HRESULT STDMETHODCALLTYPE get_Hints(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Hints(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetObject(BSTR cls, BSTR relative, IDispatch** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return guarded(rules_.scheme(),
                       [&] { *out = get_object(kx::com::to_string(cls), kx::com::to_string(relative)); });
    }
    HRESULT STDMETHODCALLTYPE Create(BSTR cls, BSTR relative, IDispatch** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return guarded(rules_.scheme(), [&] { *out = create(kx::com::to_string(cls), kx::com::to_string(relative)); });
    }
    HRESULT STDMETHODCALLTYPE Delete(BSTR cls, BSTR relative) override
    {
        return guarded(rules_.scheme(), [&] { remove(kx::com::to_string(cls), kx::com::to_string(relative)); });
    }
    HRESULT STDMETHODCALLTYPE CopyHere(BSTR, BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MoveHere(BSTR, BSTR, IDispatch**) override { return E_NOTIMPL; }

    // NodeContext
    const String& host() const override { return host_; }
    const NodeData& data() const override { return data_; }
    void change_stored(const std::function<void(Tree&, Node&)>& change) override
    {
        if (!stored_)
            throw rules_.not_found(data_.class_name);
        rules_.store().update([&](Tree& tree) {
            Node* node = tree.find(data_.path);
            if (!node)
                throw rules_.not_found(data_.class_name);
            change(tree, *node);
            data_.properties = node->properties;
        });
    }
    IDispatch* collection(std::vector<NodeData> members) override
    {
        return new Collection(rules_, host_, std::move(members));
    }

private:
    String name() const { return data_.path.empty() ? host_ : data_.path.back(); }
    String class_name() const { return data_.path.empty() ? String(rules_.root_class()) : data_.class_name; }
    String ads_path(std::size_t depth) const
    {
        String path = String(rules_.scheme()) + L"://" + host_;
        for (std::size_t i = 0; i < depth; ++i)
            path += L"/" + data_.path[i];
        return path;
    }
    String parent() const
    {
        return data_.path.empty() ? String(rules_.scheme()) + L":" : ads_path(data_.path.size() - 1);
    }
    String schema() const { return String(rules_.scheme()) + L"://" + host_ + L"/Schema/" + class_name(); }

    Variant read(const String& name) const
    {
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

    Variant read_as_list(const String& name) const
    {
        Variant v = read(name);
        return v.holds<Variant::List>() ? v : Variant(Variant::List{v});
    }

    // A written value as the store keeps it.
    void write(const String& name, Variant value)
    {
        if (rules_.hidden(name))
            throw property_not_found();
        const Variant* existing = nullptr;
        for (const auto& [key, v] : data_.properties)
            if (same_name(key, name))
                existing = &v;
        if (value.holds<Variant::List>()) {
            Variant::List strings;
            for (const Variant& item : value.as<Variant::List>())
                strings.emplace_back(item.holds<String>() ? item.as<String>() : kx::to_text(item));
            value = Variant(std::move(strings));
        } else if (value.holds<String>() &&
                   (rules_.multi_valued(name) || (existing && existing->holds<Variant::List>()))) {
            value = Variant(Variant::List{value});
        } else if (value.holds<double>()) {
            value = Variant(static_cast<int32_t>(value.as<double>()));
        } else if (value.holds<kx::Empty>() || value.holds<kx::Null>()) {
            value = Variant(String());
        } else if (value.holds<kx::Unreadable>() || value.holds<Variant::Bytes>()) {
            throw kx::runtime::type_mismatch();  // the store keeps texts, numbers and truth values
        }
        for (auto& [key, v] : pending_)
            if (same_name(key, name)) {
                v = std::move(value);
                return;
            }
        pending_.emplace_back(name, std::move(value));
    }

    void set_filter(const Variant& v)
    {
        filter_.clear();
        if (v.holds<Variant::List>())
            for (const Variant& item : v.as<Variant::List>())
                filter_.push_back(kx::to_text(item));
        else if (v.holds<String>())
            filter_.push_back(v.as<String>());
    }

    void get_info()
    {
        const auto tree = rules_.store().load();
        const Node* node = tree->find(data_.path);
        if (!node || !stored_)
            throw rules_.not_found(data_.class_name);
        data_.properties = node->properties;
        pending_.clear();
    }

    void set_info()
    {
        if (data_.path.empty() && !stored_)
            throw rules_.not_found(data_.class_name);
        rules_.store().update([&](Tree& tree) {
            Node* node = tree.find(data_.path);
            if (!stored_) {
                Node* parent = tree.find(std::vector<String>(data_.path.begin(), data_.path.end() - 1));
                if (!parent)
                    throw rules_.not_found(L"");
                rules_.admit(*parent, data_.class_name, data_.path.back());
                rules_.refuse(tree, rules_.step_of(data_.class_name));
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

    IUnknown* new_enum()
    {
        const auto tree = rules_.store().load();
        const Node* node = tree->find(data_.path);
        if (!node)
            throw rules_.not_found(data_.class_name);
        std::vector<NodeData> snapshot;
        snapshot.reserve(node->children.size());
        for (const auto& child : node->children) {
            bool wanted = filter_.empty();
            for (const String& cls : filter_)
                wanted = wanted || same_name(cls, child->class_name);
            if (!wanted)
                continue;
            std::vector<String> path = data_.path;
            path.push_back(child->name);
            snapshot.push_back(data_of(*child, std::move(path)));
        }
        return static_cast<IEnumVARIANT*>(new Children(rules_, host_, std::move(snapshot)));
    }

    IDispatch* get_object(const String& cls, const String& relative)
    {
        const auto tree = rules_.store().load();
        std::vector<String> path = data_.path;
        for (const String& part : split_path(relative))
            path.push_back(part);
        const Node* node = path.size() > data_.path.size() ? tree->find(path) : nullptr;
        if (!node || (rules_.lookup_by_class() && !same_name(node->class_name, cls)))
            throw rules_.not_found(cls);
        return make_object(rules_, host_, data_of(*node, stored_names(*tree, path)), true);
    }

    IDispatch* create(const String& cls, const String& relative)
    {
        const auto tree = rules_.store().load();
        const Node* node = tree->find(data_.path);
        if (!node)
            throw rules_.not_found(data_.class_name);
        if (relative.empty() || relative.find(L'/') != String::npos)
            throw rules_.not_found(cls);
        const String canonical = rules_.canonical_class(cls);
        if (rules_.refuses_taken_name_at_create())
            rules_.admit(*node, canonical, relative);
        std::vector<String> path = data_.path;
        path.push_back(relative);
        NodeData fresh{canonical, path, {}};
        rules_.initialise(fresh);
        return make_object(rules_, host_, std::move(fresh), false);
    }

    void remove(const String& cls, const String& relative)
    {
        rules_.store().update([&](Tree& tree) {
            Node* node = tree.find(data_.path);
            const Node* child = node ? node->child(relative) : nullptr;
            if (!child || !same_name(child->class_name, rules_.canonical_class(cls)))
                throw rules_.not_found(cls);
            rules_.on_delete(tree, *node, *child);
            node->remove(relative);
        });
    }

    // The late-bound face of every member.
    void dispatch(DISPID id, WORD flags, const Arguments& args, VARIANT& out)
    {
        const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
        if (const String* property = properties_.name_of(id)) {
            const String& name = *property;
            if (put) {
                args.expect(1);
                write(name, args.value(0));
            } else if (args.count() == 1) {
                // site.ServerBindings(0): one element of a list
                give(out, kx::element(read(name), static_cast<std::size_t>(kx::to_long(args.value(0)))));
            } else {
                give(out, read(name));
            }
            return;
        }
        const auto methods = rules_.methods();
        if (id >= kFirstMethod && static_cast<std::size_t>(id - kFirstMethod) < methods.size())
            return rules_.call(*this, methods[id - kFirstMethod], args, out);
        switch (id) {
        case kName: return give(out, Variant(name()));
        case kClass: return give(out, Variant(class_name()));
        case kADsPath: return give(out, Variant(ads_path(data_.path.size())));
        case kParent: return give(out, Variant(parent()));
        case kSchema: return give(out, Variant(schema()));
        case kGetInfo: return get_info();
        case kSetInfo: return set_info();
        case kGet: args.expect(1); return give(out, read(args.text(0)));
        case kGetEx: args.expect(1); return give(out, read_as_list(args.text(0)));
        case kPut: args.expect(2); return write(args.text(0), args.value(1));
        case kFilter:
            if (put) {
                args.expect(1);
                set_filter(args.value(0));
            } else {
                give(out, Variant(Variant::List(filter_.begin(), filter_.end())));
            }
            return;
        case kGetObject: args.expect(2); return give(out, get_object(args.text(0), args.text(1)), VT_DISPATCH);
        case kCreate: args.expect(2); return give(out, create(args.text(0), args.text(1)), VT_DISPATCH);
        case kDelete: args.expect(2); return remove(args.text(0), args.text(1));
        case DISPID_NEWENUM: return give(out, new_enum(), VT_UNKNOWN);
        default: throw SimError{DISP_E_MEMBERNOTFOUND, L"Member not found."};
        }
    }

    const Rules& rules_;
    String host_;
    NodeData data_;
    bool stored_;
    std::vector<std::pair<String, Variant>> pending_;
    std::vector<String> filter_;
    PropertyIds properties_;
};

IDispatch* make_object(const Rules& rules, const String& host, NodeData data, bool stored)
{
    return static_cast<IADs*>(new NodeObject(rules, host, std::move(data), stored));
}

IDispatch* open(const Rules& rules, const String& path)
{
    const String scheme = String(rules.scheme()) + L"://";
    if (path.size() < scheme.size() || !same_name(path.substr(0, scheme.size()), scheme))
        throw SimError{static_cast<HRESULT>(0x80005000), L"An invalid directory pathname was passed."};
    const Location where = rules.locate(path.substr(scheme.size()));
    if (!rules.this_machine(where.host))
        throw rules.unreachable(where.host);
    const auto tree = rules.store().load();
    const Node* node = tree->find(where.names);
    if (!node || (!where.class_name.empty() && !where.names.empty() &&
                  !same_name(node->class_name, rules.canonical_class(where.class_name))))
        throw rules.not_found(where.class_name);
    return make_object(rules, where.host, data_of(*node, stored_names(*tree, where.names)), true);
}

// The namespace object ("IIS:"): opens objects by path, with or without credentials, and lists
// this machine (For Each over it yields the machine object).
class Namespace final : public IADsOpenDSObject, private Counted
{
    enum Member : DISPID { kOpenDSObject = 1, kName, kClass, kADsPath };

public:
    explicit Namespace(const Rules& rules) : rules_(rules) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, IID_IADsOpenDSObject)) {
            *object = static_cast<IADsOpenDSObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
    ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return no_type_information(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        static const std::pair<const wchar_t*, DISPID> members[] = {
            {L"OpenDSObject", kOpenDSObject}, {L"Name", kName},           {L"Class", kClass},
            {L"ADsPath", kADsPath},           {L"_NewEnum", DISPID_NEWENUM}};
        if (!names || !ids || count != 1 || !names[0])
            return DISP_E_UNKNOWNNAME;
        for (const auto& [name, id] : members)
            if (same_name(names[0], name)) {
                ids[0] = id;
                return S_OK;
            }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override
    {
        return invoke_call(rules_.scheme(), params, result, exception, [&](const Arguments& args, VARIANT& out) {
            switch (id) {
            case kOpenDSObject: args.expect(4); return give(out, open(rules_, args.text(0)), VT_DISPATCH);
            case kName:
            case kADsPath: return give(out, Variant(String(rules_.scheme()) + L":"));
            case kClass: return give(out, Variant(String(L"Namespace")));
            case DISPID_NEWENUM: {
                const auto tree = rules_.store().load();
                std::vector<NodeData> machine{data_of(*tree->find({}), {})};
                return give(out, static_cast<IEnumVARIANT*>(new Children(rules_, rules_.machine_name(), machine)),
                            VT_UNKNOWN);
            }
            default: throw SimError{DISP_E_MEMBERNOTFOUND, L"Member not found."};
            }
        });
    }
    HRESULT STDMETHODCALLTYPE OpenDSObject(BSTR path, BSTR, BSTR, LONG, IDispatch** object) override
    {
        return open_path(rules_, kx::com::to_string(path), object);
    }

private:
    const Rules& rules_;
};

}  // namespace

Location Rules::locate(const String& rest) const
{
    const String::size_type slash = rest.find(L'/');
    return Location{rest.substr(0, slash), split_path(slash == String::npos ? String() : rest.substr(slash)), {}};
}

bool Rules::this_machine(const String& host) const
{
    if (same_name(host, L"localhost") || host == L"127.0.0.1")
        return true;
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) && same_name(host, String(name, size));
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
            throw SimError{E_ACCESSDENIED, L"Access is denied."};
}

void Rules::call(NodeContext&, const String&, const Arguments&, VARIANT&) const
{
    throw SimError{DISP_E_MEMBERNOTFOUND, L"Member not found."};
}

SimError property_not_found()
{
    return SimError{static_cast<HRESULT>(0x8000500D), L"The directory property cannot be found in the cache."};
}

HRESULT open_path(const Rules& rules, const String& path, IDispatch** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    return guarded(rules.scheme(), [&] { *object = open(rules, path); });
}

HRESULT make_namespace(const Rules& rules, REFIID riid, void** object)
{
    auto* space = new (std::nothrow) Namespace(rules);
    if (!space)
        return E_OUTOFMEMORY;
    const HRESULT status = space->QueryInterface(riid, object);
    space->Release();
    return status;
}

}  // namespace kxsim
