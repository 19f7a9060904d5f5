#pragma once
// A source whose own thread finds whole packets in what it receives (a socket's datagrams,
// a DVR's reads) and queues them in a fixed ring that ReadBuffer drains without waiting:
// the network and tuner inputs. Start empties the ring, so that a reception period
// begins with what comes after it.
#include "core/CDVBTransportStreamSource.h"
#include "modules/inputs/common/CTransportPacketRing.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CTransportPacketFramer;

class CPacketRingSource : public CDVBTransportStreamSource
{
public:
    static constexpr std::size_t RingPackets = 65536;   // 12 MB: seconds of a multiplex

    ~CPacketRingSource() override;

    bool Start() override;
    DWORD ReadBuffer(BYTE* buffer, DWORD size) override;

    // After a failed Open: CLUMInputPluginExtension's code and why, for people.
    int GetFailure() const { return m_failure; }
    const std::string& GetFailureText() const { return m_failureText; }

protected:
    CPacketRingSource();

    // On the receiving thread only. `datagram`: the bytes are one UDP or RTP payload,
    // which ends with a packet.
    void Feed(const BYTE* data, std::size_t length, bool datagram = false);
    // ", 12 bytes skipped to resync, 3 packets not read in time", as far as they apply.
    void AppendRingStatus(CString& status);
    bool Fail(int failure, const std::string& text);

    int m_failure = 0;
    std::string m_failureText;

private:
    std::unique_ptr<CTransportPacketFramer> m_framer;
    std::vector<BYTE> m_packets;
    CTransportPacketRing m_ring;
    std::atomic<std::uint64_t> m_skippedBytes{0};
};
