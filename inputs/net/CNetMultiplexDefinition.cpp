#include "CNetMultiplexDefinition.h"

bool CNetMultiplexDefinition::ReadFieldFromString(int index, const CString& text)
{
    CString* fields[] = {&m_name, &m_url, &m_interface};
    if (index < 0 || index > 2)
        return false;
    *fields[index] = text;
    return true;
}

bool CNetMultiplexDefinition::WriteFieldToString(int index, CString& text)
{
    const CString* fields[] = {&m_name, &m_url, &m_interface};
    if (index < 0 || index > 2)
        return false;
    text = *fields[index];
    return true;
}

CString CNetMultiplexDefinition::GetFieldName(int index)
{
    static const char* const kNames[] = {"Name", "URL", "Interface"};
    return index >= 0 && index < 3 ? kNames[index] : "Unknown";
}
