#pragma once
// What an input plug-in needs to tune to one multiplex: numbered text fields (required
// ones first) whose meaning only the plug-in knows, kept as one line of a text file,
// fields separated by ", ". Subclasses declare their fields; reading, writing and copying
// whole definitions work for them unchanged.
#include "platform/CString.h"

class CDVBMultiplexDefinition
{
public:
    virtual ~CDVBMultiplexDefinition() = default;

    virtual CString GetName() { return "Unknown"; }
    // False when the line has fewer fields than are required; the fields read stay set.
    // A field whose text does not parse keeps its value and is noted in m_firstFieldNotRead.
    virtual bool ReadFromString(const CString& line);
    virtual bool WriteToString(CString& line);
    virtual bool ReadFieldFromString(int index, const CString& text);
    virtual bool WriteFieldToString(int index, CString& text);
    virtual int GetRequiredFieldCount() { return 0; }
    virtual int GetOptionalFieldCount() { return 0; }
    virtual int GetTotalFieldCount() { return GetOptionalFieldCount() + GetRequiredFieldCount(); }
    virtual CString GetFieldName(int index) { return index == 0 ? "Name" : "Unknown"; }
    virtual void CopyFrom(CDVBMultiplexDefinition* source);

    int m_firstFieldNotRead = -1;   // by the last ReadFromString; -1 when every field read

    // What reading trims from lines and fields.
    static constexpr const char* WhiteSpace = "\t\n\r ";
};
