// A compiled client of an installed Kestrix: every class of the registered type library is
// created and asked for its dual interface, and generatepassword is called through that
// interface's virtual table, as code bound early calls it. Prints what it found.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>

namespace {

// {1B7FC512-ED4E-4F5E-8388-6C24349B1DA5}, the library's identifier.
constexpr GUID kLibrary = {0x1B7FC512, 0xED4E, 0x4F5E, {0x83, 0x88, 0x6C, 0x24, 0x34, 0x9B, 0x1D, 0xA5}};

// The class's object as its dual interface; null when either is missing.
IUnknown* dual_interface(ITypeInfo* coclass, ITypeInfo** face)
{
    TYPEATTR* attributes = nullptr;
    HREFTYPE reference = 0;
    IUnknown* object = nullptr;
    if (FAILED(coclass->GetTypeAttr(&attributes)))
        return nullptr;
    const CLSID clsid = attributes->guid;
    coclass->ReleaseTypeAttr(attributes);
    ITypeInfo* dispatch = nullptr;
    if (FAILED(coclass->GetRefTypeOfImplType(0, &reference)) || FAILED(coclass->GetRefTypeInfo(reference, &dispatch)))
        return nullptr;
    // The virtual-table side of the dual interface.
    const bool dual = SUCCEEDED(dispatch->GetRefTypeOfImplType(-1, &reference)) &&
                      SUCCEEDED(dispatch->GetRefTypeInfo(reference, face));
    dispatch->Release();
    if (!dual)
        return nullptr;
    if (FAILED((*face)->GetTypeAttr(&attributes)))
        return nullptr;
    const IID iid = attributes->guid;
    (*face)->ReleaseTypeAttr(attributes);
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object))))
        return nullptr;
    return object;
}

}  // namespace

int wmain()
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ITypeLib* library = nullptr;
    if (FAILED(LoadRegTypeLib(kLibrary, 1, 0, 0, &library))) {
        std::printf("early bound: the type library is not registered\n");
        return 1;
    }
    int bound = 0;
    UINT password = 0;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        TYPEKIND kind;
        ITypeInfo* coclass = nullptr;
        if (FAILED(library->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS || FAILED(library->GetTypeInfo(i, &coclass)))
            continue;
        ITypeInfo* face = nullptr;
        if (IUnknown* object = dual_interface(coclass, &face)) {
            ++bound;
            BSTR name = nullptr;
            coclass->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
            FUNCDESC* function = nullptr;
            // The class's own member, wherever the loader lists IUnknown's and IDispatch's.
            for (UINT f = 0; name && wcscmp(name, L"generatepassword") == 0 && !function; ++f) {
                if (FAILED(face->GetFuncDesc(f, &function)))
                    break;
                if (function->memid != 0x60030000) {
                    face->ReleaseFuncDesc(function);
                    function = nullptr;
                }
            }
            if (function) {
                BSTR text = nullptr;
                VARIANT out, argument, *arguments[] = {&argument};
                VARTYPE types[] = {VT_BYREF | VT_BSTR};
                VariantInit(&out);
                V_VT(&argument) = VT_BYREF | VT_BSTR;
                V_BSTRREF(&argument) = &text;
                if (SUCCEEDED(DispCallFunc(object, function->oVft, CC_STDCALL, VT_ERROR, 1, types, arguments, &out)) &&
                    V_ERROR(&out) == S_OK)
                    password = SysStringLen(text);
                SysFreeString(text);
                face->ReleaseFuncDesc(function);
            }
            SysFreeString(name);
            object->Release();
        }
        if (face)
            face->Release();
        coclass->Release();
    }
    library->Release();
    std::printf("early bound: %d classes, a password of %u\n", bound, password);
    CoUninitialize();
    return 0;
}
