// Arbitrary text as a stream URL: a parse that succeeds gives a port a socket can take.
#include "modules/inputs/net/CNetAddress.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CNetAddress address;
    if (address.Parse(std::string(reinterpret_cast<const char*>(data), size)) &&
        address.m_scheme != CNetAddress::Scheme::Http && (address.m_port <= 0 || address.m_port > 65535))
        std::abort();
    return 0;
}
