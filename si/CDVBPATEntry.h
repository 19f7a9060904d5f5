#pragma once
// One program of a program association section.
#include "platform/LUMTypes.h"

class CDVBPATEntry
{
public:
    virtual ~CDVBPATEntry() = default;

    WORD m_programNumber = 0;
    BYTE m_reserved = 0;
    WORD m_pid = 0;   // the network PID for program 0, else the program map PID
};
