// The objects of a simulated provider: directory nodes, their enumerators, collections and the
// namespace object.
#include "directory.h"

#include <iads.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

#include "core/convert.h"
#include "core/text.h"
#include "platform/com/com.h"

namespace kxsim {
namespace {

using kx::com::VariantHolder;

IDispatch* make_object(Entry entry);

// Walks a container by index, reading the store at each step, or a list taken when the walk began.
class Children final : public IEnumVARIANT, private Counted
{
public:
    // The i-th object of the walk, or nothing past the last; read again at every step.
    using Source = std::function<std::optional<NodeData>(std::size_t)>;

    Children(const Rules& rules, String host, Source source)
        : rules_(rules), host_(std::move(host)), source_(std::move(source))
    {
    }
    // A walk of a list that does not change under it (a group's members, the namespace).
    static Children* of(const Rules& rules, String host, std::vector<NodeData> list)
    {
        auto shared = std::make_shared<const std::vector<NodeData>>(std::move(list));
        return new Children(rules, std::move(host), [shared](std::size_t i) -> std::optional<NodeData> {
            return i < shared->size() ? std::optional<NodeData>((*shared)[i]) : std::nullopt;
        });
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
        HRESULT status = S_OK;
        try {
            for (; n < count; ++n, ++at_) {
                std::optional<NodeData> child = source_(at_);
                if (!child)
                    break;
                VariantInit(&out[n]);
                V_VT(&out[n]) = VT_DISPATCH;
                V_DISPATCH(&out[n]) = make_object(Entry(rules_, host_, std::move(*child), true));
            }
        } catch (const SimError& e) {
            status = e.status;
        }
        if (fetched)
            *fetched = n;
        return FAILED(status) ? status : n == count ? S_OK : S_FALSE;
    }
    // S_FALSE when fewer than count were left to skip, as IEnumVARIANT::Skip answers.
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        try {
            for (; count > 0; --count, ++at_)
                if (!source_(at_))
                    return S_FALSE;
        } catch (const SimError& e) {
            return e.status;
        }
        return S_OK;
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
        auto* twin = new (std::nothrow) Children(rules_, host_, source_);
        if (!twin)
            return E_OUTOFMEMORY;
        twin->at_ = at_;
        *copy = twin;
        return S_OK;
    }

private:
    const Rules& rules_;
    String host_;
    Source source_;
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
        auto* walk = Children::of(rules_, host_, members_);
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

class NodeObject final : public IADs, public IADsContainer, public ISupportErrorInfo, private Counted
{
public:
    explicit NodeObject(Entry entry) : entry_(std::move(entry)), rules_(entry_.rules()) {}

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
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override { return give_text(out, entry_.name()); }
    HRESULT STDMETHODCALLTYPE get_Class(BSTR* out) override { return give_text(out, entry_.class_name()); }
    HRESULT STDMETHODCALLTYPE get_GUID(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* out) override { return give_text(out, entry_.ads_path()); }
    HRESULT STDMETHODCALLTYPE get_Parent(BSTR* out) override { return give_text(out, entry_.parent()); }
    HRESULT STDMETHODCALLTYPE get_Schema(BSTR* out) override { return give_text(out, entry_.schema()); }
    HRESULT STDMETHODCALLTYPE GetInfo() override { return guarded(rules_.scheme(), [&] { entry_.get_info(); }); }
    HRESULT STDMETHODCALLTYPE SetInfo() override { return guarded(rules_.scheme(), [&] { entry_.set_info(); }); }
    HRESULT STDMETHODCALLTYPE Get(BSTR name, VARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        VariantInit(value);
        return guarded(rules_.scheme(), [&] { give(*value, entry_.read(kx::com::to_string(name))); });
    }
    HRESULT STDMETHODCALLTYPE Put(BSTR name, VARIANT value) override
    {
        return guarded(rules_.scheme(), [&] { entry_.write(kx::com::to_string(name), kx::com::to_variant(value)); });
    }
    HRESULT STDMETHODCALLTYPE GetEx(BSTR name, VARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        VariantInit(value);
        return guarded(rules_.scheme(), [&] { give(*value, entry_.read_as_list(kx::com::to_string(name))); });
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
        return guarded(rules_.scheme(), [&] { give(*out, filter()); });
    }
    HRESULT STDMETHODCALLTYPE put_Filter(VARIANT filter) override
    {
        return guarded(rules_.scheme(), [&] { entry_.set_filter(kx::com::to_variant(filter)); });
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
        return guarded(rules_.scheme(), [&] {
            *out = make_object(entry_.create(kx::com::to_string(cls), kx::com::to_string(relative)));
        });
    }
    HRESULT STDMETHODCALLTYPE Delete(BSTR cls, BSTR relative) override
    {
        return guarded(rules_.scheme(), [&] { entry_.remove(kx::com::to_string(cls), kx::com::to_string(relative)); });
    }
    HRESULT STDMETHODCALLTYPE CopyHere(BSTR, BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MoveHere(BSTR, BSTR, IDispatch**) override { return E_NOTIMPL; }

private:
    Variant filter() const { return Variant(Variant::List(entry_.filter().begin(), entry_.filter().end())); }

    IUnknown* new_enum()
    {
        entry_.child_at(0);  // a container that has gone fails here, as the store's EnumKeys does
        return static_cast<IEnumVARIANT*>(
            new Children(rules_, entry_.host(), [entry = entry_, cursor = std::make_shared<Entry::Cursor>()](
                                                    std::size_t i) { return entry.child_at(i, cursor.get()); }));
    }

    IDispatch* get_object(const String& cls, const String& relative)
    {
        return make_object(Entry(rules_, entry_.host(), entry_.get_object(cls, relative), true));
    }

    void call(const String& method, const Arguments& args, VARIANT& out)
    {
        std::vector<Variant> values;
        for (UINT i = 0; i < args.count(); ++i)
            values.push_back(args.value(i));
        Reply reply = entry_.call(method, values);
        if (reply.is_collection)
            give(out, new Collection(rules_, entry_.host(), std::move(reply.members)), VT_DISPATCH);
        else
            give(out, reply.value);
    }

    // The late-bound face of every member.
    void dispatch(DISPID id, WORD flags, const Arguments& args, VARIANT& out)
    {
        const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
        if (const String* property = properties_.name_of(id)) {
            const String& name = *property;
            if (put) {
                args.expect(1);
                entry_.write(name, args.value(0));
            } else if (args.count() == 1) {
                // site.ServerBindings(0): one element of a list
                give(out, kx::element(entry_.read(name), static_cast<std::size_t>(kx::to_long(args.value(0)))));
            } else {
                give(out, entry_.read(name));
            }
            return;
        }
        const auto methods = rules_.methods();
        if (id >= kFirstMethod && static_cast<std::size_t>(id - kFirstMethod) < methods.size())
            return call(methods[id - kFirstMethod], args, out);
        switch (id) {
        case kName: return give(out, Variant(entry_.name()));
        case kClass: return give(out, Variant(entry_.class_name()));
        case kADsPath: return give(out, Variant(entry_.ads_path()));
        case kParent: return give(out, Variant(entry_.parent()));
        case kSchema: return give(out, Variant(entry_.schema()));
        case kGetInfo: return entry_.get_info();
        case kSetInfo: return entry_.set_info();
        case kGet: args.expect(1); return give(out, entry_.read(args.text(0)));
        case kGetEx: args.expect(1); return give(out, entry_.read_as_list(args.text(0)));
        case kPut: args.expect(2); return entry_.write(args.text(0), args.value(1));
        case kFilter:
            if (put) {
                args.expect(1);
                entry_.set_filter(args.value(0));
            } else {
                give(out, filter());
            }
            return;
        case kGetObject: args.expect(2); return give(out, get_object(args.text(0), args.text(1)), VT_DISPATCH);
        case kCreate: args.expect(2); return give(out, make_object(entry_.create(args.text(0), args.text(1))), VT_DISPATCH);
        case kDelete: args.expect(2); return entry_.remove(args.text(0), args.text(1));
        case DISPID_NEWENUM: return give(out, new_enum(), VT_UNKNOWN);
        default: throw member_not_found();
        }
    }

    Entry entry_;
    const Rules& rules_;
    PropertyIds properties_;
};

IDispatch* make_object(Entry entry) { return static_cast<IADs*>(new NodeObject(std::move(entry))); }

IDispatch* open(const Rules& rules, const String& path) { return make_object(open_entry(rules, path)); }

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
                const auto tree = rules_.store()->load();
                std::vector<NodeData> machine{NodeData{tree->root.class_name, {}, tree->root.properties}};
                return give(out, static_cast<IEnumVARIANT*>(Children::of(rules_, rules_.machine_name(), machine)),
                            VT_UNKNOWN);
            }
            default: throw member_not_found();
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

String system_computer_name()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? String(name, size) : String(L"LOCALHOST");
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
