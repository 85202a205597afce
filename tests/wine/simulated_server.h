// A simulated machine of a test's own: the stores of its web server and of its accounts, what
// the stand-ins have handed out, and calls of the library's members.
#pragma once

#include <gtest/gtest.h>
#include <iads.h>
#include <adshlp.h>

#include <vector>

#include "com_support.h"
#include "accounts.h"
#include "iis.h"
#include "platform/com/com.h"
#include "scenes.h"
#include "winsock_double.h"

namespace kx::test {

// Objects of the stand-ins still alive in this process.
long live_objects();

class SimulatedServer : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces the store with a tree; the tree a test starts from is a fresh machine.
    void store(const kxsim::Tree& tree);
    kxsim::Tree stored() const;
    // The account database; the one a test starts from is a fresh machine's.
    void store_accounts(const kxsim::Tree& tree);
    kxsim::Tree stored_accounts() const;

    std::wstring path_, accounts_path_;
    long live_before_ = 0;
};

// A member's answer, called late bound with text arguments (and numbers where given).
struct Answer
{
    HRESULT status = E_FAIL;  // S_OK, or the failure's status
    std::wstring description;
    Var result;
    long number() const { return V_VT(&result.v) == VT_I4 ? V_I4(&result.v) : -999; }
    std::wstring text() const;
    bool unallocated() const { return V_VT(&result.v) == (VT_ARRAY | VT_BSTR) && !V_ARRAY(&result.v); }
    std::vector<std::wstring> list() const;
    std::vector<std::wstring> after;  // the arguments' texts after the call
    std::vector<kx::Variant> values_after;  // and their values, of whatever kind
};

struct Argument
{
    Argument(const wchar_t* text) : text(text) {}
    Argument(std::wstring text) : text(std::move(text)) {}
    Argument(long number) : is_number(true), number(number) {}
    // A text in a variable of the caller's, passed by reference: answer.after holds it afterwards.
    static Argument variable(std::wstring text)
    {
        Argument a(std::move(text));
        a.byref = true;
        return a;
    }
    std::wstring text;
    bool is_number = false;
    bool byref = false;
    long number = 0;
};

// A property of the object at an ADsPath, read through the directory service; Null when the
// object or the property is missing.
inline kx::Variant property_at(const std::wstring& path, const wchar_t* name)
{
    ComPtr<IADs> object;
    Var value;
    if (FAILED(ADsGetObject(path.c_str(), IID_IADs, reinterpret_cast<void**>(object.GetAddressOf()))) ||
        FAILED(object->Get(kx::com::Bstr(name).get(), &value.v)))
        return kx::Variant(kx::Null{});
    return kx::com::to_variant(value.v);
}

// Calls a member late bound; afterwards no object of the stand-ins may be left alive.
Answer call(const char* cls, const wchar_t* member, std::vector<Argument> args);
// The number a member answers, called by the class's own name; the call must succeed.
long answer_of(const char* cls, std::vector<Argument> args);

}  // namespace kx::test
