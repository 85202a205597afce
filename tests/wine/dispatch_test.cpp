// Members of the registered library, called early and late bound.
#include <gtest/gtest.h>

#include <set>

#include "com_support.h"
#include "interfaces.h"
#include "simulated_server.h"

namespace kx::test {
namespace {

DISPID dispid(IDispatch* object, const wchar_t* name)
{
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << name;
    return id;
}

TEST(Dispatch, MembersAnswerToTheirDispatchIdentifiersByNameWithoutRegardToCase)
{
    ComPtr<IDispatch> permission = create("setdirectorypermission");
    ASSERT_TRUE(permission);
    EXPECT_EQ(dispid(permission.Get(), L"SetDirAcces"), 0x60030000);
    EXPECT_EQ(dispid(permission.Get(), L"SetAccess"), 0x60030001);
    EXPECT_EQ(dispid(permission.Get(), L"setdirectorypermission"), 0x60030002);
    EXPECT_EQ(dispid(permission.Get(), L"SETACCESS"), 0x60030001);

    ComPtr<IDispatch> crcs = create("updatemetabasewithcrcs");
    ASSERT_TRUE(crcs);
    EXPECT_EQ(dispid(crcs.Get(), L"updatemetabasewithcrcs"), 0x60030000);
    EXPECT_EQ(dispid(crcs.Get(), L"SQLEncodeString"), 0x60030001);

    DISPID id = 0;
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"getwebid")};
    EXPECT_EQ(crcs->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    Var result;
    EXPECT_EQ(crcs->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, nullptr, &result.v, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST(Dispatch, TypeInformationDescribesTheClasssInterface)
{
    ComPtr<IDispatch> object = create("getwebid");
    UINT count = 0;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(object->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, guid_of(catalogue::find_class("getwebid")->iid)));
    info->ReleaseTypeAttr(attributes);
}

std::wstring error_description()
{
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK)
        return L"<none>";
    BSTR text = nullptr, source = nullptr;
    info->GetDescription(&text);
    info->GetSource(&source);
    std::wstring s = std::wstring(source ? source : L"") + L": " + (text ? text : L"");
    SysFreeString(text);
    SysFreeString(source);
    return s;
}

// getwebid early and late bound, over whatever web server the prefix has.
struct BothPaths
{
    HRESULT early_status, late_status;
    long early_result, late_result;
    std::wstring early_error, late_error;
};

BothPaths getwebid_both_ways(const wchar_t* description)
{
    BothPaths out{};
    ComPtr<kestrix::_getwebid> early;
    EXPECT_EQ(create("getwebid").As(&early), S_OK);
    Text name(description);
    out.early_result = 99;
    out.early_status = early->getwebid(&name.bstr, &out.early_result);
    if (FAILED(out.early_status))
        out.early_error = error_description();

    ComPtr<IDispatch> late = create("getwebid");
    Text other(description);
    VARIANTARG arg;
    V_VT(&arg) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&arg) = &other.bstr;
    Var result;
    const Invoked invoked = invoke(late.Get(), L"getwebid", &arg, 1, &result.v);
    out.late_status = invoked.status == DISP_E_EXCEPTION ? invoked.scode : invoked.status;
    out.late_result = V_VT(&result.v) == VT_I4 ? V_I4(&result.v) : 0;
    if (invoked.status == DISP_E_EXCEPTION)
        out.late_error = invoked.source + L": " + invoked.description;
    return out;
}

class Binding : public kx::test::SimulatedServer
{
};

TEST_F(Binding, EarlyAndLateGiveTheSameResultAndTheSameFailure)
{
    store(machine_with({{L"4", L"Shop"}}));
    BothPaths found = getwebid_both_ways(L"Shop");
    EXPECT_EQ(found.early_status, S_OK);
    EXPECT_EQ(found.late_status, S_OK);
    EXPECT_EQ(found.early_result, 4);
    EXPECT_EQ(found.late_result, 4);

    DeleteFileW(path_.c_str());  // no web server store at all
    BothPaths failed = getwebid_both_ways(L"Shop");
    EXPECT_TRUE(FAILED(failed.early_status));
    EXPECT_EQ(failed.late_status, failed.early_status);
    EXPECT_EQ(failed.early_result, 0);
    EXPECT_EQ(failed.late_error, failed.early_error);
    EXPECT_NE(failed.early_error.find(L"Kestrix.getwebid: "), std::wstring::npos);
    EXPECT_GT(failed.early_error.size(), std::string("Kestrix.getwebid: ").size());
}

TEST(Dispatch, ArgumentsAreCountedAndTyped)
{
    ComPtr<IDispatch> permission = create("setdirectorypermission");
    Var result;
    EXPECT_EQ(invoke(permission.Get(), L"SetDirAcces", nullptr, 0, &result.v).status, DISP_E_BADPARAMCOUNT);

    // lInheritance is a long: a text that is no number is refused, and said which.
    Text folder(L"c:\\x"), user(L"u"), rights(L"R"), inheritance(L"three");
    VARIANTARG args[] = {text_arg(inheritance.bstr), text_arg(rights.bstr), text_arg(user.bstr),
                         text_arg(folder.bstr)};
    const Invoked invoked = invoke(permission.Get(), L"setdirectorypermission", args, 4, &result.v);
    EXPECT_EQ(invoked.status, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(invoked.bad_argument, 0u);
}

bool well_shaped(const std::wstring& p)
{
    const std::size_t n = p.size();
    if (n < 3 || n > 20 || p.find_first_of(L"<>\\`") != std::wstring::npos)
        return false;
    return iswlower(p[n - 1]) && iswupper(p[n - 2]);
}

TEST(GeneratePassword, BothPathsGiveFreshPasswordsOnEveryCall)
{
    ComPtr<kestrix::_generatepassword> early;
    ASSERT_EQ(create("generatepassword").As(&early), S_OK);
    ComPtr<IDispatch> late = create("generatepassword");
    std::set<std::wstring> seen;
    for (int i = 0; i < 2000; ++i) {
        Text password;
        ASSERT_EQ(early->generatepassword(&password.bstr), S_OK);
        ASSERT_TRUE(well_shaped(password.str()));
        EXPECT_TRUE(seen.insert(password.str()).second) << "repeated";

        Var result;
        ASSERT_EQ(invoke(late.Get(), L"generatepassword", nullptr, 0, &result.v).status, S_OK);
        ASSERT_EQ(V_VT(&result.v), VT_BSTR);
        const std::wstring text(V_BSTR(&result.v), SysStringLen(V_BSTR(&result.v)));
        ASSERT_TRUE(well_shaped(text));
        EXPECT_TRUE(seen.insert(text).second) << "repeated";
    }
    // A property read (as a script writes o.generatepassword without parentheses) works too.
    Var result;
    EXPECT_EQ(invoke(late.Get(), L"generatepassword", nullptr, 0, &result.v, DISPATCH_PROPERTYGET).status, S_OK);
    EXPECT_EQ(V_VT(&result.v), VT_BSTR);
}

}  // namespace
}  // namespace kx::test
