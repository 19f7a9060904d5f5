#include "model/CDVBProgramList.h"

CDVBProgram* CDVBProgramList::GetProgram(WORD programNumber) const
{
    for (CDVBProgram* program : *this) {
        if (program->m_programNumber == programNumber)
            return program;
        if (program->m_programNumber > programNumber)
            break;   // sorted: it is not further on
    }
    return nullptr;
}

CDVBProgram* CDVBProgramList::GetOrCreateProgram(WORD programNumber)
{
    auto position = begin();
    for (; position != end(); ++position) {
        if ((*position)->m_programNumber == programNumber)
            return *position;
        if ((*position)->m_programNumber > programNumber)
            break;
    }
    return *insert(position, new CDVBProgram(programNumber));
}
