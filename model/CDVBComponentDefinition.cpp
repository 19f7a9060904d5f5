#include "model/CDVBComponentDefinition.h"

void CDVBComponentDefinition::CopyFrom(CDVBComponentDefinition* other)
{
    m_pid = other->m_pid;
    m_programNumber = other->m_programNumber;
    m_description = other->m_description;
    m_userValue = other->m_userValue;
}
