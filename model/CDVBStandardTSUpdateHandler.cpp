#include "model/CDVBStandardTSUpdateHandler.h"

#include "platform/CSingleLock.h"

CDVBStandardTSUpdateHandler::~CDVBStandardTSUpdateHandler()
{
    ClearUpdates();
}

void CDVBStandardTSUpdateHandler::OnServiceInformationUpdate(WORD programNumber, int updateType)
{
    CSingleLock guard(m_lock);
    m_updates.push_back(new CDVBUpdateRecord(programNumber, updateType));
    m_updatesOccurred = true;
}

bool CDVBStandardTSUpdateHandler::RemoveUpdate(WORD& programNumber, int& updateType)
{
    CSingleLock guard(m_lock);
    if (m_updates.empty())
        return false;
    CDVBUpdateRecord* oldest = m_updates.front();
    m_updates.pop_front();
    programNumber = oldest->m_programNumber;
    updateType = oldest->m_updateType;
    delete oldest;
    if (m_updates.empty())
        m_updatesOccurred = false;
    return true;
}

void CDVBStandardTSUpdateHandler::ClearUpdates()
{
    CSingleLock guard(m_lock);
    for (CDVBUpdateRecord* record : m_updates)
        delete record;
    m_updates.clear();
    m_updatesOccurred = false;
}
