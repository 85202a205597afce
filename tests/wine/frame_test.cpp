// The frame in-process, with the tests' own operations: what crosses the boundary in each
// binding style, and how failures reach the caller.
#include <gtest/gtest.h>

#include <cstring>

#include "com_support.h"
#include "frame/instance.h"
#include "interfaces.h"
#include "test_operations.h"

namespace kx::test {
namespace {

template <class Interface>
ComPtr<Interface> make(const char* name)
{
    const catalogue::Class* cls = catalogue::find_class(name);
    IUnknown* object = frame::make_instance(static_cast<std::size_t>(cls - catalogue::library().classes.data()));
    ComPtr<Interface> face;
    object->QueryInterface(guid_of(cls->iid), reinterpret_cast<void**>(face.GetAddressOf()));
    object->Release();
    return face;
}

// createftpsite(sFTPID, SiteName, Port, Path) with Port given as the test says.
long call_createftpsite(VARIANTARG& port)
{
    auto object = make<IDispatch>("createftpsite");
    Text id(L"1"), name(L"Files"), path(L"c:\\ftp");
    VARIANTARG args[4];
    args[0] = text_arg(path.bstr);
    args[1] = port;
    args[2] = text_arg(name.bstr);
    args[3] = text_arg(id.bstr);
    Var result;
    EXPECT_EQ(invoke(object.Get(), L"createftpsite", args, 4, &result.v).status, S_OK);
    return V_VT(&result.v) == VT_I4 ? V_I4(&result.v) : -1;
}

TEST(ByReference, AWrittenStringReachesTypedReferencesAndScriptVariables)
{
    Text typed(L"21");
    VARIANTARG port;
    V_VT(&port) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&port) = &typed.bstr;
    EXPECT_EQ(call_createftpsite(port), 7);
    EXPECT_EQ(typed.str(), L"[21]");

    // A script variable: a reference to a variant, holding a string, a number or nothing yet.
    Var variable;
    V_VT(&variable.v) = VT_BSTR;
    V_BSTR(&variable.v) = SysAllocString(L"2121");
    V_VT(&port) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&port) = &variable.v;
    call_createftpsite(port);
    ASSERT_EQ(V_VT(&variable.v), VT_BSTR);
    EXPECT_EQ(text_of(variable.v), L"[2121]");

    Var number;
    V_VT(&number.v) = VT_I2;
    V_I2(&number.v) = 21;
    V_VARIANTREF(&port) = &number.v;
    call_createftpsite(port);
    ASSERT_EQ(V_VT(&number.v), VT_BSTR);
    EXPECT_EQ(text_of(number.v), L"[21]");

    Var fresh;
    V_VARIANTREF(&port) = &fresh.v;
    call_createftpsite(port);
    ASSERT_EQ(V_VT(&fresh.v), VT_BSTR);
    EXPECT_EQ(text_of(fresh.v), L"[]");

    // A plain value is accepted and has nowhere to be written.
    Text literal(L"21");
    port = text_arg(literal.bstr);
    EXPECT_EQ(call_createftpsite(port), 7);
    EXPECT_EQ(literal.str(), L"21");

    auto early = make<kestrix::_createftpsite>("createftpsite");
    Text id(L"1"), name(L"Files"), early_port(L":21:"), path;
    long result = 0;
    ASSERT_EQ(early->createftpsite(&id.bstr, &name.bstr, &early_port.bstr, &path.bstr, &result), S_OK);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(early_port.str(), L"[:21:]");
    EXPECT_EQ(id.str(), L"1");
}

