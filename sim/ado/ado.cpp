// Stand-ins for ActiveX Data Objects' Connection and Command ("ADODB.Connection",
// "ADODB.Command") over ODBC, enough for a logon check and statements sent one at a time:
// ConnectionString, ConnectionTimeout, Open, Close and State; ActiveConnection, CommandText and
// Execute. A connection string in SQL Server's ODBC form (driver={SQL Server};server=host,port;
// uid=..;pwd=..;database=..) opens through the ODBC driver registered under that name; one that
// names an OLE DB provider (Provider=..;Data Source=alias;User ID=..;Password=..) opens only
// when a class of that name is registered, and resolves the alias through the ODBC data
// source of that name, as an Oracle client resolves a TNS alias. Failures carry the driver's
// message and ADO's statuses.
#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <utility>
#include <vector>

#include "core/convert.h"
#include "core/text.h"
#include "dispatched.h"
#include "platform/com/com.h"
#include "registration.h"

namespace {

using kx::String;
using kx::Variant;
using kxsim::Arguments;
using kxsim::SimError;

constexpr HRESULT kProviderFailed = E_FAIL;
SimError closed() { return {static_cast<HRESULT>(0x800A0E78), L"Operation is not allowed when the object is closed."}; }
SimError already_open() { return {static_cast<HRESULT>(0x800A0E79), L"Operation is not allowed when the object is open."}; }
SimError no_provider() { return {static_cast<HRESULT>(0x800A0E7A), L"Provider cannot be found. It may not be properly installed."}; }
SimError no_connection()
{
    return {static_cast<HRESULT>(0x800A0E7D),
            L"The connection cannot be used to perform this operation. It is either closed or invalid in this context."};
}

// {2B6C2E4B-6A1F-4C7E-8D3A-51C0F9E4A7D2}: how a Command knows a Connection of this module.
const IID kConnectionImplementation = {0x2B6C2E4B, 0x6A1F, 0x4C7E, {0x8D, 0x3A, 0x51, 0xC0, 0xF9, 0xE4, 0xA7, 0xD2}};

// The message of an ODBC handle's first diagnostic record.
SimError odbc_failure(SQLSMALLINT type, SQLHANDLE handle)
{
    SQLWCHAR state[6] = {}, message[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!handle || !SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, 1, state, &native, message, 1024, &length)))
        return {kProviderFailed, L"Unspecified error"};
    return {kProviderFailed, reinterpret_cast<const wchar_t*>(message)};
}

// key=value;... as ADO reads it: keys without regard to case, blanks around both dropped.
std::vector<std::pair<String, String>> parse(const String& text)
{
    std::vector<std::pair<String, String>> pairs;
    auto trim = [](String s) {
        s.erase(0, s.find_first_not_of(L' '));
        s.erase(s.find_last_not_of(L' ') + 1);
        return s;
    };
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t end = std::min(text.find(L';', from), text.size());
        const String item = text.substr(from, end - from);
        const std::size_t equals = item.find(L'=');
        if (equals != String::npos)
            pairs.emplace_back(trim(item.substr(0, equals)), trim(item.substr(equals + 1)));
        from = end + 1;
    }
    return pairs;
}

String value_of(const std::vector<std::pair<String, String>>& pairs, const wchar_t* key)
{
    for (const auto& [k, v] : pairs)
        if (kx::equal_ignoring_case(k, key))
            return v;
    return String();
}

bool has(const std::vector<std::pair<String, String>>& pairs, const wchar_t* key)
{
    for (const auto& pair : pairs)
        if (kx::equal_ignoring_case(pair.first, key))
            return true;
    return false;
}

// A value as ODBC takes it: in braces when it holds what would end it early.
String braced(const String& value)
{
    if (value.find_first_of(L";{}") == String::npos)
        return value;
    return L"{" + kx::replace_ignoring_case(value, L"}", L"}}", true) + L"}";
}

