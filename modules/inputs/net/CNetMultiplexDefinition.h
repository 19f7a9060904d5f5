#pragma once
// One transport stream on the network: name, URL (udp://[source@]group:port,
// rtp://..., http://host/path, https://...) and, optionally, the interface a multicast
// group is joined on. A line reads "News, udp://239.1.1.1:1234, eth0".
#include "plugins/CDVBMultiplexDefinition.h"

class CNetMultiplexDefinition : public CDVBMultiplexDefinition
{
public:
    CString GetName() override { return m_name; }
    bool ReadFieldFromString(int index, const CString& text) override;
    bool WriteFieldToString(int index, CString& text) override;
    int GetRequiredFieldCount() override { return 2; }
    int GetOptionalFieldCount() override { return 1; }
    CString GetFieldName(int index) override;

    CString m_name;
    CString m_url;
    CString m_interface;
};
