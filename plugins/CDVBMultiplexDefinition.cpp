#include "plugins/CDVBMultiplexDefinition.h"

bool CDVBMultiplexDefinition::ReadFromString(const CString& line)
{
    int position = 0;
    int index = 0;
    m_firstFieldNotRead = -1;
    for (;;) {
        const int comma = line.Find(',', position);
        CString field = comma < 0 ? line.Mid(position) : line.Mid(position, comma - position);
        if (!ReadFieldFromString(index, field.Trim(WhiteSpace)) && m_firstFieldNotRead < 0 && index < GetTotalFieldCount())
            m_firstFieldNotRead = index;
        ++index;
        if (comma < 0)
            break;
        position = comma + 1;
    }
    return index >= GetRequiredFieldCount();
}

bool CDVBMultiplexDefinition::WriteToString(CString& line)
{
    const int count = GetTotalFieldCount();
    line.Empty();
    for (int i = 0; i < count; ++i) {
        CString field;
        WriteFieldToString(i, field);
        line += field;
        if (i < count - 1)
            line += ", ";
    }
    return true;
}

bool CDVBMultiplexDefinition::ReadFieldFromString(int, const CString&)
{
    return true;
}

bool CDVBMultiplexDefinition::WriteFieldToString(int, CString&)
{
    return true;
}

void CDVBMultiplexDefinition::CopyFrom(CDVBMultiplexDefinition* source)
{
    const int count = source->GetTotalFieldCount();
    for (int i = 0; i < count; ++i) {
        CString field;
        source->WriteFieldToString(i, field);
        ReadFieldFromString(i, field);
    }
}
