#include "script_host.h"

#include <oleauto.h>

namespace kx::test {

class ScriptHost::Site final : public IActiveScriptSite
{
public:
    explicit Site(ScriptHost& host) : host_(host) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IActiveScriptSite)) {
            *object = static_cast<IActiveScriptSite*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as its host
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE GetLCID(LCID* lcid) override
    {
        *lcid = LOCALE_USER_DEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override
    {
        if (info)
            *info = nullptr;
        if (item)
            *item = nullptr;
        const auto found = host_.items_.find(name);
        if (found == host_.items_.end())
            return TYPE_E_ELEMENTNOTFOUND;
        if ((mask & SCRIPTINFO_IUNKNOWN) && item) {
            *item = found->second.Get();
            (*item)->AddRef();
        }
        if ((mask & SCRIPTINFO_ITYPEINFO) && info)
            found->second->GetTypeInfo(0, 0, info);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR* version) override
    {
        *version = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override
    {
        EXCEPINFO info{};
        error->GetExceptionInfo(&info);
        if (info.pfnDeferredFillIn)
            info.pfnDeferredFillIn(&info);
        wchar_t number[16];
        swprintf(number, 16, L"%08X ", static_cast<unsigned>(info.scode));
        host_.error_ = number + std::wstring(info.bstrDescription ? info.bstrDescription : L"");
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

private:
    ScriptHost& host_;
};

ScriptHost::ScriptHost() : site_(new Site(*this))
{
    CLSID vbscript{};
    if (FAILED(CLSIDFromProgID(L"VBScript", &vbscript)) ||
        FAILED(CoCreateInstance(vbscript, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&engine_))) ||
        FAILED(engine_.As(&parser_)) || FAILED(parser_->InitNew()) || FAILED(engine_->SetScriptSite(site_))) {
        engine_.Reset();
        parser_.Reset();
        error_ = L"no VBScript engine";
    }
}

ScriptHost::~ScriptHost()
{
    if (engine_)
        engine_->Close();
    parser_.Reset();
    engine_.Reset();
    delete site_;
}

void ScriptHost::add(const std::wstring& name, IDispatch* object)
{
    items_[name] = object;
    if (engine_)
        engine_->AddNamedItem(name.c_str(), SCRIPTITEM_ISVISIBLE);
}

bool ScriptHost::run(const std::wstring& statements)
{
    if (!parser_)
        return false;
    error_.clear();
    engine_->SetScriptState(SCRIPTSTATE_STARTED);
    EXCEPINFO info{};
    const HRESULT status = parser_->ParseScriptText(statements.c_str(), nullptr, nullptr, nullptr, 0, 0, 0, nullptr, &info);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return SUCCEEDED(status) && error_.empty();
}

std::wstring ScriptHost::evaluate(const std::wstring& expression)
{
    if (!parser_)
        return L"<no engine>";
    VARIANT value;
    VariantInit(&value);
    EXCEPINFO info{};
    std::wstring text = L"<failed>";
    if (SUCCEEDED(parser_->ParseScriptText(expression.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                           SCRIPTTEXT_ISEXPRESSION, &value, &info)) &&
        SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BSTR)))
        text.assign(V_BSTR(&value), SysStringLen(V_BSTR(&value)));
    VariantClear(&value);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return text;
}

}  // namespace kx::test
