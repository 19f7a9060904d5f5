#pragma once
// A transport stream from the network: UDP (unicast or multicast, source-specific where
// given), RTP (payload type 33, losses counted, a few datagrams reordered) or HTTP (a GET
// through libcurl in the plug-in's backend, reconnected when the connection drops). A socket thread cuts what
// arrives into whole packets (the sync byte found again after damage) and fills a ring
// that ReadBuffer drains without waiting; Start empties it, so that a period begins with
// what arrives from then on.
#include "core/CDVBTransportStreamSource.h"
#include "modules/inputs/common/CTransportPacketRing.h"
#include "modules/inputs/net/CNetAddress.h"
#include "modules/inputs/net/CRtpDepacketiser.h"
#include "platform/CEvent.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CPluginBackend;
class CTransportPacketFramer;
struct addrinfo;

class CNetInputSource : public CDVBTransportStreamSource
{
public:
    static constexpr std::size_t RingPackets = 65536;   // 12 MB: seconds of a multiplex

    // `http` (not owned) gets HTTP streams; without it they fail to open.
    CNetInputSource(const std::string& url, const std::string& interfaceName, CPluginBackend* http);
    ~CNetInputSource() override;

    // Opens the socket, or asks the HTTP server, and starts the socket thread. False with
    // GetFailure set (CLUMInputPluginExtension's codes) and GetFailureText saying why.
    bool Open();
    int GetFailure() const { return m_failure; }
    const std::string& GetFailureText() const { return m_failureText; }

    bool Start() override;
    DWORD ReadBuffer(BYTE* buffer, DWORD size) override;
    void GetStatus(CString& status) override;

    std::uint64_t GetPacketsLost() const { return m_rtp.GetLost(); }
    std::uint64_t GetReconnections() const { return m_reconnections; }

private:
    bool OpenSocket();
    // Joins the multicast group on the interface named, else, source-specific, on the one
    // the route to the source leads through (the kernel's choice for any source).
    bool Join(const addrinfo* group);
    void SocketThread();
    void HttpThread();
    void OnDatagram(const BYTE* data, std::size_t length);
    // `datagram`: the bytes are one UDP or RTP payload, which ends with a packet.
    void Feed(const BYTE* data, std::size_t length, bool datagram);
    static bool OnHttpData(void* source, const char* contentType, const unsigned char* data, std::size_t length);
    bool Fail(int failure, const std::string& text);

    CNetAddress m_address;
    std::string m_interface;
    int m_socket = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    CEvent m_stopEvent{true, false};
    CEvent m_answered{true, false};   // HTTP: the first bytes, or a failure that ends it
    int m_failure = 0;
    std::string m_failureText;

    std::unique_ptr<CTransportPacketFramer> m_framer;   // socket thread only
    std::vector<BYTE> m_packets;
    bool m_httpChecked = false;   // the response's type looked at
    CPluginBackend* m_http;

    CRtpDepacketiser m_rtp;   // socket thread only, but for its count

    CTransportPacketRing m_ring;
    std::atomic<std::uint64_t> m_reconnections{0};
    std::atomic<std::uint64_t> m_skippedBytes{0};
};
