#pragma once
// A stream's URL taken apart: udp://[source@]host:port, rtp://[source@]host:port (IPv6
// hosts in brackets), http://host[:port]/path and https://...
#include <string>

class CNetAddress
{
public:
    enum class Scheme
    {
        Udp,
        Rtp,
        Http,
    };

    // False when the URL does not parse.
    bool Parse(const std::string& url);

    Scheme m_scheme = Scheme::Udp;
    std::string m_url;
    std::string m_source;   // source-specific multicast, empty for any
    std::string m_host;
    int m_port = 0;
};
