#include "iis.h"

namespace kxsim::iis {

StoreFile store_file(const String& path)
{
    return StoreFile(path, "web server configuration store", static_cast<HRESULT>(0x80005000));
}

StoreFile store_file() { return store_file(StoreFile::path_from(L"KX_SIM_IIS_STORE", L"C:\\kxsim\\iis.store")); }

std::shared_ptr<const TreeStore> Rules::store() const { return std::make_shared<StoreFile>(store_file()); }

String Rules::computer_name() const { return system_computer_name(); }

}  // namespace kxsim::iis
