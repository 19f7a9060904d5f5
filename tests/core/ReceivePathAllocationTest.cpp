// Once a stream's tables are held, dispatching its packets again (every section a repeat)
// allocates nothing. Its own program, because it counts every allocation of the process.
#include "core/CDVBTransportStreamSource.h"
#include "tests/support/CFedReceiver.h"
#include "tests/support/CTestPacket.h"
#include "tests/support/CTestSectionBuilder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

static std::atomic<long> g_allocations{0};

void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

// Not inlined: GCC would pair the free with a new it can see and warn of a mismatch.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(ReceivePathAllocationTest, RepeatedTablesAndPlainPacketsAllocateNothing)
{
    using B = CTestSectionBuilder;
    BYTE cc = 0;
    Bytes stream;
    auto add = [&](WORD pid, const Bytes& section) {
        for (const Bytes& packet : B::Packetise(pid, section, cc))
            B::Append(stream, packet);
    };
    add(0x0000, B::Long(0x00, 1, 0, 0, 0, B::PATBody({{0, 0x10}, {1, 0x100}})));
    add(0x0011, B::Long(0x42, 1, 0, 0, 0, B::SDTBody(1, B::SDTService(1, 4, false, B::ServiceDescriptor(1, "P", "N")))));
    add(0x0012, B::Long(0x4E, 1, 0, 0, 1, B::EITBody(1, 1, B::EITEvent(1, 0xCFD1, 0x120000, 0x010000,
                                                                          B::ShortEventDescriptor("eng", "A", "B")))));
    add(0x0010, B::Long(0x40, 1, 0, 0, 0, B::Cat({{0xF0, 0x00}, {0xF0, 0x00}})));
    for (int i = 0; i < 50; ++i)   // payload that starts no section
        B::Append(stream, CTestPacket::Payload(0x0100));

    CDVBTransportStreamSource source;
    CFedReceiver receiver(&source, nullptr);
    receiver.Start();   // registers the SI receivers; no thread without Initialise
    receiver.ProcessBuffer(stream.data(), DWORD(stream.size()));   // sections are new: parsed and kept
    const long before = g_allocations;
    for (int pass = 0; pass < 10; ++pass)
        receiver.ProcessBuffer(stream.data(), DWORD(stream.size()));
    EXPECT_EQ(g_allocations - before, 0) << "over " << 10 * stream.size() / 188 << " packets";
}
