#include "si/CDVBTerrestrialDeliverySystemDescriptor.h"

namespace {

template <std::size_t N>
const char* Lookup(const char* const (&table)[N], BYTE value)
{
    return value < N ? table[value] : "unknown";
}

const char* const kCodeRates[] = {"1/2", "2/3", "3/4", "5/6", "7/8", "reserved 1", "reserved 2", "reserved 3"};

}  // namespace

bool CDVBTerrestrialDeliverySystemDescriptor::Parse(CDVBByteReader payload)
{
    BYTE bandwidth = 0, modulation = 0, rates = 0;
    // all of it or nothing: a frequency without its parameters tunes nothing
    if (payload.Remaining() < 11 || !payload.Read32(m_centreFrequency) || !payload.ReadByte(bandwidth) ||
        !payload.ReadByte(modulation) || !payload.ReadByte(rates) || !payload.Read32(m_reserved2))
        return false;
    m_bandwidth = BYTE(bandwidth >> 5);
    m_reserved1 = BYTE(bandwidth & 0x1F);
    m_constellation = BYTE(modulation >> 6);
    m_hierarchyInformation = BYTE((modulation >> 3) & 7);
    m_codeRateHP = BYTE(modulation & 7);
    m_codeRateLP = BYTE(rates >> 5);
    m_guardInterval = BYTE((rates >> 3) & 3);
    m_transmissionMode = BYTE((rates >> 1) & 3);
    m_otherFrequencyFlag = BYTE(rates & 1);
    return true;
}

void CDVBTerrestrialDeliverySystemDescriptor::CopyFrom(const CDVBDescriptor* source)
{
    CDVBDescriptor::CopyFrom(source);
    const auto* from = static_cast<const CDVBTerrestrialDeliverySystemDescriptor*>(source);
    m_centreFrequency = from->m_centreFrequency;
    m_bandwidth = from->m_bandwidth;
    m_reserved1 = from->m_reserved1;
    m_constellation = from->m_constellation;
    m_hierarchyInformation = from->m_hierarchyInformation;
    m_codeRateHP = from->m_codeRateHP;
    m_codeRateLP = from->m_codeRateLP;
    m_guardInterval = from->m_guardInterval;
    m_transmissionMode = from->m_transmissionMode;
    m_otherFrequencyFlag = from->m_otherFrequencyFlag;
    m_reserved2 = from->m_reserved2;
}

const char* CDVBTerrestrialDeliverySystemDescriptor::GetBandwidthText() const
{
    static const char* const kTable[] = {"8MHz", "7MHz", "6MHz", "reserved 1",
                                         "reserved 2", "reserved 3", "reserved 4", "reserved 5"};
    return Lookup(kTable, m_bandwidth);
}

const char* CDVBTerrestrialDeliverySystemDescriptor::GetConstellationText() const
{
    static const char* const kTable[] = {"QPSK", "16-QAM", "64-QAM", "reserved"};
    return Lookup(kTable, m_constellation);
}

const char* CDVBTerrestrialDeliverySystemDescriptor::GetHierarchyText() const
{
    static const char* const kTable[] = {"non-hierarchical", "alpha 1", "alpha 2", "alpha 3",
                                         "reserved 1", "reserved 2", "reserved 3", "reserved 4"};
    return Lookup(kTable, m_hierarchyInformation);
}

const char* CDVBTerrestrialDeliverySystemDescriptor::GetCodeRateHPText() const
{
    return Lookup(kCodeRates, m_codeRateHP);
}

const char* CDVBTerrestrialDeliverySystemDescriptor::GetCodeRateLPText() const
{
    return Lookup(kCodeRates, m_codeRateLP);
}

const char* CDVBTerrestrialDeliverySystemDescriptor::GetGuardIntervalText() const
{
    static const char* const kTable[] = {"1/32", "1/16", "1/8", "1/4"};
    return Lookup(kTable, m_guardInterval);
}

const char* CDVBTerrestrialDeliverySystemDescriptor::GetTransmissionModeText() const
{
    static const char* const kTable[] = {"2k", "8k", "reserved 1", "reserved 2"};
    return Lookup(kTable, m_transmissionMode);
}
