#pragma once
// One queued update: a program number and an update type code.
#include "platform/LUMTypes.h"

class CDVBUpdateRecord
{
public:
    CDVBUpdateRecord(WORD programNumber, int updateType) : m_programNumber(programNumber), m_updateType(updateType) {}
    virtual ~CDVBUpdateRecord() = default;

    WORD m_programNumber;
    int m_updateType;
};
