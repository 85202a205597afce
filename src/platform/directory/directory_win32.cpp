#include "platform/directory/directory_win32.h"

#include <iads.h>
#include <adshlp.h>

#include "platform/com/com.h"

namespace kx::directory {
namespace {

using com::Bstr;
using com::check;
using com::ComPtr;
using com::VariantHolder;

std::unique_ptr<Object> wrap(IDispatch* object);

std::unique_ptr<Object> open_with(IADsOpenDSObject* opener, const String& path, const String& user,
                                  const String& password, int32_t flags)
{
    Bstr text(path), name(user), secret(password);
    ComPtr<IDispatch> object;
    check(opener->OpenDSObject(text.get(), name.get(), secret.get(), flags, &object), opener, IID_IADsOpenDSObject);
    return wrap(object.Get());
}

class AdsiChildren final : public Children
{
public:
    explicit AdsiChildren(ComPtr<IEnumVARIANT> walk) : walk_(std::move(walk)) {}

    std::unique_ptr<Object> next() override
    {
        ComPtr<IDispatch> child = com::next_object(walk_.Get());
        return child ? wrap(child.Get()) : nullptr;
    }

private:
    ComPtr<IEnumVARIANT> walk_;
};

class AdsiObject final : public Object
{
public:
    explicit AdsiObject(ComPtr<IADs> ads) : ads_(std::move(ads)) {}

    String name() override
    {
        Bstr text;
        check(ads_->get_Name(text.out()), ads_.Get(), IID_IADs);
        return com::to_string(text.get());
    }

    String class_name() override
    {
        Bstr text;
        check(ads_->get_Class(text.out()), ads_.Get(), IID_IADs);
        return com::to_string(text.get());
    }

    Variant property(const String& name) override { return com::get_property(ads_.Get(), name); }

    void set_property(const String& name, const Variant& value) override
    {
        com::put_property(ads_.Get(), name, value);
    }

    Variant get(const String& name) override
    {
        Bstr text(name);
        VariantHolder value;
        check(ads_->Get(text.get(), value.out()), ads_.Get(), IID_IADs);
        return com::to_variant(value.get());
    }

    void put(const String& name, const Variant& value) override
    {
        Bstr text(name);
        VariantHolder holder;
        com::from_variant(value, holder.get());
        check(ads_->Put(text.get(), holder.get()), ads_.Get(), IID_IADs);
    }

    void get_info() override { check(ads_->GetInfo(), ads_.Get(), IID_IADs); }
    void set_info() override { check(ads_->SetInfo(), ads_.Get(), IID_IADs); }

    std::unique_ptr<Children> children() override
    {
        ComPtr<IUnknown> owner;
        check(container()->get__NewEnum(&owner), container_.Get(), IID_IADsContainer);
        return std::make_unique<AdsiChildren>(com::enumerate(owner.Get()));
    }

    void set_filter(const std::vector<String>& classes) override
    {
        Variant::List list(classes.begin(), classes.end());
        VariantHolder filter;
        com::from_variant(Variant(std::move(list)), filter.get());
        check(container()->put_Filter(filter.get()), container_.Get(), IID_IADsContainer);
    }

    std::unique_ptr<Object> create(const String& class_name, const String& name) override
    {
        Bstr cls(class_name), relative(name);
        ComPtr<IDispatch> created;
        check(container()->Create(cls.get(), relative.get(), &created), container_.Get(), IID_IADsContainer);
        return wrap(created.Get());
    }

    void remove(const String& class_name, const String& name) override
    {
        Bstr cls(class_name), relative(name);
        check(container()->Delete(cls.get(), relative.get()), container_.Get(), IID_IADsContainer);
    }

    std::unique_ptr<Object> child(const String& class_name, const String& relative_name) override
    {
        Bstr cls(class_name), relative(relative_name);
        ComPtr<IDispatch> found;
        check(container()->GetObject(cls.get(), relative.get(), &found), container_.Get(), IID_IADsContainer);
        return wrap(found.Get());
    }

    Variant call(const String& method, const std::vector<Variant>& args) override
    {
        return com::call_method(ads_.Get(), method, args);
    }

    std::unique_ptr<Object> open_ds_object(const String& path, const String& user, const String& password,
                                           int32_t flags) override
    {
        ComPtr<IADsOpenDSObject> opener;
        check(ads_->QueryInterface(IID_IADsOpenDSObject, reinterpret_cast<void**>(opener.GetAddressOf())));
        return open_with(opener.Get(), path, user, password, flags);
    }

private:
    IADsContainer* container()
    {
        if (!container_)
            check(ads_->QueryInterface(IID_IADsContainer, reinterpret_cast<void**>(container_.GetAddressOf())));
        return container_.Get();
    }

    ComPtr<IADs> ads_;
    ComPtr<IADsContainer> container_;
};

std::unique_ptr<Object> wrap(IDispatch* object)
{
    if (!object)
        throw Failure(E_POINTER, L"The directory service returned no object");
    ComPtr<IADs> ads;
    check(object->QueryInterface(IID_IADs, reinterpret_cast<void**>(ads.GetAddressOf())));
    return std::make_unique<AdsiObject>(std::move(ads));
}

}  // namespace

std::unique_ptr<Object> AdsiDirectory::bind(const String& path)
{
    Bstr text(path);
    ComPtr<IDispatch> object;
    com::clear_error_info();
    const HRESULT status = ADsGetObject(text.get(), IID_IDispatch, reinterpret_cast<void**>(object.GetAddressOf()));
    if (FAILED(status))
        throw com::failure_from_thread(status);
    return wrap(object.Get());
}

std::unique_ptr<Object> AdsiDirectory::bind_with_credentials(const String& path, const String& user,
                                                             const String& password, int32_t flags)
{
    // The namespace object is the path's provider prefix, "LDAP:" for "LDAP://host/...".
    const String::size_type colon = path.find(L':');
    Bstr space(colon == String::npos ? path : path.substr(0, colon + 1));
    ComPtr<IADsOpenDSObject> opener;
    com::clear_error_info();
    const HRESULT status = ADsGetObject(space.get(), IID_IADsOpenDSObject, reinterpret_cast<void**>(opener.GetAddressOf()));
    if (FAILED(status))
        throw com::failure_from_thread(status);
    return open_with(opener.Get(), path, user, password, flags);
}

}  // namespace kx::directory
