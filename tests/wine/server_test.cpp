// The library as a COM server: creation by ProgID, class objects, unloading, registration.
#include <gtest/gtest.h>

#include <map>

#include "com_support.h"
#include "platform/win32/procedure.h"

namespace kx::test {
namespace {

TEST(Server, EveryClassOfTheCatalogueIsCreatableByItsProgId)
{
    for (const auto& cls : catalogue::library().classes) {
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID((L"Kestrix." + widen(cls.name)).c_str(), &clsid), S_OK) << cls.name;
        EXPECT_TRUE(IsEqualCLSID(clsid, guid_of(cls.clsid))) << cls.name;
        ComPtr<IUnknown> object;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)), S_OK) << cls.name;
        ComPtr<IUnknown> dual, dispatch, errors;
        EXPECT_EQ(object->QueryInterface(guid_of(cls.iid), reinterpret_cast<void**>(dual.GetAddressOf())), S_OK);
        EXPECT_EQ(object.As(&dispatch), S_OK);
        ComPtr<ISupportErrorInfo> support;
        ASSERT_EQ(object.As(&support), S_OK);
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(guid_of(cls.iid)), S_OK);
        // Every face answers for the same object.
        ComPtr<IUnknown> identity_from_dual;
        dual.As(&identity_from_dual);
        EXPECT_EQ(identity_from_dual.Get(), object.Get());
    }
}

// The library loaded directly, as COM loads it, to reach its exports.
class Library : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t path[MAX_PATH] = {};
        LONG size = sizeof path;
        const std::wstring key = L"CLSID\\" + widen(catalogue::library().classes[0].clsid) + L"\\InprocServer32";
        ASSERT_EQ(RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), path, &size), ERROR_SUCCESS);
        module_ = LoadLibraryW(path);
        ASSERT_NE(module_, nullptr);
        get_class_object_ = win32::procedure<decltype(get_class_object_)>(module_, "DllGetClassObject");
        can_unload_now_ = win32::procedure<decltype(can_unload_now_)>(module_, "DllCanUnloadNow");
        register_ = win32::procedure<decltype(register_)>(module_, "DllRegisterServer");
        unregister_ = win32::procedure<decltype(unregister_)>(module_, "DllUnregisterServer");
        ASSERT_TRUE(get_class_object_ && can_unload_now_ && register_ && unregister_);
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
    }

    ComPtr<IClassFactory> factory(const char* cls)
    {
        ComPtr<IClassFactory> f;
        EXPECT_EQ(get_class_object_(guid_of(catalogue::find_class(cls)->clsid), IID_IClassFactory,
                                    reinterpret_cast<void**>(f.GetAddressOf())),
                  S_OK);
        return f;
    }

    HMODULE module_ = nullptr;
    HRESULT(STDAPICALLTYPE* get_class_object_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* can_unload_now_)() = nullptr;
    HRESULT(STDAPICALLTYPE* register_)() = nullptr;
    HRESULT(STDAPICALLTYPE* unregister_)() = nullptr;
};

