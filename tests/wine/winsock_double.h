// A Winsock control for tests that call portscan where the machine has none.
#pragma once

#include <windows.h>

namespace kx::test {

// The stand-in Winsock control, registered while the double lives where the machine has none
// (a 64-bit process, on any server), with its licence or none; afterwards the machine is as it
// was.
class WinsockDouble
{
public:
    explicit WinsockDouble(bool licensed = true);
    ~WinsockDouble();
    WinsockDouble(const WinsockDouble&) = delete;
    WinsockDouble& operator=(const WinsockDouble&) = delete;

private:
    bool had_control_, had_licence_;
};

}  // namespace kx::test
