// Arbitrary bytes into every section class's Parse and into a descriptor loop, each from a
// copy of exactly the input's size.
#include "si/CDVBDescriptorList.h"
#include "si/CDVBEITEntry.h"
#include "si/CDVBEITSection.h"
#include "si/CDVBNITSection.h"
#include "si/CDVBPATSection.h"
#include "si/CDVBPMTSection.h"
#include "si/CDVBSDTSection.h"
#include "si/CDVBSISection.h"
#include "si/CDVBTDTSection.h"
#include "si/CDVBTOTSection.h"
#include "platform/DebugOutput.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

template <typename Section>
void Parse(const std::vector<BYTE>& bytes)
{
    auto section = std::make_unique<Section>();
    section->Parse(bytes.data(), DWORD(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const DebugOutputSink quiet = SetDebugOutputSink([](const char*) {});
    const std::vector<BYTE> bytes(data, data + size);
    Parse<CDVBSISection>(bytes);
    Parse<CDVBPATSection>(bytes);
    Parse<CDVBPMTSection>(bytes);
    Parse<CDVBSDTSection>(bytes);
    Parse<CDVBNITSection>(bytes);
    Parse<CDVBTDTSection>(bytes);
    Parse<CDVBTOTSection>(bytes);
    auto eit = std::make_unique<CDVBEITSection>();
    if (eit->Parse(bytes.data(), DWORD(bytes.size()))) {
        for (const CDVBEITEntry* event : eit->m_entries) {   // times from whatever digits came
            SYSTEMTIME start, end;
            CString text;
            event->GetStartAndEndTime(&start, &end);
            event->GetDurationText(text);
            event->GetStartDateText(text);
        }
    }
    CDVBDescriptorList list;
    list.Parse(CDVBByteReader(bytes.data(), WORD(bytes.size() > 0xFFFF ? 0xFFFF : bytes.size())));
    CDVBDescriptorList copy;
    copy.CopyFrom(list);
    return 0;
}
