// A minimal host of the system's VBScript engine, for running script statements against
// objects of the test's own under given names.
#pragma once

#include <windows.h>
#include <activscp.h>
#include <wrl/client.h>

#include <map>
#include <string>

namespace kx::test {

class ScriptHost
{
public:
    ScriptHost();
    ~ScriptHost();
    ScriptHost(const ScriptHost&) = delete;
    ScriptHost& operator=(const ScriptHost&) = delete;

    // Makes an object visible to scripts under a name; call before run.
    void add(const std::wstring& name, IDispatch* object);
    // Runs statements; false (and error() says why) when the script failed.
    bool run(const std::wstring& statements);
    // The value of an expression, as text.
    std::wstring evaluate(const std::wstring& expression);
    const std::wstring& error() const { return error_; }

private:
    class Site;
    Microsoft::WRL::ComPtr<IActiveScript> engine_;
    Microsoft::WRL::ComPtr<IActiveScriptParse> parser_;
    Site* site_ = nullptr;
    std::map<std::wstring, Microsoft::WRL::ComPtr<IDispatch>> items_;
    std::wstring error_;
};

}  // namespace kx::test