// The ODBC connection string that an ADO connection string stands for.
String odbc_connection_string(const String& ado)
{
    const auto pairs = parse(ado);
    if (has(pairs, L"Provider") && !kx::equal_ignoring_case(value_of(pairs, L"Provider"), L"MSDASQL")) {
        CLSID provider{};
        if (FAILED(CLSIDFromProgID(value_of(pairs, L"Provider").c_str(), &provider)))
            throw no_provider();
        return L"DSN=" + braced(value_of(pairs, L"Data Source")) + L";UID=" + braced(value_of(pairs, L"User ID")) +
               L";PWD=" + braced(value_of(pairs, L"Password"));
    }
    String odbc;
    for (const auto& [key, value] : pairs) {
        if (kx::equal_ignoring_case(key, L"server")) {  // SQL Server's host[,port]
            const std::size_t comma = value.find(L',');
            odbc += L"Servername=" + braced(value.substr(0, comma)) + L";Port=" +
                    (comma == String::npos ? String(L"1433") : value.substr(comma + 1)) + L";";
        } else if (kx::equal_ignoring_case(key, L"driver")) {
            odbc += L"Driver=" + value + L";";
        } else {
            odbc += key + L"=" + braced(value) + L";";
        }
    }
    return odbc;
}

class Connection final : public kxsim::Dispatched
{
public:
    Connection()
        : Dispatched(L"ADODB.Connection", {L"ConnectionString", L"ConnectionTimeout", L"State", L"Open", L"Close"})
    {
    }
    ~Connection() override { disconnect(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (object && IsEqualIID(riid, kConnectionImplementation)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        return Dispatched::QueryInterface(riid, object);
    }

    // A statement on the open connection.
    void execute(const String& text)
    {
        if (!connection_)
            throw no_connection();
        SQLHSTMT statement = nullptr;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection_, &statement)))
            throw odbc_failure(SQL_HANDLE_DBC, connection_);
        const SQLRETURN done = SQLExecDirectW(statement, const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(text.c_str())),
                                              SQL_NTS);
        const SimError failure = odbc_failure(SQL_HANDLE_STMT, statement);
        SQLFreeHandle(SQL_HANDLE_STMT, statement);
        if (!SQL_SUCCEEDED(done) && done != SQL_NO_DATA)
            throw failure;
    }

protected:
    void member(std::size_t index, bool put, const Arguments& args, VARIANT& out) override
    {
        switch (index) {
        case 0:
            if (!put)
                return kxsim::give(out, Variant(connection_string_));
            if (connection_)
                throw already_open();
            connection_string_ = args.text(0);
            return;
        case 1:
            if (put)
                timeout_ = kx::to_long(args.value(0));
            else
                kxsim::give(out, Variant(timeout_));
            return;
        case 2:
            if (put)
                not_here();
            return kxsim::give(out, Variant(int32_t(connection_ ? 1 : 0)));
        case 3: return open(args);
        default:
            if (!connection_)
                throw closed();
            return disconnect();
        }
    }

private:
    // Open([ConnectionString], [UserID], [Password], [Options]): an empty argument leaves the
    // property's string as it is.
    void open(const Arguments& args)
    {
        if (connection_)
            throw already_open();
        if (args.count() > 0 && !args.text(0).empty())
            connection_string_ = args.text(0);
        String ado = connection_string_;
        if (args.count() > 1 && !args.text(1).empty())
            ado += L";User ID=" + args.text(1);
        if (args.count() > 2 && !args.text(2).empty())
            ado += L";Password=" + args.text(2);
        const String odbc = odbc_connection_string(ado);

        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_)) ||
            !SQL_SUCCEEDED(SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
            !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, environment_, &connection_))) {
            disconnect();
            throw SimError{kProviderFailed, L"The ODBC driver manager cannot be used."};
        }
        SQLSetConnectAttrW(connection_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout_)), 0);
        SQLWCHAR completed[1024];
        SQLSMALLINT length = 0;
        const SQLRETURN done = SQLDriverConnectW(connection_, nullptr,
                                                 const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(odbc.c_str())),
                                                 SQL_NTS, completed, 1024, &length, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(done)) {
            const SimError failure = odbc_failure(SQL_HANDLE_DBC, connection_);
            disconnect();
            throw failure;
        }
        connected_ = true;
    }

    void disconnect()
    {
        if (connected_)
            SQLDisconnect(connection_);
        if (connection_)
            SQLFreeHandle(SQL_HANDLE_DBC, connection_);
        if (environment_)
            SQLFreeHandle(SQL_HANDLE_ENV, environment_);
        connected_ = false;
        connection_ = nullptr;
        environment_ = nullptr;
    }

    String connection_string_;
    int32_t timeout_ = 15;
    SQLHENV environment_ = nullptr;
    SQLHDBC connection_ = nullptr;
    bool connected_ = false;
};

