#include "simulated_server.h"

#include "platform/win32/procedure.h"

namespace kx::test {

void SimulatedServer::SetUp()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = L"C:\\kxsim\\test-" + widen(info->name()) + L".store";
    accounts_path_ = L"C:\\kxsim\\test-" + widen(info->name()) + L".accounts";
    SetEnvironmentVariableW(L"KX_SIM_IIS_STORE", path_.c_str());
    SetEnvironmentVariableW(L"KX_SIM_WINNT_STORE", accounts_path_.c_str());
    store(kxsim::iis::fresh_machine());
    store_accounts(kxsim::winnt::fresh_machine(kxsim::winnt::computer_name()));
    live_before_ = live_objects();
}

void SimulatedServer::TearDown()
{
    EXPECT_EQ(live_objects(), live_before_) << "the operation left objects of the provider alive";
    DeleteFileW(path_.c_str());
    DeleteFileW(accounts_path_.c_str());
    SetEnvironmentVariableW(L"KX_SIM_IIS_STORE", nullptr);
    SetEnvironmentVariableW(L"KX_SIM_WINNT_STORE", nullptr);
}

void SimulatedServer::store(const kxsim::Tree& tree) { kxsim::iis::store_file(path_).replace(tree); }

kxsim::Tree SimulatedServer::stored() const { return *kxsim::iis::store_file(path_).load(); }

void SimulatedServer::store_accounts(const kxsim::Tree& tree) { kxsim::winnt::store_file(accounts_path_).replace(tree); }

kxsim::Tree SimulatedServer::stored_accounts() const { return *kxsim::winnt::store_file(accounts_path_).load(); }

long live_objects()
{
    long live = 0;
    for (const wchar_t* stand_in : {L"kxsim_iis.dll", L"kxsim_winnt.dll", L"kxsim_winsock.dll", L"kxsim_ado.dll",
                                    L"kxsim_ldap.dll"})
        if (HMODULE provider = GetModuleHandleW(stand_in)) {
            auto count = win32::procedure<LONG(WINAPI*)()>(provider, "kxsim_live_objects");
            live += count ? count() : 1000000;
        }
    return live;
}

std::wstring Answer::text() const { return text_of(result.v); }

std::vector<std::wstring> Answer::list() const
{
    std::vector<std::wstring> items;
    SAFEARRAY* array = V_VT(&result.v) == (VT_ARRAY | VT_BSTR) ? V_ARRAY(&result.v) : nullptr;
    if (!array)
        return items;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    EXPECT_EQ(lower, 0);
    for (LONG i = lower; i <= upper; ++i) {
        BSTR text = nullptr;
        SafeArrayGetElement(array, &i, &text);
        items.emplace_back(text ? text : L"", SysStringLen(text));
        SysFreeString(text);
    }
    return items;
}

Answer call(const char* cls, const wchar_t* member, std::vector<Argument> args)
{
    Answer answer;
    const long live_before = live_objects();
    ComPtr<IDispatch> object = create(cls);
    if (!object) {
        ADD_FAILURE() << cls << " cannot be created";
        return answer;
    }
    std::vector<Var> values(args.size());
    std::vector<VARIANTARG> reversed(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        VARIANT& v = values[i].v;
        if (args[i].is_number) {
            V_VT(&v) = VT_I4;
            V_I4(&v) = args[i].number;
        } else {
            V_VT(&v) = VT_BSTR;
            V_BSTR(&v) = SysAllocStringLen(args[i].text.data(), static_cast<UINT>(args[i].text.size()));
        }
        VARIANTARG& arg = reversed[args.size() - 1 - i];
        if (args[i].byref) {
            V_VT(&arg) = VT_BYREF | VT_VARIANT;
            V_VARIANTREF(&arg) = &v;
        } else {
            arg = v;
        }
    }
    const Invoked invoked =
        invoke(object.Get(), member, reversed.data(), static_cast<UINT>(reversed.size()), &answer.result.v);
    answer.status = invoked.status == DISP_E_EXCEPTION ? invoked.scode : invoked.status;
    answer.description = invoked.description;
    for (const Var& value : values) {
        answer.after.push_back(text_of(value.v));
        answer.values_after.push_back(kx::com::to_variant(value.v));
    }
    object.Reset();
    EXPECT_EQ(live_objects(), live_before) << cls << " left objects of the stand-ins alive";
    return answer;
}

long answer_of(const char* cls, std::vector<Argument> args)
{
    const Answer a = call(cls, widen(cls).c_str(), std::move(args));
    EXPECT_EQ(a.status, S_OK) << cls << ": " << std::string(a.description.begin(), a.description.end());
    return a.number();
}

}  // namespace kx::test
