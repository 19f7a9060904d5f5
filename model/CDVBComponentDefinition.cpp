#include "model/CDVBComponentDefinition.h"

void CDVBComponentDefinition::CopyFrom(CDVBComponentDefinition* other)
{
    m_pid = other->m_pid;
    m_programNumber = other->m_programNumber;
    m_description = other->m_description;
    m_streamType = other->m_streamType;
    m_codecName = other->m_codecName;
    m_userValue = other->m_userValue;
}
