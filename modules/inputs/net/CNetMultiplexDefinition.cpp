#include "CNetMultiplexDefinition.h"

#include "CNetAddress.h"

bool CNetMultiplexDefinition::ReadFieldFromString(int index, const CString& text)
{
    CString* fields[] = {&m_name, &m_url, &m_interface};
    if (index < 0 || index > 2)
        return false;
    *fields[index] = text;   // a URL that does not parse is kept too, so that saving does not lose it
    return index != 1 || CNetAddress().Parse(text.Str());
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
