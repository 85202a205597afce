#include "frame/guids.h"

#include <cstdio>
#include <vector>

namespace kx::frame {

GUID parse_guid(const char* text)
{
    GUID g{};
    unsigned long d1 = 0;
    unsigned d2 = 0, d3 = 0, b[8] = {};
    std::sscanf(text, "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &b[0], &b[1], &b[2], &b[3], &b[4],
                &b[5], &b[6], &b[7]);
    g.Data1 = d1;
    g.Data2 = static_cast<unsigned short>(d2);
    g.Data3 = static_cast<unsigned short>(d3);
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = static_cast<unsigned char>(b[i]);
    return g;
}

namespace {

const std::vector<ClassIds>& all_ids()
{
    static const std::vector<ClassIds> ids = [] {
        std::vector<ClassIds> list;
        for (const catalogue::Class& cls : catalogue::library().classes)
            list.push_back({parse_guid(cls.clsid), parse_guid(cls.iid)});
        return list;
    }();
    return ids;
}

}  // namespace

const ClassIds& class_ids(std::size_t index) { return all_ids().at(index); }

GUID library_id() { return parse_guid(catalogue::library().libid); }

int class_index_of(REFCLSID clsid)
{
    const auto& ids = all_ids();
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (IsEqualCLSID(ids[i].clsid, clsid))
            return static_cast<int>(i);
    return -1;
}

}  // namespace kx::frame
