// Members of the registered library, called early and late bound.
#include <gtest/gtest.h>

#include <set>

#include "com_support.h"
#include "interfaces.h"

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

TEST(Dispatch, ArgumentsAreCountedAndTyped)
{
    ComPtr<IDispatch> permission = create("setdirectorypermission");
    Var result;
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
