// SQLEncodeString: nothing is left that ends a quoted literal early or acts in a LIKE pattern.
#include "database/checksums.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const kx::String text = kx::fuzz::text(data, size);
    const kx::String encoded = kx::database::sql_encoded(kx::Variant(text)).value();
    // Decoding gives the text back: "''" is "'", "[x]" is x for x among "[", "%", "_".
    kx::String decoded;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const wchar_t c = encoded[i];
        if (c == L'\'') {
            if (i + 1 >= encoded.size() || encoded[i + 1] != L'\'')
                __builtin_trap();  // a lone quote would end the literal
            decoded += c;
            ++i;
        } else if (c == L'[') {
            if (i + 2 >= encoded.size() || encoded[i + 2] != L']' ||
                kx::String(L"[%_").find(encoded[i + 1]) == kx::String::npos)
                __builtin_trap();
            decoded += encoded[i + 1];
            i += 2;
        } else if (c == L'%' || c == L'_') {
            __builtin_trap();  // a bare pattern character
        } else {
            decoded += c;
        }
    }
    if (decoded != text)
        __builtin_trap();
    return 0;
}
