#include "CNetAddress.h"

#include <cstdlib>

bool CNetAddress::Parse(const std::string& url)
{
    m_url = url;
    const std::size_t colon = url.find("://");
    if (colon == std::string::npos)
        return false;
    const std::string scheme = url.substr(0, colon);
    if (scheme == "http" || scheme == "https") {
        m_scheme = Scheme::Http;
        return url.size() > colon + 3;   // libcurl reads the rest
    }
    if (scheme != "udp" && scheme != "rtp")
        return false;
    m_scheme = scheme == "udp" ? Scheme::Udp : Scheme::Rtp;
    std::string rest = url.substr(colon + 3);
    const std::size_t at = rest.find('@');
    if (at != std::string::npos) {
        m_source = rest.substr(0, at);
        rest = rest.substr(at + 1);
    }
    std::size_t portAt = std::string::npos;
    if (!rest.empty() && rest[0] == '[') {   // [IPv6]:port
        const std::size_t close = rest.find(']');
        if (close == std::string::npos)
            return false;
        m_host = rest.substr(1, close - 1);
        portAt = rest.find(':', close);
    } else {
        portAt = rest.rfind(':');
        m_host = rest.substr(0, portAt);
    }
    if (portAt == std::string::npos)
        return false;
    char* end = nullptr;
    const long port = std::strtol(rest.c_str() + portAt + 1, &end, 10);
    if (end == rest.c_str() + portAt + 1 || (*end != '\0' && *end != '/') || port <= 0 || port > 65535)
        return false;
    m_port = int(port);
    return true;   // an empty host listens on every address
}