TEST(ByReference, AWrittenNumberAndVariantReachTheCaller)
{
    auto late = make<IDispatch>("setdirectorypermission");
    Text folder(L"c:\\x"), user(L"u"), rights(L"R");
    Var inheritance;
    V_VT(&inheritance.v) = VT_I2;  // what a script holds for a small number
    V_I2(&inheritance.v) = 4;
    VARIANTARG args[4];
    V_VT(&args[0]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[0]) = &inheritance.v;
    args[1] = text_arg(rights.bstr);
    args[2] = text_arg(user.bstr);
    args[3] = text_arg(folder.bstr);
    Var result;
    ASSERT_EQ(invoke(late.Get(), L"setdirectorypermission", args, 4, &result.v).status, S_OK);
    EXPECT_EQ(V_I4(&result.v), 5);
    ASSERT_EQ(V_VT(&inheritance.v), VT_I4);
    EXPECT_EQ(V_I4(&inheritance.v), 5);

    auto early = make<kestrix::_setdirectorypermission>("setdirectorypermission");
    long level = 41, answer = 0;
    ASSERT_EQ(early->setdirectorypermission(&folder.bstr, &user.bstr, &rights.bstr, &level, &answer), S_OK);
    EXPECT_EQ(level, 42);
    EXPECT_EQ(answer, 42);

    auto secret = make<kestrix::_getntuserpassword>("getntuserpassword");
    Text host(L"h"), port(L"389"), name(L"u"), password(L"p");
    Var pwd;
    V_VT(&pwd.v) = VT_I4;
    long code = -1;
    ASSERT_EQ(secret->getntuserpassword(host.bstr, port.bstr, name.bstr, password.bstr, &pwd.v, &code), S_OK);
    ASSERT_EQ(V_VT(&pwd.v), VT_BSTR);
    EXPECT_EQ(text_of(pwd.v), L"s\u00e9cret");
}

TEST(ByReference, AWriteBeforeARaisedFailureStillReachesTheCaller)
{
    auto early = make<kestrix::_getwebid>("getwebid");
    Text name(L"Shop");
    long result = 5;
    EXPECT_EQ(early->getwebid(&name.bstr, &result), static_cast<HRESULT>(0x800A000D));
    EXPECT_EQ(name.str(), L"written");
    EXPECT_EQ(result, 0);

    auto late = make<IDispatch>("getwebid");
    Var variable;
    VARIANTARG arg;
    V_VT(&arg) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&arg) = &variable.v;
    Var out;
    const Invoked invoked = invoke(late.Get(), L"getwebid", &arg, 1, &out.v);
    EXPECT_EQ(invoked.status, DISP_E_EXCEPTION);
    EXPECT_EQ(invoked.scode, static_cast<HRESULT>(0x800A000D));
    EXPECT_EQ(invoked.description, L"Type mismatch");
    EXPECT_EQ(text_of(variable.v), L"written");
}

TEST(Strings, NulsCharactersBeyondTheCodePageAndTrailingBlanksSurviveBothPaths)
{
    const std::wstring odd(L"a\0b \u4e2d\u00e9\U0001F600  ", 10);
    auto early = make<kestrix::_getwebport>("getwebport");
    Text name(odd), result;
    ASSERT_EQ(early->getwebport(&name.bstr, &result.bstr), S_OK);
    EXPECT_EQ(result.str(), odd);

    Text none;  // a null BSTR is the empty string
    Text empty_result;
    ASSERT_EQ(early->getwebport(&none.bstr, &empty_result.bstr), S_OK);
    EXPECT_EQ(SysStringLen(empty_result.bstr), 0u);

    auto late = make<IDispatch>("getwebport");
    VARIANTARG arg;
    arg = text_arg(name.bstr);
    Var out;
    ASSERT_EQ(invoke(late.Get(), L"getwebport", &arg, 1, &out.v).status, S_OK);
    EXPECT_EQ(text_of(out.v), odd);
}

