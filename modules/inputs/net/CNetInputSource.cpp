#include "modules/inputs/net/CNetInputSource.h"

#include "modules/inputs/net/NetHttpBackend.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "plugins/CPluginBackend.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <cstring>

namespace {

constexpr DWORD kAnswerWaitMs = 5000;      // an HTTP server that has not answered by then does not
constexpr DWORD kFirstRetryMs = 250;       // after a connection that brought nothing; doubling
constexpr DWORD kLongestRetryMs = 2000;

bool IsMulticast(const sockaddr* address)
{
    if (address->sa_family == AF_INET)
        return IN_MULTICAST(ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr));
    return address->sa_family == AF_INET6 &&
           IN6_IS_ADDR_MULTICAST(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
}

bool SameHost(const sockaddr* a, const sockaddr* b)
{
    if (a->sa_family != b->sa_family)
        return false;
    if (a->sa_family == AF_INET)
        return reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in*>(b)->sin_addr.s_addr;
    return a->sa_family == AF_INET6 && IN6_ARE_ADDR_EQUAL(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr,
                                                           &reinterpret_cast<const sockaddr_in6*>(b)->sin6_addr);
}

// The interface the route to `to` leads through, where a source's datagrams come in; 0,
// the kernel's choice, when there is no route.
unsigned RouteInterface(const sockaddr* to, socklen_t length)
{
    const int probe = ::socket(to->sa_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_storage local{};
    socklen_t size = sizeof local;
    const bool routed = probe >= 0 && ::connect(probe, to, length) == 0 &&   // sends nothing
                        ::getsockname(probe, reinterpret_cast<sockaddr*>(&local), &size) == 0;
    if (probe >= 0)
        ::close(probe);
    ifaddrs* interfaces = nullptr;
    if (!routed || ::getifaddrs(&interfaces) != 0)
        return 0;
    unsigned index = 0;
    for (const ifaddrs* i = interfaces; i != nullptr && index == 0; i = i->ifa_next)
        if (i->ifa_addr && SameHost(i->ifa_addr, reinterpret_cast<const sockaddr*>(&local)))
            index = ::if_nametoindex(i->ifa_name);
    ::freeifaddrs(interfaces);
    return index;
}

}  // namespace

CNetInputSource::CNetInputSource(const std::string& url, const std::string& interfaceName, CPluginBackend* http)
    : m_interface(interfaceName), m_http(http),
      m_rtp([this](const BYTE* payload, std::size_t length) { Feed(payload, length, true); })
{
    m_address.m_url = url;
}

CNetInputSource::~CNetInputSource()
{
    m_stop = true;
    m_stopEvent.Set();
    if (m_thread.joinable())
        m_thread.join();
    if (m_socket >= 0)
        ::close(m_socket);
}

bool CNetInputSource::Open()
{
    if (!m_address.Parse(m_address.m_url))
        return Fail(CLUMInputPluginExtension::OpenFailureUnreadable, "the URL does not parse");
    if (m_address.m_scheme != CNetAddress::Scheme::Http) {
        if (!OpenSocket())
            return false;
        m_thread = std::thread([this] { SocketThread(); });
        return true;
    }
    m_thread = std::thread([this] { HttpThread(); });
    // a server that refuses, answers a page or an error, is said at once
    if (m_answered.Wait(kAnswerWaitMs) != WAIT_OBJECT_0)
        return Fail(CLUMInputPluginExtension::OpenFailureDevice, "the server did not answer");
    return m_failure == CLUMInputPluginExtension::OpenFailureNone;
}

bool CNetInputSource::OpenSocket()
{
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    const std::string port = std::to_string(m_address.m_port);
    if (::getaddrinfo(m_address.m_host.empty() ? nullptr : m_address.m_host.c_str(), port.c_str(), &hints, &found) != 0)
        return Fail(CLUMInputPluginExtension::OpenFailureDevice, "the host is unknown");
    const addrinfo* a = found;
    m_socket = ::socket(a->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1, size = 8 << 20;
    // a group's datagrams go to every socket joined to it; a unicast port held twice would
    // give each datagram to one of them, so a second receiver there is refused
    if (IsMulticast(a->ai_addr))
        ::setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);   // bursts of a multiplex
    const bool bound = m_socket >= 0 && ::bind(m_socket, a->ai_addr, a->ai_addrlen) == 0;
    const int error = errno;
    const bool ok = bound && (!IsMulticast(a->ai_addr) || Join(a));
    ::freeaddrinfo(found);
    if (!bound)
        return Fail(CLUMInputPluginExtension::OpenFailureDevice, std::string("cannot listen there: ") + std::strerror(error));
    return ok;
}

bool CNetInputSource::Join(const addrinfo* group)
{
    unsigned index = 0;
    if (!m_interface.empty() && (index = ::if_nametoindex(m_interface.c_str())) == 0)
        return Fail(CLUMInputPluginExtension::OpenFailureDevice, "there is no network interface " + m_interface);
    m_level = group->ai_family == AF_INET6 ? IPPROTO_IPV6 : IPPROTO_IP;
    m_sourceSpecific = !m_address.m_source.empty();
    if (!m_sourceSpecific) {
        m_group.gr_interface = index;
        std::memcpy(&m_group.gr_group, group->ai_addr, group->ai_addrlen);
    } else {
        std::string host = m_address.m_source;
        if (host.size() > 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        addrinfo hints{}, *source = nullptr;
        hints.ai_family = group->ai_family;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
        if (::getaddrinfo(host.c_str(), std::to_string(m_address.m_port).c_str(), &hints, &source) != 0)
            return Fail(CLUMInputPluginExtension::OpenFailureUnreadable, "the source address does not parse");
        m_sourceGroup.gsr_interface = index ? index : RouteInterface(source->ai_addr, source->ai_addrlen);
        std::memcpy(&m_sourceGroup.gsr_group, group->ai_addr, group->ai_addrlen);
        std::memcpy(&m_sourceGroup.gsr_source, source->ai_addr, source->ai_addrlen);
        ::freeaddrinfo(source);
    }
    const bool ok = m_sourceSpecific
                        ? ::setsockopt(m_socket, m_level, MCAST_JOIN_SOURCE_GROUP, &m_sourceGroup, sizeof m_sourceGroup) == 0
                        : ::setsockopt(m_socket, m_level, MCAST_JOIN_GROUP, &m_group, sizeof m_group) == 0;
    if (!ok)
        return Fail(CLUMInputPluginExtension::OpenFailureDevice, std::string("cannot join the group: ") + std::strerror(errno));
    m_joined = true;
    return true;
}

bool CNetInputSource::Reopen()
{
    if (m_address.m_scheme == CNetAddress::Scheme::Http) {
        m_dropConnection = true;   // the thread connects again at once, and counts it
        return false;
    }
    if (!m_joined)
        return false;   // unicast: there is nothing to ask for, the socket just listens on
    if (m_sourceSpecific) {
        ::setsockopt(m_socket, m_level, MCAST_LEAVE_SOURCE_GROUP, &m_sourceGroup, sizeof m_sourceGroup);
        ::setsockopt(m_socket, m_level, MCAST_JOIN_SOURCE_GROUP, &m_sourceGroup, sizeof m_sourceGroup);
    } else {
        ::setsockopt(m_socket, m_level, MCAST_LEAVE_GROUP, &m_group, sizeof m_group);
        ::setsockopt(m_socket, m_level, MCAST_JOIN_GROUP, &m_group, sizeof m_group);
    }
    return true;
}

void CNetInputSource::SocketThread()
{
    std::vector<BYTE> datagram(65536);
    NoteAlive();
    while (!m_stop) {
        WatchSilence();
        pollfd wait{m_socket, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0)   // a tenth of a second: the stop, and a silence, are seen soon
            continue;
        const ssize_t n = ::recv(m_socket, datagram.data(), datagram.size(), 0);
        if (n > 0)
            OnDatagram(datagram.data(), std::size_t(n));
    }
}

void CNetInputSource::OnDatagram(const BYTE* data, std::size_t length)
{
    if (m_address.m_scheme == CNetAddress::Scheme::Rtp)
        m_rtp.Push(data, length);
    else
        Feed(data, length, true);
}

bool CNetInputSource::OnHttpData(void* object, const char* contentType, const unsigned char* data, std::size_t length)
{
    auto* self = static_cast<CNetInputSource*>(object);
    if (self->m_stop)
        return false;   // ends the transfer
    if (!self->m_httpChecked) {
        self->m_httpChecked = true;
        if (contentType && std::strstr(contentType, "html")) {   // a page, not a stream: nothing to wait for
            self->Fail(CLUMInputPluginExtension::OpenFailureNotTransportStream,
                       std::string("the server answered a page (") + contentType + "), not a stream");
            self->m_answered.Set();
            return false;
        }
    }
    self->m_answered.Set();
    self->m_httpData = true;
    self->Feed(data, length, false);
    return true;
}

bool CNetInputSource::OnHttpGoOn(void* object)
{
    auto* self = static_cast<CNetInputSource*>(object);
    if (self->m_stop)
        return false;
    if (!self->m_answered.IsSet())
        return true;   // the first answer has Open's own wait
    // a connection that stalls is dropped when the stream counts as lost, and again at
    // each back-off step after, while the server still says nothing
    self->WatchSilence();
    return !self->m_dropConnection;
}

void CNetInputSource::HttpThread()
{
    auto* get = m_http ? m_http->Get<decltype(LUMNetHttpGet)>("LUMNetHttpGet") : nullptr;
    if (get == nullptr) {
        Fail(CLUMInputPluginExtension::OpenFailureDevice,
             "HTTP needs libLUMNetInputBackend.so" + std::string(m_http ? ": " + m_http->GetError().Str() : ""));
        m_answered.Set();
        return;
    }
    DWORD retryMs = 0;
    for (bool first = true; !m_stop; first = false) {
        m_httpChecked = false;
        m_httpData = false;
        m_dropConnection = false;
        long status = 0;
        char error[256] = "the server closed the connection without sending anything";
        const int result = get(m_address.m_url.c_str(), &CNetInputSource::OnHttpData, &CNetInputSource::OnHttpGoOn, this,
                               &status, error, sizeof error);
        if (m_stop || m_failure != CLUMInputPluginExtension::OpenFailureNone)
            break;
        if (first && !m_answered.IsSet()) {   // never a byte: say why, once, and stop trying
            if (result == LUMNetHttpStatusError)
                Fail(CLUMInputPluginExtension::OpenFailureUnreadable, "the server answered " + std::to_string(status));
            else
                Fail(CLUMInputPluginExtension::OpenFailureDevice, error);
            m_answered.Set();
            break;
        }
        // at once after a connection that brought data or stalled; a server that refuses or
        // closes at once is asked less and less often
        retryMs = m_httpData || m_dropConnection ? 0 : retryMs == 0 ? kFirstRetryMs : std::min(retryMs * 2, kLongestRetryMs);
        CountReopening();
        m_stopEvent.Wait(retryMs);
    }
}

void CNetInputSource::GetStatus(CString& status)
{
    status = m_address.m_url.c_str();
    if (!m_interface.empty())
        status.AppendFormat(" on %s", m_interface.c_str());
    if (m_rtp.GetLost() > 0)
        status.AppendFormat(", %llu packets lost", static_cast<unsigned long long>(m_rtp.GetLost()));
    AppendRingStatus(status);
}
