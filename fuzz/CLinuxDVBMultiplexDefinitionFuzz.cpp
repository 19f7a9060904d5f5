// Arbitrary text as a line of the tuner's definitions file: whatever it holds, the line
// written back reads to itself, so that saving a list never changes what it says.
#include "modules/inputs/dvb/CLinuxDVBMultiplexDefinition.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CLinuxDVBMultiplexDefinition first, second;
    CString written, rewritten;
    first.ReadFromString(text.c_str());
    first.WriteToString(written);
    second.ReadFromString(written);
    second.WriteToString(rewritten);
    if (written.Str() != rewritten.Str())
        std::abort();
    return 0;
}
