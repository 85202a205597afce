// A simulated web server of a test's own: its store file, what the provider has handed out,
// and calls of the library's members.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "com_support.h"
#include "iis.h"

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
    // A fresh machine whose web service holds exactly these sites: {name, description, bindings}.
    struct Site
    {
        const wchar_t* name;
        const wchar_t* description;
        std::vector<const wchar_t*> bindings = {L":80:"};
        std::vector<const wchar_t*> secure = {};
    };
    static kxsim::Tree machine_with(const std::vector<Site>& sites);

    std::wstring path_;
    long live_before_ = 0;
};

// A member's answer, called late bound with text arguments (and numbers where given).
struct Answer
{
    HRESULT status;  // S_OK, or the failure's status
    std::wstring description;
    Var result;
    long number() const { return V_VT(&result.v) == VT_I4 ? V_I4(&result.v) : -999; }
    std::wstring text() const;
    bool unallocated() const { return V_VT(&result.v) == (VT_ARRAY | VT_BSTR) && !V_ARRAY(&result.v); }
    std::vector<std::wstring> list() const;
};

struct Argument
{
    Argument(const wchar_t* text) : text(text) {}
    Argument(long number) : is_number(true), number(number) {}
    std::wstring text;
    bool is_number = false;
    long number = 0;
};

// Calls a member late bound; afterwards no object of the provider may be left alive.
void call(const char* cls, const wchar_t* member, std::vector<Argument> args, Answer& answer);

}  // namespace kx::test