TEST_F(Library, ClassObjectsRefuseAggregationAndUnknownClasses)
{
    ComPtr<IClassFactory> f = factory("getwebid");
    ASSERT_TRUE(f);
    ComPtr<IUnknown> outer = create("generatepassword");
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(f->CreateInstance(outer.Get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);

    const CLSID stranger = guid_of("{00000000-1111-2222-3333-444444444444}");
    EXPECT_EQ(get_class_object_(stranger, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(Library, CanUnloadOnlyWithoutInstancesAndLocks)
{
    ASSERT_EQ(can_unload_now_(), S_OK);
    ComPtr<IClassFactory> f = factory("getwebid");
    ComPtr<IDispatch> first, second;
    ASSERT_EQ(f->CreateInstance(nullptr, IID_PPV_ARGS(&first)), S_OK);
    ASSERT_EQ(f->CreateInstance(nullptr, IID_PPV_ARGS(&second)), S_OK);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(can_unload_now_(), S_FALSE);
    first.Reset();
    EXPECT_EQ(can_unload_now_(), S_FALSE);
    second.Reset();
    EXPECT_EQ(can_unload_now_(), S_OK);

    EXPECT_EQ(f->LockServer(TRUE), S_OK);
    EXPECT_EQ(f->LockServer(TRUE), S_OK);
    EXPECT_EQ(can_unload_now_(), S_FALSE);
    EXPECT_EQ(f->LockServer(FALSE), S_OK);
    EXPECT_EQ(can_unload_now_(), S_FALSE);
    EXPECT_EQ(f->LockServer(FALSE), S_OK);
    EXPECT_EQ(can_unload_now_(), S_OK);
}

// Every key and value below a root, as "path" and "path\name=data".
void dump(HKEY key, const std::wstring& path, std::map<std::wstring, std::wstring>& out)
{
    out[path] = L"";
    wchar_t name[16384];
    BYTE data[65536];
    for (DWORD i = 0;; ++i) {
        DWORD name_size = 16384, data_size = sizeof data, type = 0;
        if (RegEnumValueW(key, i, name, &name_size, nullptr, &type, data, &data_size) != ERROR_SUCCESS)
            break;
        out[path + L"|" + name] = std::to_wstring(type) + L":" +
                                  std::wstring(reinterpret_cast<wchar_t*>(data), data_size / sizeof(wchar_t));
    }
    for (DWORD i = 0;; ++i) {
        DWORD name_size = 16384;
        if (RegEnumKeyExW(key, i, name, &name_size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) == ERROR_SUCCESS) {
            dump(child, path + L"\\" + name, out);
            RegCloseKey(child);
        }
    }
}

std::map<std::wstring, std::wstring> classes_registry()
{
    std::map<std::wstring, std::wstring> out;
    for (auto [root, name] : {std::pair{HKEY_LOCAL_MACHINE, L"HKLM"}, std::pair{HKEY_CURRENT_USER, L"HKCU"}}) {
        HKEY classes = nullptr;
        if (RegOpenKeyExW(root, L"Software\\Classes", 0, KEY_READ, &classes) == ERROR_SUCCESS) {
            dump(classes, name, out);
            RegCloseKey(classes);
        }
    }
    return out;
}

std::wstring default_value(const std::wstring& key, const wchar_t* value = nullptr)
{
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return data;
}

TEST_F(Library, UnregisteringRemovesExactlyWhatRegisteringWrote)
{
    ASSERT_EQ(unregister_(), S_OK);
    const auto before = classes_registry();
    for (const auto& cls : catalogue::library().classes) {
        CLSID clsid{};
        EXPECT_TRUE(FAILED(CLSIDFromProgID((L"Kestrix." + widen(cls.name)).c_str(), &clsid))) << cls.name;
    }

    ASSERT_EQ(register_(), S_OK);
    const auto registered = classes_registry();
    ASSERT_EQ(register_(), S_OK);
    EXPECT_TRUE(classes_registry() == registered) << "registering twice is not registering once";
    const std::wstring libid = widen(catalogue::library().libid);
    for (const auto& cls : catalogue::library().classes) {
        EXPECT_EQ(default_value(L"CLSID\\" + widen(cls.clsid) + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
        EXPECT_EQ(default_value(L"Interface\\" + widen(cls.iid) + L"\\TypeLib"), libid);
        EXPECT_EQ(default_value(L"Interface\\" + widen(cls.iid) + L"\\ProxyStubClsid32"),
                  L"{00020424-0000-0000-C000-000000000046}");
    }
    EXPECT_NE(default_value(L"TypeLib\\" + libid + (sizeof(void*) == 8 ? L"\\1.0\\0\\win64" : L"\\1.0\\0\\win32")),
              L"<missing>");

    ASSERT_EQ(unregister_(), S_OK);
    ASSERT_EQ(unregister_(), S_OK);  // twice: nothing more goes, nothing fails
    const auto after = classes_registry();
    for (const auto& [key, value] : after)
        EXPECT_TRUE(before.count(key)) << "left behind: " << std::string(key.begin(), key.end());
    EXPECT_TRUE(before == after);

    ASSERT_EQ(register_(), S_OK);  // as the other tests find it
}

// A registration that fails half-way takes back what it wrote. Classes are redirected to a key
// of the test's own whose "CLSID" is volatile, where no lasting key can be made: the type
// library registers, the first class does not.
TEST_F(Library, ARegistrationThatFailsHalfWayTakesBackWhatItWrote)
{
    const wchar_t* place = L"Software\\KxRegistrationTest";
    RegDeleteTreeW(HKEY_CURRENT_USER, place);
    HKEY root = nullptr, key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, place, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr),
              ERROR_SUCCESS);
    for (const wchar_t* name : {L"TypeLib", L"Interface"}) {  // as every machine has them
        RegCreateKeyExW(root, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegCloseKey(key);
    }
    RegCreateKeyExW(root, L"CLSID", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegCloseKey(key);
    std::map<std::wstring, std::wstring> before, during, after;
    dump(root, L"", before);

    ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, root), ERROR_SUCCESS);
    const HRESULT status = register_();
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    dump(root, L"", after);
    EXPECT_TRUE(FAILED(status));
    EXPECT_TRUE(before == after) << after.size() - before.size() << " keys and values left behind";
    RegCloseKey(root);
    RegDeleteTreeW(HKEY_CURRENT_USER, place);
    RegDeleteKeyW(HKEY_CURRENT_USER, place);
    EXPECT_EQ(CLSIDFromProgID(L"Kestrix.getwebid", nullptr), E_INVALIDARG);  // the real registration stands
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(L"Kestrix.getwebid", &clsid), S_OK);
}

}  // namespace
}  // namespace kx::test