class Command final : public kxsim::Dispatched
{
public:
    Command() : Dispatched(L"ADODB.Command", {L"ActiveConnection", L"CommandText", L"Execute"}) {}
    ~Command() override
    {
        if (connection_)
            connection_->Release();
    }

protected:
    void member(std::size_t index, bool put, const Arguments& args, VARIANT& out) override
    {
        switch (index) {
        case 0:
            if (!put) {
                if (connection_)
                    connection_->AddRef();
                return kxsim::give(out, connection_ ? static_cast<IDispatch*>(connection_) : nullptr, VT_DISPATCH);
            }
            return set_connection(args[0]);
        case 1:
            if (put)
                text_ = args.text(0);
            else
                kxsim::give(out, Variant(text_));
            return;
        default:
            if (!connection_)
                throw no_connection();
            connection_->execute(text_);
            return;  // no recordset: nothing is read from the statement
        }
    }

private:
    void set_connection(const VARIANT& value)
    {
        Connection* connection = nullptr;
        if ((V_VT(&value) != VT_DISPATCH && V_VT(&value) != VT_UNKNOWN) || !V_UNKNOWN(&value) ||
            FAILED(V_UNKNOWN(&value)->QueryInterface(kConnectionImplementation, reinterpret_cast<void**>(&connection))))
            throw SimError{static_cast<HRESULT>(0x800A0BB9),
                           L"Arguments are of the wrong type, are out of acceptable range, or are in conflict with "
                           L"one another."};
        if (connection_)
            connection_->Release();
        connection_ = connection;
    }

    Connection* connection_ = nullptr;
    String text_;
};

// {C5F2A8D1-3B4E-4F6A-8C9D-0E1F2A3B4C5D} and the next two.
const CLSID kConnectionClsid = {0xC5F2A8D1, 0x3B4E, 0x4F6A, {0x8C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5D}};
const CLSID kCommandClsid = {0xC5F2A8D2, 0x3B4E, 0x4F6A, {0x8C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5D}};
// Microsoft's OLE DB provider for Oracle is installed on a fresh simulated machine, Oracle's
// is not: a registered class of that name is all that "installed" means here.
const CLSID kOracleProviderClsid = {0xC5F2A8D3, 0x3B4E, 0x4F6A, {0x8C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5D}};

kxsim::ClassObject<Connection> connection_class;
kxsim::ClassObject<Command> command_class;

}  // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualCLSID(clsid, kConnectionClsid))
        return connection_class.QueryInterface(riid, object);
    if (IsEqualCLSID(clsid, kCommandClsid))
        return command_class.QueryInterface(riid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}
STDAPI DllCanUnloadNow() { return kxsim::live_objects == 0 ? S_OK : S_FALSE; }
STDAPI DllRegisterServer()
{
    for (HRESULT status : {kxsim::register_class(kConnectionClsid, L"ADODB.Connection", L"Simulated ADO Connection"),
                           kxsim::register_class(kCommandClsid, L"ADODB.Command", L"Simulated ADO Command"),
                           kxsim::register_class(kOracleProviderClsid, L"MSDAORA.1",
                                                 L"Simulated Microsoft OLE DB Provider for Oracle")})
        if (FAILED(status))
            return status;
    return S_OK;
}
STDAPI DllUnregisterServer()
{
    kxsim::unregister_class(kConnectionClsid, L"ADODB.Connection");
    kxsim::unregister_class(kCommandClsid, L"ADODB.Command");
    kxsim::unregister_class(kOracleProviderClsid, L"MSDAORA.1");
    return S_OK;
}
LONG WINAPI kxsim_live_objects() { return kxsim::live_objects; }

}  // extern "C"
