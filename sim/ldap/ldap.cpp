// The stand-in for the LDAP: directory provider, over Wine's wldap32 (which talks to a real
// server). Wine's own provider reads the server's root entry whatever entry was bound, does
// not notice a missing entry and cannot be called late bound; this one binds
// LDAP://host[:port][/dn] anonymously (port 389 when none is given), opens objects with a
// simple bind through the namespace's OpenDSObject, fails as ADSI does when the entry does
// not exist or cannot be read, and reads the bound entry itself: GetInfo, Get (a string for
// one value, an array from 0 for several), properties by name, early and late bound. As ADSI
// does, it reads the server's schema and delivers the values of binary syntax (octet strings,
// certificates, pictures) as arrays of bytes. Statuses are those of ADSI's provider: the LDAP
// result mapped to its Win32 error.
#include <windows.h>
#include <winldap.h>
#include <winber.h>
#include <iads.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/text.h"
#include "object.h"
#include "platform/com/com.h"
#include "provider.h"
#include "registration.h"

namespace {

using kx::String;
using kx::Variant;
using kxsim::Arguments;
using kxsim::SimError;

constexpr HRESULT kBadPath = static_cast<HRESULT>(0x80005000);
const wchar_t kSource[] = L"LDAP";

SimError bad_path() { return {kBadPath, L"An invalid directory pathname was passed."}; }

// ADSI's statuses for the LDAP results a caller meets ("Win32 Error Codes for ADSI"); any
// other as wldap32 maps it.
DWORD win32_error_of(ULONG result)
{
    switch (result) {
    case LDAP_INVALID_CREDENTIALS: return ERROR_LOGON_FAILURE;
    case LDAP_SERVER_DOWN: return ERROR_DS_SERVER_DOWN;
    case LDAP_CONNECT_ERROR: return ERROR_CONNECTION_REFUSED;
    case LDAP_TIMEOUT: return ERROR_TIMEOUT;
    case LDAP_NO_SUCH_OBJECT: return ERROR_DS_NO_SUCH_OBJECT;
    case LDAP_INSUFFICIENT_RIGHTS: return ERROR_DS_INSUFF_ACCESS_RIGHTS;
    case LDAP_UNWILLING_TO_PERFORM: return ERROR_DS_UNWILLING_TO_PERFORM;
    case LDAP_INAPPROPRIATE_AUTH: return ERROR_DS_INAPPROPRIATE_AUTH;
    case LDAP_INVALID_DN_SYNTAX: return ERROR_DS_INVALID_DN_SYNTAX;
    default: return LdapMapErrorToWin32(result);
    }
}

SimError ldap_failure(ULONG result)
{
    const DWORD error = win32_error_of(result);
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    String message = text ? text : L"The directory service reported an error.";
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
        message.pop_back();
    return {HRESULT_FROM_WIN32(error), message};
}

// LDAP://host[:port][/dn]
struct Location
{
    String host;
    ULONG port = LDAP_PORT;
    String dn;
};

Location locate(const String& path)
{
    const String scheme = L"LDAP://";
    if (path.size() < scheme.size() || !kx::equal_ignoring_case(path.substr(0, scheme.size()), scheme))
        throw bad_path();
    const String rest = path.substr(scheme.size());
    const std::size_t slash = rest.find(L'/');
    Location where;
    where.host = rest.substr(0, slash);
    if (slash != String::npos)
        where.dn = rest.substr(slash + 1);
    const std::size_t colon = where.host.find(L':');
    if (colon != String::npos) {
        const String port = where.host.substr(colon + 1);
        where.host.erase(colon);
        if (port.empty() || port.size() > 5 || port.find_first_not_of(L"0123456789") != String::npos ||
            std::stoul(port) > 65535)
            throw bad_path();
        where.port = std::stoul(port);
    }
    if (where.host.empty())
        throw bad_path();
    return where;
}

// Each value a text, or bytes where the attribute's syntax is binary.
using Attributes = std::vector<std::pair<String, std::vector<Variant>>>;

// The syntaxes whose values are bytes, not text: octet string, binary, certificate,
// certificate list and pair, fax, JPEG, audio.
bool binary_syntax(const String& oid)
{
    static const wchar_t* const kBinary[] = {L"1.3.6.1.4.1.1466.115.121.1.40", L"1.3.6.1.4.1.1466.115.121.1.5",
                                             L"1.3.6.1.4.1.1466.115.121.1.8",  L"1.3.6.1.4.1.1466.115.121.1.9",
                                             L"1.3.6.1.4.1.1466.115.121.1.10", L"1.3.6.1.4.1.1466.115.121.1.23",
                                             L"1.3.6.1.4.1.1466.115.121.1.28", L"1.3.6.1.4.1.1466.115.121.1.4"};
    for (const wchar_t* binary : kBinary)
        if (oid == binary)
            return true;
    return false;
}

String folded(String name)
{
    for (wchar_t& c : name)
        c = kx::fold_case(c);
    return name;
}

// One attribute type of the schema: its syntax, or the type it takes its syntax from.
struct AttributeType
{
    String syntax, super;
};

// The word after a keyword of a definition ("( 2.5.4.35 NAME 'userPassword' SYNTAX ... )");
// names in a list "( 'a' 'b' )" all count.
std::vector<String> words_after(const String& definition, const String& keyword)
{
    std::vector<String> words;
    const String key = L" " + keyword + L" ";
    const std::size_t at = definition.find(key);
    if (at == String::npos)
        return words;
    std::size_t i = at + key.size();
    const bool list = i < definition.size() && definition[i] == L'(';
    if (list)
        ++i;
    while (i < definition.size()) {
        while (i < definition.size() && definition[i] == L' ')
            ++i;
        if (i >= definition.size() || definition[i] == L')')
            break;
        std::size_t end = definition.find_first_of(L" )", i);
        String word = definition.substr(i, end == String::npos ? String::npos : end - i);
        i = end == String::npos ? definition.size() : end;
        if (word.size() >= 2 && word.front() == L'\'' && word.back() == L'\'')
            word = word.substr(1, word.size() - 2);
        words.push_back(word.substr(0, word.find(L'{')));  // a length bound is no part of the syntax
        if (!list)
            break;
    }
    return words;
}

// A request the server would not read (OpenLDAP stops reading one of more than 256 KB) would
// block its sender for good: such a request is refused before it is sent, as a server that
// drops the connection refuses it.
constexpr std::size_t kLongestRequest = 80000;  // characters, at most 3 bytes each on the wire

void check_size(std::size_t characters)
{
    if (characters > kLongestRequest)
        throw ldap_failure(LDAP_SERVER_DOWN);
}

// One bound connection to a server.
class Session
{
public:
    // With `secure`, the credentials go through a negotiated (SASL) bind, as ADSI's
    // ADS_SECURE_AUTHENTICATION asks; a server that offers no such mechanism refuses it.
    Session(const Location& where, const String* user, const String* password, bool secure)
    {
        check_size((user ? user->size() : 0) + (password ? password->size() : 0) + where.dn.size());
        ld_ = ldap_initW(const_cast<PWCHAR>(where.host.c_str()), where.port);
        if (!ld_)
            throw ldap_failure(LDAP_SERVER_DOWN);
        ULONG version = LDAP_VERSION3;
        ldap_set_optionW(ld_, LDAP_OPT_PROTOCOL_VERSION, &version);
        l_timeval timeout{5, 0};
        ULONG result = ldap_connect(ld_, &timeout);
        if (result == LDAP_SUCCESS && secure) {
            SEC_WINNT_AUTH_IDENTITY_W identity{};
            identity.User = reinterpret_cast<unsigned short*>(const_cast<PWCHAR>(user ? user->c_str() : L""));
            identity.UserLength = user ? static_cast<unsigned long>(user->size()) : 0;
            identity.Password = reinterpret_cast<unsigned short*>(const_cast<PWCHAR>(password ? password->c_str() : L""));
            identity.PasswordLength = password ? static_cast<unsigned long>(password->size()) : 0;
            identity.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;
            result = ldap_bind_sW(ld_, nullptr, reinterpret_cast<PWCHAR>(&identity), LDAP_AUTH_NEGOTIATE);
        } else if (result == LDAP_SUCCESS)
            result = ldap_simple_bind_sW(ld_, user ? const_cast<PWCHAR>(user->c_str()) : nullptr,
                                         password ? const_cast<PWCHAR>(password->c_str()) : nullptr);
        if (result != LDAP_SUCCESS) {
            ldap_unbind(ld_);
            throw ldap_failure(result);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() { ldap_unbind(ld_); }

    // The entry's attributes that these credentials may read; fails when there is no such
    // entry, or it cannot be read.
    Attributes read(const String& dn)
    {
        load_schema();
        check_size(dn.size());
        ULONG result = LDAP_SUCCESS;
        const Message found = search(dn, nullptr, result);
        if (result != LDAP_SUCCESS)
            throw ldap_failure(result);
        LDAPMessage* entry = ldap_first_entry(ld_, found.get());
        if (!entry)
            throw ldap_failure(LDAP_NO_SUCH_OBJECT);
        Attributes attributes;
        BerElement* walk = nullptr;
        for (PWCHAR name = ldap_first_attributeW(ld_, entry, &walk); name; name = ldap_next_attributeW(ld_, entry, walk)) {
            std::vector<Variant> values;
            if (binary(name)) {
                if (berval** list = ldap_get_values_lenW(ld_, entry, name)) {
                    for (berval** v = list; *v; ++v)
                        values.emplace_back(Variant::Bytes((*v)->bv_val, (*v)->bv_val + (*v)->bv_len));
                    ldap_value_free_len(list);
                }
            } else if (PWCHAR* list = ldap_get_valuesW(ld_, entry, name)) {
                for (PWCHAR* v = list; *v; ++v)
                    values.emplace_back(String(*v));
                ldap_value_freeW(list);
            }
            attributes.emplace_back(name, std::move(values));
            ldap_memfreeW(name);
        }
        if (walk)
            ber_free(walk, 0);
        return attributes;
    }

private:
    using Message = std::unique_ptr<LDAPMessage, ULONG (*)(LDAPMessage*)>;

    // The entry itself (a search of its base), with these attributes (null: all there are).
    Message search(const String& dn, PWCHAR* attributes, ULONG& result)
    {
        LDAPMessage* found = nullptr;
        result = ldap_search_sW(ld_, const_cast<PWCHAR>(dn.c_str()), LDAP_SCOPE_BASE,
                                const_cast<PWCHAR>(L"(objectClass=*)"), attributes, 0, &found);
        return Message(found, ldap_msgfree);
    }

    // The values of one attribute of an entry; none when it cannot be read.
    std::vector<String> values_at(const String& dn, const wchar_t* attribute)
    {
        std::vector<String> values;
        PWCHAR wanted[] = {const_cast<PWCHAR>(attribute), nullptr};
        ULONG result = LDAP_SUCCESS;
        const Message found = search(dn, wanted, result);
        LDAPMessage* entry = result == LDAP_SUCCESS ? ldap_first_entry(ld_, found.get()) : nullptr;
        if (PWCHAR* list = entry ? ldap_get_valuesW(ld_, entry, const_cast<PWCHAR>(attribute)) : nullptr) {
            for (PWCHAR* v = list; *v; ++v)
                values.emplace_back(*v);
            ldap_value_freeW(list);
        }
        return values;
    }

    // The server's attribute types, read once: a schema that cannot be read leaves every value
    // a text.
    void load_schema()
    {
        if (schema_loaded_)
            return;
        schema_loaded_ = true;
        const std::vector<String> subschema = values_at(L"", L"subschemaSubentry");
        if (subschema.empty())
            return;
        for (const String& definition : values_at(subschema[0], L"attributeTypes")) {
            const std::vector<String> syntax = words_after(definition, L"SYNTAX"), super = words_after(definition, L"SUP");
            for (const String& name : words_after(definition, L"NAME"))
                types_[folded(name)] = {syntax.empty() ? String() : syntax[0], super.empty() ? String() : super[0]};
        }
    }

    bool binary(const String& attribute) const
    {
        String name = folded(attribute);
        for (int depth = 0; depth < 16; ++depth) {
            const auto type = types_.find(name);
            if (type == types_.end())
                return false;
            if (!type->second.syntax.empty())
                return binary_syntax(type->second.syntax);
            name = folded(type->second.super);
        }
        return false;
    }

    LDAP* ld_ = nullptr;
    bool schema_loaded_ = false;
    std::map<String, AttributeType> types_;  // by name, its case folded
};

// Members that every object has; other names are properties.
enum Member : DISPID { kName = 1, kClass, kADsPath, kParent, kSchema, kGetInfo, kGet, kGetEx, kOpenDSObject };
const std::pair<const wchar_t*, DISPID> kMembers[] = {
    {L"Name", kName}, {L"Class", kClass},     {L"ADsPath", kADsPath}, {L"Parent", kParent},
    {L"Schema", kSchema}, {L"GetInfo", kGetInfo}, {L"Get", kGet}, {L"GetEx", kGetEx}, {L"OpenDSObject", kOpenDSObject},
};

// A bound entry, or (with no session) the namespace object "LDAP:".
class LdapObject final : public IADs, public IADsOpenDSObject, public ISupportErrorInfo, private kxsim::Counted
{
public:
    LdapObject() = default;
    LdapObject(String path, Location where, std::shared_ptr<Session> session, Attributes attributes)
        : path_(std::move(path)), where_(std::move(where)), session_(std::move(session)),
          attributes_(std::move(attributes))
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IADs))
            *object = static_cast<IADs*>(this);
        else if (IsEqualIID(riid, IID_IADsOpenDSObject) && !session_)
            *object = static_cast<IADsOpenDSObject*>(this);
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

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return kxsim::no_type_information(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        return properties_.ids_of(names, count, ids, [](const String& name) { return kxsim::member_in(kMembers, name); });
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override
    {
        return kxsim::invoke_call(kSource, params, result, exception,
                                  [&](const Arguments& args, VARIANT& out) { dispatch(id, flags, args, out); });
    }

    // IADs
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override { return kxsim::give_text(out, name()); }
    HRESULT STDMETHODCALLTYPE get_Class(BSTR* out) override { return kxsim::give_text(out, class_name()); }
    HRESULT STDMETHODCALLTYPE get_GUID(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* out) override { return kxsim::give_text(out, session_ ? path_ : L"LDAP:"); }
    HRESULT STDMETHODCALLTYPE get_Parent(BSTR* out) override { return kxsim::give_text(out, parent()); }
    HRESULT STDMETHODCALLTYPE get_Schema(BSTR* out) override { return kxsim::give_text(out, String()); }
    HRESULT STDMETHODCALLTYPE GetInfo() override { return kxsim::guarded(kSource, [&] { get_info(); }); }
    HRESULT STDMETHODCALLTYPE SetInfo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Get(BSTR name, VARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        VariantInit(value);
        return kxsim::guarded(kSource, [&] { kxsim::give(*value, read(kx::com::to_string(name), false)); });
    }
    HRESULT STDMETHODCALLTYPE Put(BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEx(BSTR name, VARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        VariantInit(value);
        return kxsim::guarded(kSource, [&] { kxsim::give(*value, read(kx::com::to_string(name), true)); });
    }
    HRESULT STDMETHODCALLTYPE PutEx(LONG, BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT, LONG) override { return GetInfo(); }

    // IADsOpenDSObject, on the namespace object
    HRESULT STDMETHODCALLTYPE OpenDSObject(BSTR path, BSTR user, BSTR password, LONG flags, IDispatch** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        return kxsim::guarded(kSource, [&] { *object = open(kx::com::to_string(path), user, password, flags); });
    }

private:
    String name() const
    {
        if (!session_)
            return L"LDAP:";
        return where_.dn.empty() ? where_.host : where_.dn.substr(0, where_.dn.find(L','));
    }
    String class_name() const
    {
        if (!session_)
            return L"Namespace";
        for (const auto& [attribute, values] : attributes_)
            if (kx::equal_ignoring_case(attribute, L"objectClass") && !values.empty() && values.back().holds<String>())
                return values.back().as<String>();
        return L"top";
    }
    String parent() const
    {
        if (!session_)
            return String();
        const std::size_t comma = where_.dn.find(L',');
        return path_.substr(0, path_.size() - where_.dn.size()) + (comma == String::npos ? String() : where_.dn.substr(comma + 1));
    }

    void get_info()
    {
        if (session_)
            attributes_ = session_->read(where_.dn);
    }

    // One value as a string, several as an array from 0 (always an array for GetEx).
    Variant read(const String& attribute, bool as_list) const
    {
        for (const auto& [name, values] : attributes_)
            if (kx::equal_ignoring_case(name, attribute) && !values.empty()) {
                if (values.size() == 1 && !as_list)
                    return Variant(values[0]);
                return Variant(Variant::List(values.begin(), values.end()));
            }
        throw SimError{static_cast<HRESULT>(0x8000500D), L"The directory property cannot be found in the cache."};
    }

    // LDAP: is the namespace itself; anything else binds: with no user anonymously, else a
    // simple bind with the name and password as they are (a negotiated one when the flags ask).
    IDispatch* open(const String& path, BSTR user, BSTR password, LONG flags)
    {
        if (kx::equal_ignoring_case(path, L"LDAP:") || kx::equal_ignoring_case(path, L"LDAP://")) {
            AddRef();
            return static_cast<IADs*>(this);
        }
        const Location where = locate(path);
        const String name = kx::com::to_string(user), secret = kx::com::to_string(password);
        auto session = std::make_shared<Session>(where, user ? &name : nullptr, user ? &secret : nullptr,
                                                 (flags & ADS_SECURE_AUTHENTICATION) != 0);
        Attributes attributes = session->read(where.dn);  // the entry must be there, and readable
        return static_cast<IADs*>(new LdapObject(path, where, std::move(session), std::move(attributes)));
    }

    void dispatch(DISPID id, WORD flags, const Arguments& args, VARIANT& out)
    {
        if (const String* property = properties_.name_of(id)) {
            if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
                throw SimError{E_NOTIMPL, L"Not implemented."};
            return kxsim::give(out, read(*property, false));
        }
        switch (id) {
        case kName: return kxsim::give(out, Variant(name()));
        case kClass: return kxsim::give(out, Variant(class_name()));
        case kADsPath: return kxsim::give(out, Variant(session_ ? path_ : String(L"LDAP:")));
        case kParent: return kxsim::give(out, Variant(parent()));
        case kSchema: return kxsim::give(out, Variant(String()));
        case kGetInfo: return get_info();
        case kGet: args.expect(1); return kxsim::give(out, read(args.text(0), false));
        case kGetEx: args.expect(1); return kxsim::give(out, read(args.text(0), true));
        case kOpenDSObject: {
            if (session_)
                throw SimError{DISP_E_MEMBERNOTFOUND, L"Member not found."};
            args.expect(4);
            kx::com::Bstr user(args.text(1)), password(args.text(2));
            const Variant flags = args.value(3);
            const LONG bits = flags.holds<int32_t>() ? flags.as<int32_t>() : flags.holds<int16_t>() ? flags.as<int16_t>() : 0;
            return kxsim::give(out, open(args.text(0), user.get(), password.get(), bits), VT_DISPATCH);
        }
        default: throw SimError{DISP_E_MEMBERNOTFOUND, L"Member not found."};
        }
    }

    String path_;
    Location where_;
    std::shared_ptr<Session> session_;
    Attributes attributes_;
    kxsim::PropertyIds properties_;
};

}  // namespace

// The namespace "LDAP:", which also parses "LDAP:" display names for a script's GetObject.
// Unregistered, it gives the namespace back to Wine's own provider.
kxsim::Provider& kxsim::module_provider()
{
    // {5E8A3C1F-2D4B-4A6E-9F70-8B1C2D3E4F50}
    static constexpr CLSID kNamespaceClsid = {0x5E8A3C1F, 0x2D4B, 0x4A6E, {0x9F, 0x70, 0x8B, 0x1C, 0x2D, 0x3E, 0x4F, 0x50}};
    const auto make_namespace = [](REFIID riid, void** object) {
        auto* space = new (std::nothrow) LdapObject();
        if (!space)
            return E_OUTOFMEMORY;
        const HRESULT status = space->QueryInterface(riid, object);
        space->Release();
        return status;
    };
    const auto open = [make_namespace](const wchar_t* name, IDispatch** object) {
        kx::com::ComPtr<IADsOpenDSObject> space;
        HRESULT status = make_namespace(IID_IADsOpenDSObject, reinterpret_cast<void**>(space.GetAddressOf()));
        kx::com::Bstr path(name);
        if (SUCCEEDED(status))
            status = space->OpenDSObject(path.get(), nullptr, nullptr, 0, object);
        return status;
    };
    static Provider provider(L"LDAP", kNamespaceClsid, L"Simulated LDAP namespace", make_namespace, open);
    return provider;
}
