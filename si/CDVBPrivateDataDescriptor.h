#pragma once
// Private data descriptor (0x5F, private_data_specifier): whose private descriptors follow it
// in its loop.
#include "si/CDVBDescriptor.h"

class CDVBPrivateDataDescriptor : public CDVBDescriptor
{
public:
    static constexpr BYTE Tag = 0x5F;
    static constexpr DWORD EACEM = 0x00000028;
    static constexpr DWORD NorDig = 0x00000029;
    static constexpr DWORD DTG = 0x0000233A;        // UK
    static constexpr DWORD FreeTVAustralia = 0x00003200;

    bool Parse(CDVBByteReader payload) override { return payload.Read32(m_specifier); }
    void CopyFrom(const CDVBDescriptor* source) override;

    DWORD m_specifier = 0;
};
