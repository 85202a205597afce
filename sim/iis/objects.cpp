// The objects of the simulated provider: configuration nodes, their enumerators and the
// namespace object.
#include <iads.h>
#include <olectl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "core/convert.h"
#include "platform/com/com.h"
#include "provider.h"
#include "store_file.h"

namespace kxsim {

std::atomic<long> live_objects{0};

namespace {

using kx::com::Bstr;
using kx::com::VariantHolder;

constexpr HRESULT kPathNotFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
constexpr HRESULT kAlreadyExists = HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
constexpr HRESULT kPropertyNotFound = static_cast<HRESULT>(0x8000500D);
constexpr HRESULT kHostUnavailable = HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);

const wchar_t kPathNotFoundText[] = L"The system cannot find the path specified.";

struct SimError
{
    HRESULT status;
    String description;
};

[[noreturn]] void path_not_found() { throw SimError{kPathNotFound, kPathNotFoundText}; }

// Properties that hold a list of strings: a single string written to one becomes a list.
bool multi_valued(const String& name)
{
    for (const wchar_t* known : {L"ServerBindings", L"SecureBindings", L"ScriptMaps", L"HttpCustomHeaders",
                                 L"HttpErrors", L"MimeMap", L"IPSecurity"})
        if (same_name(name, known))
            return true;
    return false;
}

bool is_site_class(const String& cls) { return cls == L"IIsWebServer" || cls == L"IIsFtpServer"; }

// A written value as the store keeps it.
Variant stored_value(const String& name, const Variant* existing, const VARIANT& written)
{
    Variant value = kx::com::to_variant(written);
    if (value.holds<Variant::List>()) {
        Variant::List strings;
        for (const Variant& item : value.as<Variant::List>())
            strings.emplace_back(item.holds<String>() ? item.as<String>() : String());
        return Variant(std::move(strings));
    }
    if (value.holds<String>() && (multi_valued(name) || (existing && existing->holds<Variant::List>())))
        return Variant(Variant::List{value});
    if (value.holds<double>())
        return Variant(static_cast<int32_t>(value.as<double>()));
    if (value.holds<kx::Empty>() || value.holds<kx::Null>())
        return Variant(String());
    return value;
}

// Sets the thread's error information and answers the status, as COM reports a failure.
HRESULT report(HRESULT status, const String& description)
{
    kx::com::ComPtr<ICreateErrorInfo> created;
    if (SUCCEEDED(CreateErrorInfo(&created))) {
        created->SetDescription(const_cast<LPOLESTR>(description.c_str()));
        created->SetSource(const_cast<LPOLESTR>(L"IIS"));
        kx::com::ComPtr<IErrorInfo> info;
        if (SUCCEEDED(created.As(&info)))
            SetErrorInfo(0, info.Get());
    }
    return status;
}

// Runs a body that may fail, and reports its failure.
template <class Body>
HRESULT guarded(Body&& body)
{
    try {
        body();
        return S_OK;
    } catch (const SimError& e) {
        return report(e.status, e.description);
    } catch (const StoreError& e) {
        return report(e.status, e.description);
    } catch (const kx::Failure& f) {
        return report(f.status(), f.description());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// The reference count of one of the provider's objects, which counts as live while it exists.
class Counted
{
protected:
    Counted() { ++live_objects; }
    virtual ~Counted() { --live_objects; }

    ULONG add_reference() { return InterlockedIncrement(&references_); }
    ULONG release_reference()
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return left;
    }

private:
    LONG references_ = 1;
};

// What an object knows of its node.
struct NodeData
{
    String class_name;
    std::vector<String> path;  // names as stored, below the machine node
    std::vector<std::pair<String, Variant>> properties;
};

NodeData data_of(const Node& node, std::vector<String> path)
{
    return NodeData{node.class_name, std::move(path), node.properties};
}

class NodeObject;
IDispatch* make_object(const String& host, NodeData data, bool stored);

// Walks a snapshot of a container's children taken when the walk began.
class Children final : public IEnumVARIANT, private Counted
{
public:
    Children(String host, std::vector<NodeData> snapshot) : host_(std::move(host)), snapshot_(std::move(snapshot))
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
            V_DISPATCH(&out[n]) = make_object(host_, snapshot_[at_], true);
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
        auto* twin = new (std::nothrow) Children(host_, snapshot_);
        if (!twin)
            return E_OUTOFMEMORY;
        twin->at_ = at_;
        *copy = twin;
        return S_OK;
    }

private:
    String host_;
    std::vector<NodeData> snapshot_;
    std::size_t at_ = 0;
};

// Dispatch identifiers of the members that every node object has; other names are
// properties of the node, numbered from kFirstProperty as they are asked for.
enum Member : DISPID {
    kName = 1, kClass, kADsPath, kParent, kSchema, kGUID, kGetInfo, kSetInfo, kGet, kPut, kGetEx,
    kFilter, kGetObject, kCreate, kDelete, kStart, kStop, kAppDelete,
    kFirstProperty = 1000,
};

const std::pair<const wchar_t*, DISPID> kMembers[] = {
    {L"Name", kName}, {L"Class", kClass}, {L"ADsPath", kADsPath}, {L"Parent", kParent}, {L"Schema", kSchema},
    {L"GUID", kGUID}, {L"GetInfo", kGetInfo}, {L"SetInfo", kSetInfo}, {L"Get", kGet}, {L"Put", kPut},
    {L"GetEx", kGetEx}, {L"Filter", kFilter}, {L"GetObject", kGetObject}, {L"Create", kCreate},
    {L"Delete", kDelete}, {L"Start", kStart}, {L"Stop", kStop}, {L"AppDelete", kAppDelete},
    {L"_NewEnum", DISPID_NEWENUM},
};

String join(const std::vector<String>& parts, std::size_t count)
{
    String out;
    for (std::size_t i = 0; i < count; ++i)
        out += L"/" + parts[i];
    return out;
}

class NodeObject final : public IADs, public IADsContainer, public ISupportErrorInfo, private Counted
{
public:
    NodeObject(String host, NodeData data, bool stored)
        : host_(std::move(host)), data_(std::move(data)), stored_(stored)
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
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (!names || !ids || count == 0)
            return E_INVALIDARG;
        for (UINT i = 1; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        const String name = names[0] ? names[0] : L"";
        for (const auto& [member, id] : kMembers)
            if (same_name(name, member)) {
                ids[0] = id;
                return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
            }
        for (std::size_t i = 0; i < property_names_.size(); ++i)
            if (same_name(property_names_[i], name)) {
                ids[0] = static_cast<DISPID>(kFirstProperty + i);
                return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
            }
        property_names_.push_back(name);
        ids[0] = static_cast<DISPID>(kFirstProperty + property_names_.size() - 1);
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override
    {
        if (!params)
            return E_INVALIDARG;
        VariantHolder ignored;
        VARIANT* out = result ? result : &ignored.get();
        VariantInit(out);
        const HRESULT status = guarded([&] { dispatch(id, flags, *params, *out); });
        if (SUCCEEDED(status) || status == DISP_E_MEMBERNOTFOUND || status == DISP_E_BADPARAMCOUNT)
            return status;
        if (exception) {
            *exception = EXCEPINFO{};
            exception->scode = status;
            exception->bstrSource = SysAllocString(L"IIS");
            kx::com::ComPtr<IErrorInfo> info;
            if (GetErrorInfo(0, &info) == S_OK && info)
                info->GetDescription(&exception->bstrDescription);
        }
        return DISP_E_EXCEPTION;
    }

    // IADs
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override { return text(out, name()); }
    HRESULT STDMETHODCALLTYPE get_Class(BSTR* out) override { return text(out, data_.class_name); }
    HRESULT STDMETHODCALLTYPE get_GUID(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* out) override { return text(out, ads_path(data_.path.size())); }
    HRESULT STDMETHODCALLTYPE get_Parent(BSTR* out) override
    {
        return text(out, data_.path.empty() ? String(L"IIS:") : ads_path(data_.path.size() - 1));
    }
    HRESULT STDMETHODCALLTYPE get_Schema(BSTR* out) override
    {
        return text(out, L"IIS://" + host_ + L"/Schema/" + data_.class_name);
    }
    HRESULT STDMETHODCALLTYPE GetInfo() override { return guarded([&] { get_info(); }); }
    HRESULT STDMETHODCALLTYPE SetInfo() override { return guarded([&] { set_info(); }); }
    HRESULT STDMETHODCALLTYPE Get(BSTR name, VARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        VariantInit(value);
        return guarded([&] { kx::com::from_variant(read(kx::com::to_string(name)), *value); });
    }
    HRESULT STDMETHODCALLTYPE Put(BSTR name, VARIANT value) override
    {
        return guarded([&] { write(kx::com::to_string(name), value); });
    }
    HRESULT STDMETHODCALLTYPE GetEx(BSTR name, VARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        VariantInit(value);
        return guarded([&] {
            Variant v = read(kx::com::to_string(name));
            if (!v.holds<Variant::List>())
                v = Variant(Variant::List{v});
            kx::com::from_variant(v, *value);
        });
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
        return guarded([&] { *out = new_enum(); });
    }
    HRESULT STDMETHODCALLTYPE get_Filter(VARIANT* out) override
    {
        if (!out)
            return E_POINTER;
        VariantInit(out);
        return guarded([&] { kx::com::from_variant(Variant(Variant::List(filter_.begin(), filter_.end())), *out); });
    }
    HRESULT STDMETHODCALLTYPE put_Filter(VARIANT filter) override
    {
        return guarded([&] {
            const Variant v = kx::com::to_variant(filter);
            filter_.clear();
            if (v.holds<Variant::List>())
                for (const Variant& item : v.as<Variant::List>())
                    filter_.push_back(kx::to_text(item));
            else if (v.holds<String>())
                filter_.push_back(v.as<String>());
        });
    }
    HRESULT STDMETHODCALLTYPE get_Hints(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Hints(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetObject(BSTR cls, BSTR relative, IDispatch** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return guarded([&] { *out = get_object(kx::com::to_string(relative)); });
    }
    HRESULT STDMETHODCALLTYPE Create(BSTR cls, BSTR relative, IDispatch** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return guarded([&] { *out = create(kx::com::to_string(cls), kx::com::to_string(relative)); });
    }
    HRESULT STDMETHODCALLTYPE Delete(BSTR cls, BSTR relative) override
    {
        return guarded([&] { remove(kx::com::to_string(cls), kx::com::to_string(relative)); });
    }
    HRESULT STDMETHODCALLTYPE CopyHere(BSTR, BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MoveHere(BSTR, BSTR, IDispatch**) override { return E_NOTIMPL; }

private:
    static HRESULT text(BSTR* out, const String& value)
    {
        if (!out)
            return E_POINTER;
        *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    String name() const { return data_.path.empty() ? host_ : data_.path.back(); }
    String ads_path(std::size_t depth) const { return L"IIS://" + host_ + join(data_.path, depth); }

    Variant read(const String& name) const
    {
        for (const auto& [key, value] : pending_)
            if (same_name(key, name))
                return value;
        for (const auto& [key, value] : data_.properties)
            if (same_name(key, name))
                return value;
        throw SimError{kPropertyNotFound, L"The directory property cannot be found in the cache."};
    }

    void write(const String& name, const VARIANT& value)
    {
        const Variant* existing = nullptr;
        for (const auto& [key, v] : data_.properties)
            if (same_name(key, name))
                existing = &v;
        Variant stored = stored_value(name, existing, value);
        for (auto& [key, v] : pending_)
            if (same_name(key, name)) {
                v = std::move(stored);
                return;
            }
        pending_.emplace_back(name, std::move(stored));
    }

    void get_info()
    {
        Tree tree = StoreFile().load();
        const Node* node = tree.find(data_.path);
        if (!node)
            path_not_found();
        data_.properties = node->properties;
        pending_.clear();
    }

    void set_info()
    {
        StoreFile().update([&](Tree& tree) {
            if (data_.path.empty())
                path_not_found();
            Node* parent = tree.find(std::vector<String>(data_.path.begin(), data_.path.end() - 1));
            if (!parent)
                path_not_found();
            Node* node = parent->child(data_.path.back());
            if (!stored_) {
                if (node)
                    throw SimError{kAlreadyExists, L"Cannot create a file when that file already exists."};
                node = &parent->add(data_.class_name, data_.path.back());
            } else if (!node) {
                path_not_found();
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
        Tree tree = StoreFile().load();
        const Node* node = tree.find(data_.path);
        if (!node)
            path_not_found();
        std::vector<NodeData> snapshot;
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
        return new Children(host_, std::move(snapshot));
    }

    IDispatch* get_object(const String& relative)
    {
        Tree tree = StoreFile().load();
        std::vector<String> path = data_.path;
        for (const String& part : split_path(relative))
            path.push_back(part);
        const Node* node = tree.find(path);
        if (!node)
            path_not_found();
        for (std::size_t i = 0; i < path.size(); ++i)  // the names as stored
            path[i] = tree.find(std::vector<String>(path.begin(), path.begin() + i + 1))->name;
        return make_object(host_, data_of(*node, path), true);
    }

    IDispatch* create(const String& cls, const String& relative)
    {
        Tree tree = StoreFile().load();
        const Node* node = tree.find(data_.path);
        if (!node)
            path_not_found();
        if (relative.empty() || relative.find(L'/') != String::npos)
            path_not_found();
        if (node->child(relative))
            throw SimError{kAlreadyExists, L"Cannot create a file when that file already exists."};
        std::vector<String> path = data_.path;
        path.push_back(relative);
        return make_object(host_, NodeData{cls, path, {}}, false);
    }

    void remove(const String& cls, const String& relative)
    {
        StoreFile().update([&](Tree& tree) {
            Node* node = tree.find(data_.path);
            const Node* child = node ? node->child(relative) : nullptr;
            if (!child || !same_name(child->class_name, cls))
                path_not_found();
            node->remove(relative);
        });
    }

    // Changes the stored node and this object's view of it alike.
    void change_stored(const std::function<void(Node&)>& change)
    {
        StoreFile().update([&](Tree& tree) {
            Node* node = tree.find(data_.path);
            if (!node || !stored_)
                path_not_found();
            change(*node);
            data_.properties = node->properties;
        });
    }

    void server_state(int32_t state)
    {
        if (!is_site_class(data_.class_name))
            throw SimError{DISP_E_MEMBERNOTFOUND, L"Member not found."};
        change_stored([&](Node& node) { node.set(L"ServerState", Variant(state)); });
    }

    void app_delete()
    {
        if (data_.class_name != L"IIsWebVirtualDir" && data_.class_name != L"IIsWebDirectory")
            throw SimError{DISP_E_MEMBERNOTFOUND, L"Member not found."};
        change_stored([&](Node& node) {
            auto& p = node.properties;
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

    // The late-bound face of every member.
    void dispatch(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& out)
    {
        const UINT count = params.cArgs;
        auto arg = [&](UINT i) -> const VARIANT& {  // in natural order
            const VARIANT* v = &params.rgvarg[count - 1 - i];
            while (V_VT(v) == (VT_BYREF | VT_VARIANT))
                v = V_VARIANTREF(v);
            return *v;
        };
        auto text_arg = [&](UINT i) { return kx::to_text(kx::com::to_variant(arg(i))); };
        auto want = [&](UINT n) {
            if (count != n)
                throw SimError{DISP_E_BADPARAMCOUNT, L"Invalid number of parameters."};
        };
        const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
        auto give_text = [&](const String& value) { kx::com::from_variant(Variant(value), out); };
        auto give_object = [&](IUnknown* object, VARTYPE type) {
            V_VT(&out) = type;
            V_UNKNOWN(&out) = object;
        };

        if (id >= kFirstProperty && static_cast<std::size_t>(id - kFirstProperty) < property_names_.size()) {
            const String& name = property_names_[id - kFirstProperty];
            if (put) {
                want(1);
                write(name, arg(0));
            } else if (count == 1) {
                // site.ServerBindings(0): one element of a list
                const Variant list = read(name);
                kx::com::from_variant(kx::element(list, static_cast<std::size_t>(kx::to_long(kx::com::to_variant(arg(0))))), out);
            } else {
                kx::com::from_variant(read(name), out);
            }
            return;
        }
        switch (id) {
        case kName: return give_text(name());
        case kClass: return give_text(data_.class_name);
        case kADsPath: return give_text(ads_path(data_.path.size()));
        case kParent: return give_text(data_.path.empty() ? String(L"IIS:") : ads_path(data_.path.size() - 1));
        case kSchema: return give_text(L"IIS://" + host_ + L"/Schema/" + data_.class_name);
        case kGetInfo: return get_info();
        case kSetInfo: return set_info();
        case kGet: want(1); return kx::com::from_variant(read(text_arg(0)), out);
        case kGetEx: {
            want(1);
            Variant v = read(text_arg(0));
            if (!v.holds<Variant::List>())
                v = Variant(Variant::List{v});
            return kx::com::from_variant(v, out);
        }
        case kPut: want(2); return write(text_arg(0), arg(1));
        case kFilter:
            if (put) {
                want(1);
                kx::com::check(put_Filter(arg(0)));
            } else {
                kx::com::check(get_Filter(&out));
            }
            return;
        case kGetObject: want(2); return give_object(get_object(text_arg(1)), VT_DISPATCH);
        case kCreate: want(2); return give_object(create(text_arg(0), text_arg(1)), VT_DISPATCH);
        case kDelete: want(2); return remove(text_arg(0), text_arg(1));
        case kStart: return server_state(2);
        case kStop: return server_state(4);
        case kAppDelete: return app_delete();
        case DISPID_NEWENUM: return give_object(new_enum(), VT_UNKNOWN);
        default: throw SimError{DISP_E_MEMBERNOTFOUND, L"Member not found."};
        }
    }

    String host_;
    NodeData data_;
    bool stored_;
    std::vector<std::pair<String, Variant>> pending_;
    std::vector<String> filter_;
    std::vector<String> property_names_;
};

IDispatch* make_object(const String& host, NodeData data, bool stored)
{
    return static_cast<IADs*>(new NodeObject(host, std::move(data), stored));
}

bool this_machine(const String& host)
{
    if (same_name(host, L"localhost") || host == L"127.0.0.1")
        return true;
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) && same_name(host, String(name, size));
}

IDispatch* open(const String& path)
{
    const String scheme = L"IIS://";
    if (path.size() < scheme.size() || !same_name(path.substr(0, scheme.size()), scheme))
        throw SimError{static_cast<HRESULT>(0x80005000), L"An invalid directory pathname was passed."};
    const String rest = path.substr(scheme.size());
    const String host = rest.substr(0, rest.find(L'/'));
    if (!this_machine(host))
        throw SimError{kHostUnavailable, L"The RPC server is unavailable."};
    std::vector<String> wanted = split_path(rest.find(L'/') == String::npos ? String() : rest.substr(rest.find(L'/')));
    Tree tree = StoreFile().load();
    const Node* node = tree.find(wanted);
    if (!node)
        path_not_found();
    for (std::size_t i = 0; i < wanted.size(); ++i)
        wanted[i] = tree.find(std::vector<String>(wanted.begin(), wanted.begin() + i + 1))->name;
    return make_object(host, data_of(*node, wanted), true);
}

// The namespace object: opens objects by path, with or without credentials.
class Namespace final : public IADsOpenDSObject, private Counted
{
public:

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
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (count)
            *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (!names || !ids || count != 1 || !same_name(names[0] ? names[0] : L"", L"OpenDSObject"))
            return DISP_E_UNKNOWNNAME;
        ids[0] = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                     UINT*) override
    {
        if (id != 1 || !params || params->cArgs != 4)
            return DISP_E_MEMBERNOTFOUND;
        const String path = kx::to_text(kx::com::to_variant(params->rgvarg[3]));
        IDispatch* object = nullptr;
        const HRESULT status = open_path(path, &object);
        if (SUCCEEDED(status) && result) {
            V_VT(result) = VT_DISPATCH;
            V_DISPATCH(result) = object;
        } else if (object) {
            object->Release();
        }
        return status;
    }
    HRESULT STDMETHODCALLTYPE OpenDSObject(BSTR path, BSTR, BSTR, LONG, IDispatch** object) override
    {
        return open_path(kx::com::to_string(path), object);
    }

private:
};

}  // namespace

HRESULT open_path(const String& path, IDispatch** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    return guarded([&] { *object = open(path); });
}

HRESULT make_namespace(REFIID riid, void** object)
{
    auto* space = new (std::nothrow) Namespace();
    if (!space)
        return E_OUTOFMEMORY;
    const HRESULT status = space->QueryInterface(riid, object);
    space->Release();
    return status;
}

}  // namespace kxsim
