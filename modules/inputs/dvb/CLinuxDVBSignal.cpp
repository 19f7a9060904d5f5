#include "modules/inputs/dvb/CLinuxDVBSignal.h"

#include <cstdio>

namespace {

// ", signal 78%" or ", C/N 23.5 dB": a measure in the scale the driver gave it.
std::string Measure(const char* name, CLinuxDVBSignal::Scale scale, double decibels, const char* unit, double percent)
{
    char text[48] = "";
    if (scale == CLinuxDVBSignal::Decibel)
        std::snprintf(text, sizeof text, ", %s %.1f %s", name, decibels, unit);
    else if (scale == CLinuxDVBSignal::Relative)
        std::snprintf(text, sizeof text, ", %s %.0f%%", name, percent);
    return text;
}

}  // namespace

std::string CLinuxDVBSignal::ToString() const
{
    std::string text = m_locked ? "locked" : m_hasCarrier ? "signal, no lock" : "no signal";
    text += Measure("signal", m_strengthScale, m_strengthDbm, "dBm", m_strengthPercent);
    text += Measure("C/N", m_snrScale, m_snrDb, "dB", m_snrPercent);
    char value[48];
    if (m_bitErrorRate >= 0) {
        std::snprintf(value, sizeof value, ", BER %.1e", m_bitErrorRate);
        text += value;
    }
    if (m_uncorrectedBlocks >= 0)
        text += ", " + std::to_string(m_uncorrectedBlocks) + (m_uncorrectedBlocks == 1 ? " uncorrected block" : " uncorrected blocks");
    return text;
}
