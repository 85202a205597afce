#include "accounts/operations.h"

#include <cmath>

#include "platform/platform.h"
#include "platform/random/random.h"

namespace kx::accounts {
namespace {

struct Draw
{
    int scale;
    int offset;
};

// Sixteen characters from "0" to "z", a digit, one of ":;=?", an upper- and a lower-case letter.
constexpr Draw draws[] = {
    {75, 48}, {75, 48}, {75, 48}, {75, 48}, {75, 48}, {75, 48}, {75, 48}, {75, 48},
    {75, 48}, {75, 48}, {75, 48}, {75, 48}, {75, 48}, {75, 48}, {75, 48}, {75, 48},
    {10, 48}, {6, 58},  {26, 65}, {26, 97},
};

// "<", ">", the backslash and the grave accent are never emitted; their draw is lost.
bool excluded(int code) { return code == 60 || code == 62 || code == 92 || code == 96; }

}  // namespace

String generate_password(Random& random)
{
    random.reseed();
    String password;
    for (const Draw& d : draws) {
        const float r = random.draw();
        const float scaled = r * static_cast<float>(d.scale);
        const int code = static_cast<int>(std::floor(scaled)) + d.offset;
        if (!excluded(code))
            password += static_cast<wchar_t>(code);
    }
    return password;
}

String generatepassword(Platform& platform) { return generate_password(platform.random); }

}  // namespace kx::accounts
