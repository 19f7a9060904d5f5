#include "modules/inputs/dvb/CLinuxDVBSignal.h"

#include <cstdio>

std::string CLinuxDVBSignal::ToString() const
{
    std::string text = m_locked ? "locked" : m_hasCarrier ? "signal, no lock" : "no signal";
    char value[48];
    if (m_strengthScale == Decibel)
        std::snprintf(value, sizeof value, ", signal %.1f dBm", m_strengthDbm);
    else if (m_strengthScale == Relative)
        std::snprintf(value, sizeof value, ", signal %.0f%%", m_strengthPercent);
    else
        value[0] = '\0';
    text += value;
    if (m_snrScale == Decibel)
        std::snprintf(value, sizeof value, ", SNR %.1f dB", m_snrDb);
    else if (m_snrScale == Relative)
        std::snprintf(value, sizeof value, ", SNR %.0f%%", m_snrPercent);
    else
        value[0] = '\0';
    text += value;
    if (m_bitErrorRate >= 0) {
        std::snprintf(value, sizeof value, ", BER %.1e", m_bitErrorRate);
        text += value;
    }
    if (m_uncorrectedBlocks >= 0)
        text += ", " + std::to_string(m_uncorrectedBlocks) + (m_uncorrectedBlocks == 1 ? " uncorrected block" : " uncorrected blocks");
    return text;
}
