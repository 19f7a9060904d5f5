#pragma once
// Terrestrial delivery system descriptor (0x5A): the DVB-T parameters of a multiplex,
// raw, with texts for display.
#include "si/CDVBDescriptor.h"

class CDVBTerrestrialDeliverySystemDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x5A;

    bool Parse(CDVBByteReader payload) override;
    void CopyFrom(const CDVBDescriptor* source) override;

    const char* GetBandwidthText() const;
    const char* GetConstellationText() const;
    const char* GetHierarchyText() const;
    const char* GetCodeRateHPText() const;
    const char* GetCodeRateLPText() const;
    const char* GetGuardIntervalText() const;
    const char* GetTransmissionModeText() const;

    DWORD m_centreFrequency = 0;   // units of 10 Hz
    BYTE m_bandwidth = 0;
    BYTE m_reserved1 = 0;
    BYTE m_constellation = 0;
    BYTE m_hierarchyInformation = 0;
    BYTE m_codeRateHP = 0;
    BYTE m_codeRateLP = 0;
    BYTE m_guardInterval = 0;
    BYTE m_transmissionMode = 0;
    BYTE m_otherFrequencyFlag = 0;
    DWORD m_reserved2 = 0;
};