TEST(Variants, GoInAndComeOutAsTheyWere)
{
    auto late = make<IDispatch>("updatemetabasewithcrcs");
    auto early = make<kestrix::_updatemetabasewithcrcs>("updatemetabasewithcrcs");
    Var in[4];
    V_VT(&in[0].v) = VT_NULL;
    V_VT(&in[1].v) = VT_I2;
    V_I2(&in[1].v) = -3;
    V_VT(&in[2].v) = VT_BSTR;
    V_BSTR(&in[2].v) = SysAllocString(L"O'Brien");
    for (Var& value : in) {
        Var out;
        ASSERT_EQ(invoke(late.Get(), L"SQLEncodeString", &value.v, 1, &out.v).status, S_OK);
        EXPECT_EQ(VarCmp(&out.v, &value.v, 0, 0), V_VT(&value.v) == VT_NULL ? VARCMP_NULL : VARCMP_EQ);
        EXPECT_EQ(V_VT(&out.v), V_VT(&value.v));
        Var early_out;
        ASSERT_EQ(early->SQLEncodeString(value.v, &early_out.v), S_OK);
        EXPECT_EQ(V_VT(&early_out.v), V_VT(&value.v));
    }
    // Bytes, as a directory delivers an octet string, and a list of them, come back unchanged.
    const unsigned char octets[] = {0x00, 0x41, 0xFF};
    Var bytes, list;
    V_VT(&bytes.v) = VT_ARRAY | VT_UI1;
    V_ARRAY(&bytes.v) = SafeArrayCreateVector(VT_UI1, 0, 3);
    std::memcpy(V_ARRAY(&bytes.v)->pvData, octets, 3);
    V_VT(&list.v) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(&list.v) = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    for (LONG i = 0; i < 2; ++i)
        ASSERT_EQ(SafeArrayPutElement(V_ARRAY(&list.v), &i, &bytes.v), S_OK);
    auto same_bytes = [&](const VARIANT& v) {
        return V_VT(&v) == (VT_ARRAY | VT_UI1) && V_ARRAY(&v)->rgsabound[0].cElements == 3 &&
               std::memcmp(V_ARRAY(&v)->pvData, octets, 3) == 0;
    };
    Var bytes_out, list_out;
    ASSERT_EQ(invoke(late.Get(), L"SQLEncodeString", &bytes.v, 1, &bytes_out.v).status, S_OK);
    EXPECT_TRUE(same_bytes(bytes_out.v)) << "vt " << V_VT(&bytes_out.v);
    ASSERT_EQ(early->SQLEncodeString(list.v, &list_out.v), S_OK);
    ASSERT_EQ(V_VT(&list_out.v), VT_ARRAY | VT_VARIANT);
    for (LONG i = 0; i < 2; ++i) {
        Var element;
        ASSERT_EQ(SafeArrayGetElement(V_ARRAY(&list_out.v), &i, &element.v), S_OK);
        EXPECT_TRUE(same_bytes(element.v)) << "element " << i;
    }

    // An object reaches the operation as a value it cannot read, and never comes back out.
    Var object;
    V_VT(&object.v) = VT_DISPATCH;
    V_DISPATCH(&object.v) = late.Get();
    late->AddRef();
    Var out;
    EXPECT_EQ(invoke(late.Get(), L"SQLEncodeString", &object.v, 1, &out.v).status, S_OK);
    EXPECT_EQ(V_VT(&out.v), VT_EMPTY);
}

