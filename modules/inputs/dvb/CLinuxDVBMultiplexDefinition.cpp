#include "modules/inputs/dvb/CLinuxDVBMultiplexDefinition.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iterator>

namespace {

// A whole decimal number within [low, high], nothing around it.
bool ParseNumber(const CString& text, long long low, long long high, long long& value)
{
    const char* begin = text;
    if (!std::isdigit(static_cast<unsigned char>(begin[0])) && begin[0] != '-')
        return false;   // strtoll would skip spaces and take a sign
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(begin, &end, 10);
    return end != begin && *end == '\0' && errno == 0 && value >= low && value <= high;
}

}  // namespace

bool CLinuxDVBMultiplexDefinition::ReadFieldFromString(int index, const CString& text)
{
    long long value = 0;
    switch (index) {
    case 0:
        m_name = text;
        return true;
    case 1:   // kept even when unknown, so that saving the list does not lose it
        m_tuning.m_deliverySystem = text.Str();
        return CLinuxDVBTuning::IsDeliverySystem(m_tuning.m_deliverySystem);
    case 2:
    case 3:
        if (!ParseNumber(text, 0, 0xFFFFFFFFLL, value))
            return false;
        (index == 2 ? m_tuning.m_frequency : m_tuning.m_bandwidthOrSymbolRate) = std::uint32_t(value);
        return true;
    case 4:
    case 5:
        if (!ParseNumber(text, 0, 255, value))
            return false;
        (index == 4 ? m_tuning.m_adapter : m_tuning.m_frontend) = int(value);
        return true;
    case 6:
        if (!ParseNumber(text, -1, 255, value))
            return false;
        m_tuning.m_plp = int(value);
        return true;
    case 7:   // none, for all but satellite
        if (!text.IsEmpty() && CLinuxDVBTuning::PolarisationNumber(text.Str()) == 0)
            return false;
        m_tuning.m_polarisation = text.Str();
        return true;
    case 8:
        if (text.IsEmpty())
            return false;
        m_tuning.m_lnb = text.Str();
        return true;
    case 9:   // the four positions of a DiSEqC 1.0 switch
        if (!ParseNumber(text, -1, 3, value))
            return false;
        m_tuning.m_satelliteNumber = int(value);
        return true;
    case 10: {   // kept as written when it does not read, so that saving does not lose it
        std::string problem;
        const bool read = CLinuxDVBParameters::Parse(text.Str(), m_tuning.m_parameters, problem);
        m_unreadParameters = read ? std::string() : text.Str();
        return read;
    }
    default:
        return false;
    }
}

bool CLinuxDVBMultiplexDefinition::WriteFieldToString(int index, CString& text)
{
    switch (index) {
    case 0: text = m_name; return true;
    case 1: text = m_tuning.m_deliverySystem.c_str(); return true;
    case 2: text.Format("%u", m_tuning.m_frequency); return true;
    case 3: text.Format("%u", m_tuning.m_bandwidthOrSymbolRate); return true;
    case 4: text.Format("%d", m_tuning.m_adapter); return true;
    case 5: text.Format("%d", m_tuning.m_frontend); return true;
    case 6: text.Format("%d", m_tuning.m_plp); return true;
    case 7: text = m_tuning.m_polarisation.c_str(); return true;
    case 8: text = m_tuning.m_lnb.c_str(); return true;
    case 9: text.Format("%d", m_tuning.m_satelliteNumber); return true;
    case 10:
        text = (m_unreadParameters.empty() ? CLinuxDVBParameters::Format(m_tuning.m_parameters) : m_unreadParameters).c_str();
        return true;
    default: return false;
    }
}

CString CLinuxDVBMultiplexDefinition::GetFieldName(int index)
{
    static const char* const kNames[] = {"Name", "Delivery system", "Frequency", "Bandwidth or symbol rate",
                                         "Adapter", "Frontend", "PLP", "Polarisation", "LNB", "DiSEqC position",
                                         "Parameters"};
    return index >= 0 && index < int(std::size(kNames)) ? kNames[index] : "Unknown";
}
