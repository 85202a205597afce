// A stand-in's store file, as any process might have left it: it parses, or it is damaged;
// what parses writes back to the same text and parses again to the same tree.
#include "store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const kxsim::Tree tree = kxsim::parse(std::string(reinterpret_cast<const char*>(data), size));
        const std::string text = kxsim::serialize(tree, "a store");
        if (kxsim::serialize(kxsim::parse(text), "a store") != text)
            __builtin_trap();
    } catch (const kxsim::DamagedStore&) {
    }
    return 0;
}