TEST(StringArrays, HaveLowerBoundZeroOrAreUnallocated)
{
    auto early = make<kestrix::_getwebsitelist>("getwebsitelist");
    auto late = make<IDispatch>("getwebsitelist");

    site_list = std::vector<String>{L"", L"Default Web Site", L"Shop"};
    SAFEARRAY* list = nullptr;
    ASSERT_EQ(early->getwebsitelist(&list), S_OK);
    ASSERT_NE(list, nullptr);
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(list, 1, &lower);
    SafeArrayGetUBound(list, 1, &upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 2);
    VARTYPE type = 0;
    SafeArrayGetVartype(list, &type);
    EXPECT_EQ(type, VT_BSTR);
    BSTR second = nullptr;
    LONG index = 2;
    SafeArrayGetElement(list, &index, &second);
    EXPECT_STREQ(second, L"Shop");
    SysFreeString(second);
    SafeArrayDestroy(list);

    site_list = std::nullopt;
    list = reinterpret_cast<SAFEARRAY*>(1);
    ASSERT_EQ(early->getwebsitelist(&list), S_OK);
    EXPECT_EQ(list, nullptr);
    Var out;
    ASSERT_EQ(invoke(late.Get(), L"getwebsitelist", nullptr, 0, &out.v).status, S_OK);
    EXPECT_EQ(V_VT(&out.v), VT_ARRAY | VT_BSTR);
    EXPECT_EQ(V_ARRAY(&out.v), nullptr);
}

TEST(Failures, PassThroughWithTheirStatusAndDescription)
{
    auto early = make<kestrix::_portscan>("portscan");
    for (const auto& [status, description] :
         {std::pair{L"80070003", L"The system cannot find the path specified."},
          std::pair{L"800A0009", L"Subscript out of range"}, std::pair{L"800A0006", L"Overflow"}}) {
        Text host(status), port(description);
        long result = 1;
        const HRESULT returned = early->portscan(host.bstr, port.bstr, &result);
        EXPECT_EQ(returned, static_cast<HRESULT>(std::stoul(status, nullptr, 16)));
        ComPtr<IErrorInfo> info;
        ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
        BSTR text = nullptr;
        info->GetDescription(&text);
        EXPECT_STREQ(text, description);
        SysFreeString(text);

        auto late = make<IDispatch>("portscan");
        VARIANTARG args[] = {text_arg(port.bstr), text_arg(host.bstr)};
        Var out;
        const Invoked invoked = invoke(late.Get(), L"portscan", args, 2, &out.v);
        EXPECT_EQ(invoked.status, DISP_E_EXCEPTION);
        EXPECT_EQ(invoked.scode, returned);
        EXPECT_EQ(invoked.description, description);
        EXPECT_EQ(invoked.source, L"Kestrix.portscan");
    }
}

TEST(Failures, AMemberNotBuiltSaysWhichOneItIs)
{
    auto late = make<IDispatch>("getfreewebid");
    Var out;
    const Invoked invoked = invoke(late.Get(), L"getfreewebid", nullptr, 0, &out.v);
    EXPECT_EQ(invoked.scode, E_NOTIMPL);
    EXPECT_NE(invoked.description.find(L"Kestrix.getfreewebid.getfreewebid"), std::wstring::npos);
}

TEST(Members, WithoutResultOrWithNullResultPointer)
{
    auto early = make<kestrix::_setdirectorypermission>("setdirectorypermission");
    Text user(L"u"), file(L"f"), rights(L"R");
    ASSERT_EQ(early->SetAccess(&user.bstr, &file.bstr, &rights.bstr), S_OK);
    EXPECT_EQ(user.str(), L"done");

    auto late = make<IDispatch>("setdirectorypermission");
    VARIANTARG args[3];
    for (VARIANTARG& a : args) {
        a = text_arg(rights.bstr);
    }
    Var out;
    ASSERT_EQ(invoke(late.Get(), L"SetAccess", args, 3, &out.v).status, S_OK);
    EXPECT_EQ(V_VT(&out.v), VT_EMPTY);
    ASSERT_EQ(invoke(late.Get(), L"SetAccess", args, 3, nullptr).status, S_OK);

    auto port = make<kestrix::_getwebport>("getwebport");
    Text name(L"x");
    EXPECT_EQ(port->getwebport(&name.bstr, nullptr), E_POINTER);
    EXPECT_EQ(port->getwebport(nullptr, nullptr), E_POINTER);
    Text result;
    EXPECT_EQ(port->getwebport(nullptr, &result.bstr), E_POINTER);
}

}  // namespace
}  // namespace kx::test
