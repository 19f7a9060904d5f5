#include "modules/inputs/file/CFileMultiplexDefinition.h"

#include <cstdlib>

bool CFileMultiplexDefinition::ReadFieldFromString(int index, const CString& text)
{
    switch (index) {
    case 0:
        m_name = text;
        return true;
    case 1:
        m_path = text;
        return true;
    case 2: {
        if (text.CompareNoCase("fast") == 0) {
            m_pacing = Pacing::Fast;
            return true;
        }
        if (text.IsEmpty() || text.CompareNoCase("pcr") == 0) {
            m_pacing = Pacing::ProgramClock;
            return true;
        }
        char* end = nullptr;
        const double rate = std::strtod(text, &end);
        // no multiplex runs faster than a fibre link: an absurd rate is not a pacing
        if (end == nullptr || *end != '\0' || !(rate > 0) || !(rate <= MaximumMegabitsPerSecond))
            return false;   // the pacing held before stays
        m_pacing = Pacing::Fixed;
        m_megabitsPerSecond = rate;
        return true;
    }
    case 3:
        if (text.CompareNoCase("on") == 0 || text.CompareNoCase("loop") == 0 || text.CompareNoCase("yes") == 0)
            m_loop = true;
        else if (text.IsEmpty() || text.CompareNoCase("off") == 0 || text.CompareNoCase("no") == 0)
            m_loop = false;
        else
            return false;
        return true;
    default:
        return false;
    }
}

bool CFileMultiplexDefinition::WriteFieldToString(int index, CString& text)
{
    switch (index) {
    case 0:
        text = m_name;
        return true;
    case 1:
        text = m_path;
        return true;
    case 2:
        if (m_pacing == Pacing::Fast)
            text = "fast";
        else if (m_pacing == Pacing::ProgramClock)
            text = "pcr";
        else
            text.Format("%g", m_megabitsPerSecond);
        return true;
    case 3:
        text = m_loop ? "on" : "off";
        return true;
    default:
        return false;
    }
}

CString CFileMultiplexDefinition::GetFieldName(int index)
{
    static const char* const kNames[] = {"Name", "File", "Pacing", "Loop"};
    return index >= 0 && index < 4 ? kNames[index] : "Unknown";
}
