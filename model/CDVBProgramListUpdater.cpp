#include "model/CDVBProgramListUpdater.h"

#include "model/CDVBProgramList.h"
#include "model/CDVBTransportStreamUpdateHandler.h"
#include "platform/CSingleLock.h"
#include "si/CDVBEITSection.h"
#include "si/CDVBLogicalChannelDescriptor.h"
#include "si/CDVBNITSection.h"
#include "si/CDVBPATSection.h"
#include "si/CDVBPMTSection.h"
#include "si/CDVBSDTSection.h"

namespace {

constexpr BYTE kNITActual = 0x40;
constexpr BYTE kSDTActual = 0x42;
constexpr BYTE kEITPresentFollowingActual = 0x4E;

}  // namespace

void CDVBProgramListUpdater::Tell(WORD programNumber, int updateType)
{
    if (m_notify)
        m_notify(programNumber, updateType);
}

bool CDVBProgramListUpdater::ApplyPAT(CDVBPATSection* section)
{
    CSingleLock guard(m_lock);
    for (CDVBPATEntry* entry : section->m_entries)
        if (entry->m_programNumber != 0) {   // 0 names the network's PID, not a program
            m_programs.GetOrCreateProgram(entry->m_programNumber)->OnReceivePAT(section, entry);
            Tell(entry->m_programNumber, CDVBTransportStreamUpdateHandler::UpdatePAT);
        }
    GiveChannelNumbers();
    return true;
}

bool CDVBProgramListUpdater::ApplyPMT(CDVBPMTSection* section)
{
    CSingleLock guard(m_lock);
    m_programs.GetOrCreateProgram(section->m_tableIdExtension)->OnReceivePMT(section);
    Tell(section->m_tableIdExtension, CDVBTransportStreamUpdateHandler::UpdatePMT);
    return true;
}

bool CDVBProgramListUpdater::ApplySDT(CDVBSDTSection* section)
{
    if (m_actualOnly && section->m_tableId != kSDTActual)
        return false;
    CSingleLock guard(m_lock);
    for (CDVBSDTEntry* entry : section->m_entries) {
        m_programs.GetOrCreateProgram(entry->m_serviceId)->OnReceiveSDT(section, entry);
        Tell(entry->m_serviceId, CDVBTransportStreamUpdateHandler::UpdateSDT);
    }
    return true;
}

bool CDVBProgramListUpdater::ApplyEIT(CDVBEITSection* section)
{
    if (m_actualOnly && section->m_tableId != kEITPresentFollowingActual)
        return false;
    CSingleLock guard(m_lock);
    m_programs.GetOrCreateProgram(section->m_tableIdExtension)->OnReceiveEIT(section);
    Tell(section->m_tableIdExtension, CDVBTransportStreamUpdateHandler::UpdateEIT);
    return true;
}

bool CDVBProgramListUpdater::ApplyNIT(CDVBNITSection* section)
{
    // another network's numbers, or the SI collector's many streams, would number wrongly
    if (!m_actualOnly || section->m_tableId != kNITActual)
        return false;
    CSingleLock guard(m_lock);
    for (const CDVBNITEntry* entry : section->m_entries)
        for (const CDVBLogicalChannelDescriptor::Entry& channel : CDVBLogicalChannelDescriptor::Collect(entry->m_descriptors))
            m_channelNumbers[{entry->m_transportStreamId, channel.serviceId}] = {channel.number, channel.visible};
    GiveChannelNumbers();
    return true;
}

void CDVBProgramListUpdater::GiveChannelNumbers()
{
    for (CDVBProgram* program : m_programs) {
        if (!program->m_receivedPAT)
            continue;
        const auto found = m_channelNumbers.find({program->m_patTransportStreamId, program->m_programNumber});
        if (found == m_channelNumbers.end() || (program->m_logicalChannelNumber == found->second.first &&
                                                program->m_logicalChannelVisible == found->second.second))
            continue;
        program->m_logicalChannelNumber = found->second.first;
        program->m_logicalChannelVisible = found->second.second;
        Tell(program->m_programNumber, CDVBTransportStreamUpdateHandler::UpdateSDT);
    }
}
