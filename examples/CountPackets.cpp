// How an application uses the receiver: a source, a receiver over it, PID receivers for
// what it wants, then Start ... Stop. This source makes up a stream of four PIDs; a real
// application gets its source from an input plug-in.
#include "core/CDVBPIDReceiver.h"
#include "receiver/CDVBTransportStreamReceiver.h"
#include "core/CDVBTransportStreamSource.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

class CMadeUpSource : public CDVBTransportStreamSource
{
public:
    DWORD ReadBuffer(BYTE* buffer, DWORD size) override
    {
        const DWORD packets = size / 188 < 40 ? size / 188 : 40;   // 40 packets a millisecond
        for (DWORD i = 0; i < packets; ++i, ++m_sent) {
            BYTE* p = buffer + i * 188;
            std::memset(p, 0xFF, 188);
            const WORD pid = WORD(0x100 + m_sent % 4);
            p[0] = 0x47;
            p[1] = BYTE(pid >> 8);
            p[2] = BYTE(pid);
            p[3] = BYTE(0x10 | (m_sent & 0x0F));
        }
        return packets * 188;
    }

private:
    unsigned m_sent = 0;
};

class CPacketCounter : public CDVBPIDReceiver
{
public:
    void OnReceivePacket(std::uint64_t, BYTE*) override { ++m_count; }
    std::atomic<unsigned> m_count{0};
};

}  // namespace

int main()
{
    CMadeUpSource source;
    CDVBTransportStreamReceiver receiver(&source, nullptr);
    auto* counter = new CPacketCounter;          // the receiver owns it once added
    receiver.AddPIDReceiver(0x101, counter);
    receiver.Initialise();
    receiver.Start();
    std::this_thread::sleep_for(std::chrono::seconds(2));   // receive for a while
    receiver.Stop();
    receiver.WaitForStop(1000);
    std::printf("%llu packets received in %d s, %u of them on PID 0x101; data flowing: %s\n",
                static_cast<unsigned long long>(receiver.GetPacketsReceived()),
                receiver.GetSecondsSinceStart(), counter->m_count.load(),
                receiver.IsDataBeingReceived() ? "yes" : "no");
    receiver.DeInitialise();
    return 0;
}
