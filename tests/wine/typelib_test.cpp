// The type library embedded in each build, read back through the system's loader and held
// against the catalogue.
#include <gtest/gtest.h>

#include "com_support.h"

namespace kx::test {
namespace {

using catalogue::Type;

struct Build
{
    const wchar_t* dll;
    SYSKIND target;
};

class TypeLibrary : public ::testing::TestWithParam<Build>
{
protected:
    void SetUp() override { ASSERT_EQ(LoadTypeLibEx(GetParam().dll, REGKIND_NONE, &library_), S_OK); }

    ComPtr<ITypeInfo> by_guid(const char* guid)
    {
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(library_->GetTypeInfoOfGuid(guid_of(guid), &info), S_OK) << guid;
        return info;
    }
    // Nothing but the catalogue's types: an interface and a class each, and the records.
    void TearDown() override
    {
        const auto& lib = catalogue::library();
        if (library_)
            EXPECT_EQ(library_->GetTypeInfoCount(), 2 * lib.classes.size() + lib.records.size());
    }

    ComPtr<ITypeLib> library_;
};

std::wstring name_of(ITypeInfo* info, MEMBERID id = MEMBERID_NIL)
{
    BSTR name = nullptr;
    info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
    std::wstring s = name ? name : L"";
    SysFreeString(name);
    return s;
}

// The type a parameter or result is described with, as text: "BSTR", "BSTR*", "SAFEARRAY(BSTR)*"...
std::wstring describe(ITypeInfo* info, const TYPEDESC& t)
{
    switch (t.vt) {
    case VT_PTR: return describe(info, *t.lptdesc) + L"*";
    case VT_SAFEARRAY: return L"SAFEARRAY(" + describe(info, *t.lptdesc) + L")";
    case VT_BSTR: return L"BSTR";
    case VT_I4: return L"long";
    case VT_I2: return L"short";
    case VT_UI1: return L"unsigned char";
    case VT_VARIANT: return L"VARIANT";
    case VT_HRESULT: return L"HRESULT";
    case VT_USERDEFINED: {
        ComPtr<ITypeInfo> ref;
        info->GetRefTypeInfo(t.hreftype, &ref);
        return ref ? name_of(ref.Get()) : L"?";
    }
    default: return L"vt" + std::to_wstring(t.vt);
    }
}

std::wstring described(Type type)
{
    switch (type) {
    case Type::Bstr: return L"BSTR";
    case Type::Long: return L"long";
    case Type::Variant: return L"VARIANT";
    case Type::StringArray: return L"SAFEARRAY(BSTR)";
    case Type::None: break;
    }
    return L"";
}

TEST_P(TypeLibrary, EachInterfaceIsAHiddenDualNonExtensibleAutomationInterfaceWithTheCataloguesMembers)
{
    for (const auto& cls : catalogue::library().classes) {
        ComPtr<ITypeInfo> dispatch = by_guid(cls.iid);
        ASSERT_TRUE(dispatch);
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(dispatch->GetTypeAttr(&attributes), S_OK);
        EXPECT_EQ(attributes->typekind, TKIND_DISPATCH) << cls.name;
        // The loader shows the automation flag on the virtual-table side only; the file holds
        // it for both (checked on the file itself).
        EXPECT_EQ(attributes->wTypeFlags,
                  TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE)
            << cls.name;
        dispatch->ReleaseTypeAttr(attributes);

        // The virtual-table side: IDispatch's seven slots, then the members in order.
        HREFTYPE ref = 0;
        ComPtr<ITypeInfo> vtable;
        ASSERT_EQ(dispatch->GetRefTypeOfImplType(-1, &ref), S_OK);
        ASSERT_EQ(dispatch->GetRefTypeInfo(ref, &vtable), S_OK);
        ASSERT_EQ(vtable->GetTypeAttr(&attributes), S_OK);
        EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
        EXPECT_EQ(attributes->wTypeFlags, TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                                              TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE)
            << cls.name;
        EXPECT_EQ(attributes->cFuncs, cls.members.size()) << cls.name;
        EXPECT_EQ(attributes->cImplTypes, 1);
        vtable->ReleaseTypeAttr(attributes);
        ComPtr<ITypeInfo> base;
        ASSERT_EQ(vtable->GetRefTypeOfImplType(0, &ref), S_OK);
        ASSERT_EQ(vtable->GetRefTypeInfo(ref, &base), S_OK);
        EXPECT_EQ(name_of(base.Get()), L"IDispatch");

        for (std::size_t m = 0; m < cls.members.size(); ++m) {
            const auto& member = cls.members[m];
            const std::string where = std::string(cls.name) + "." + member.name;
            FUNCDESC* f = nullptr;
            ASSERT_EQ(vtable->GetFuncDesc(static_cast<UINT>(m), &f), S_OK);
            EXPECT_EQ(f->memid, member.dispid) << where;
            EXPECT_EQ(f->invkind, INVOKE_FUNC) << where;
            EXPECT_EQ(f->callconv, CC_STDCALL) << where;
            EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + m) * sizeof(void*))) << where;
            EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT) << where;
            EXPECT_EQ(f->wFuncFlags, 0) << where;
            const bool has_result = member.result != Type::None;
            ASSERT_EQ(static_cast<std::size_t>(f->cParams), member.params.size() + (has_result ? 1 : 0)) << where;

            BSTR names[16] = {};
            UINT count = 0;
            vtable->GetNames(f->memid, names, 16, &count);
            ASSERT_GE(count, 1 + member.params.size()) << where;
            EXPECT_EQ(std::wstring(names[0]), widen(member.name)) << where;
            for (std::size_t p = 0; p < member.params.size(); ++p) {
                const auto& param = member.params[p];
                const ELEMDESC& e = f->lprgelemdescParam[p];
                EXPECT_EQ(std::wstring(names[1 + p]), widen(param.name)) << where;
                EXPECT_EQ(describe(vtable.Get(), e.tdesc), described(param.type) + (param.byref ? L"*" : L""))
                    << where << " " << param.name;
                EXPECT_EQ(e.paramdesc.wParamFlags, param.byref ? (PARAMFLAG_FIN | PARAMFLAG_FOUT) : PARAMFLAG_FIN)
                    << where << " " << param.name;
            }
            if (has_result) {
                const ELEMDESC& e = f->lprgelemdescParam[member.params.size()];
                EXPECT_EQ(describe(vtable.Get(), e.tdesc), described(member.result) + L"*") << where;
                EXPECT_EQ(e.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL) << where;
            }
            for (UINT n = 0; n < count; ++n)
                SysFreeString(names[n]);
            vtable->ReleaseFuncDesc(f);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, TypeLibrary,
                         ::testing::Values(Build{KX_WIN32_DLL, SYS_WIN32}, Build{KX_WIN64_DLL, SYS_WIN64}),
                         [](const auto& info) { return info.param.target == SYS_WIN32 ? "win32" : "win64"; });

}  // namespace
}  // namespace kx::test
