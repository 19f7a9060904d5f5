#pragma once
// A transport stream from the network: UDP (unicast or multicast, source-specific where
// given), RTP (payload type 33, losses counted, a few datagrams reordered) or HTTP (a GET
// through libcurl in the plug-in's backend, reconnected when the connection drops or a
// second passes without data). A group that falls silent is left and joined again. A socket thread cuts what
// arrives into whole packets (the sync byte found again after damage) and fills a ring
// that ReadBuffer drains without waiting; Start empties it, so that a period begins with
// what arrives from then on.
#include "modules/inputs/common/CPacketRingSource.h"
#include "modules/inputs/net/CNetAddress.h"
#include "modules/inputs/net/CRtpDepacketiser.h"
#include "platform/CEvent.h"

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CPluginBackend;
struct addrinfo;

class CNetInputSource : public CPacketRingSource
{
public:
    // `http` (not owned) gets HTTP streams; without it they fail to open.
    CNetInputSource(const std::string& url, const std::string& interfaceName, CPluginBackend* http);
    ~CNetInputSource() override;

    // Opens the socket, or asks the HTTP server, and starts the socket thread. False with
    // GetFailure set (CLUMInputPluginExtension's codes) and GetFailureText saying why.
    bool Open();

    void GetStatus(CString& status) override;

    std::uint64_t GetPacketsLost() const { return m_rtp.GetLost(); }

private:
    bool OpenSocket();
    // Joins the multicast group on the interface named, else, source-specific, on the one
    // the route to the source leads through (the kernel's choice for any source).
    bool Join(const addrinfo* group);
    // Leaves the group joined and joins it again, as a router may have forgotten it; over
    // HTTP, drops the connection for a new one.
    bool Reopen() override;
    void SocketThread();
    void HttpThread();
    void OnDatagram(const BYTE* data, std::size_t length);
    static bool OnHttpData(void* source, const char* contentType, const unsigned char* data, std::size_t length);
    static bool OnHttpGoOn(void* source);

    CNetAddress m_address;
    std::string m_interface;
    int m_socket = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    CEvent m_stopEvent{true, false};
    CEvent m_answered{true, false};   // HTTP: the first bytes, or a failure that ends it
    bool m_httpChecked = false;   // the response's type looked at
    CPluginBackend* m_http;

    CRtpDepacketiser m_rtp;   // socket thread only, but for its count

    // the membership joined, for leaving it and joining again
    int m_level = 0;
    bool m_sourceSpecific = false;
    group_req m_group{};
    group_source_req m_sourceGroup{};
    bool m_joined = false;
    bool m_httpData = false;         // the HTTP connection in progress brought data
    bool m_dropConnection = false;   // it stalled: connect again
};
