#include "si/CDVBSIReceiver.h"

#include "platform/CString.h"
#include "platform/DebugOutput.h"
#include "si/CDVBSIHandler.h"
#include "si/CalculateCRC32.h"

#include <algorithm>
#include <cstring>

CDVBSIReceiver::CDVBSIReceiver(CDVBSIHandler* handler)
    : m_storage(InitialBufferSize), m_buffer(m_storage.data()), m_handler(handler)
{
    m_type = TypeSI;
}

void CDVBSIReceiver::Start()
{
    m_bytesCollected = 0;
    m_headerKnown = false;
    m_lastContinuityCounter = -1;
    m_duplicateSeen = false;
}

void CDVBSIReceiver::AbandonSection()
{
    if (m_bytesCollected != 0)
        OnSectionAbandoned();
    m_bytesCollected = 0;
    m_headerKnown = false;
}

bool CDVBSIReceiver::CheckContinuity(const BYTE* packet)
{
    if (packet[1] & 0x80) {
        // the demodulator could not correct it: its bytes are not the broadcaster's, and
        // its counter says nothing either
        AbandonSection();
        return false;
    }
    const int counter = packet[3] & 0x0F;
    if (counter == m_lastContinuityCounter && !m_duplicateSeen) {
        m_duplicateSeen = true;   // sent twice, which a multiplexer may do once
        return false;
    }
    if (m_lastContinuityCounter >= 0 && counter != ((m_lastContinuityCounter + 1) & 0x0F))
        AbandonSection();   // packets were lost: the section in progress has a hole
    m_lastContinuityCounter = counter;
    m_duplicateSeen = false;
    return true;
}

void CDVBSIReceiver::OnReceivePacket(std::uint64_t, BYTE* packet)
{
    BYTE* payload = nullptr;
    DWORD length = 0;
    // the counter only counts packets with payload
    if (!GetPacketPayload(packet, payload, length) || !CheckContinuity(packet))
        return;
    if (!(packet[1] & 0x40)) {
        AppendSectionData(payload, length, false);
        return;
    }
    const DWORD pointer = payload[0];
    ++payload;
    --length;
    if (length == 0)
        return;
    if (pointer == 0) {
        AppendSectionData(payload, length, true);
    } else if (pointer >= length) {
        AppendSectionData(payload, length, false);   // all of it continues the old section
    } else {
        AppendSectionData(payload, pointer, false);
        AppendSectionData(payload + pointer, length - pointer, true);
    }
}

void CDVBSIReceiver::AppendSectionData(const BYTE* data, DWORD length, bool start)
{
    if (start)
        AbandonSection();
    else if (m_bytesCollected == 0)
        return;   // the middle of a section whose start we never saw: wait for the next start
    while (length > 0) {
        // Take what the section still lacks: its header first, then the rest of it.
        const DWORD wanted = m_headerKnown ? m_expectedLength - m_bytesCollected : 3 - m_bytesCollected;
        const DWORD n = std::min(length, wanted);
        std::memcpy(m_buffer + m_bytesCollected, data, n);
        m_bytesCollected += n;
        data += n;
        length -= n;
        if (!m_headerKnown && m_bytesCollected >= 3) {
            m_currentTableId = m_buffer[0];
            m_currentSectionLength = WORD(((m_buffer[1] & 0x0F) << 8) | m_buffer[2]);
            m_expectedLength = DWORD(m_currentSectionLength) + 3;
            m_headerKnown = true;
            if (m_expectedLength > m_storage.size()) {
                m_storage.resize(BufferSize);
                m_buffer = m_storage.data();
            }
        }
        if (!m_headerKnown || m_bytesCollected < m_expectedLength)
            continue;
        OnSectionComplete();
        m_bytesCollected = 0;
        m_headerKnown = false;
        // Another section may follow in the same packet, as muxers pack them; stuffing
        // (0xFF) ends the packet's sections.
        if (length == 0 || data[0] == 0xFF)
            return;
    }
}

void CDVBSIReceiver::OnSectionComplete()
{
    if (m_buffer[1] & 0x80)
        CompleteLongSection();
    else
        CompleteShortSection();
}

void CDVBSIReceiver::CompleteLongSection()
{
    // The header's key and CRC_32 field tell a repeat from a new section; a long-form header
    // with fewer than 9 bytes of section_length has no room for them.
    CDVBSISection header;
    CDVBByteReader body;
    if (!header.ParseHeader(m_buffer, m_bytesCollected, body)) {
        WriteSectionLine(header, "section dropped, too short for its header and CRC");
        return;
    }
    CDVBSISectionList::Position position;
    const int found = m_sections.FindLongSection(header.m_tableId, header.m_tableIdExtension, header.m_sectionNumber,
                                                 header.m_sectionLength, header.m_crc32, position);
    // A repeat changes nothing, so its CRC is not worked out: most sections of a tuned
    // multiplex are repeats, and the CRC is most of their cost.
    if (found == CDVBSISectionList::FoundRepeat)
        return;
    if (CalculateCRC32(m_buffer, int(m_bytesCollected)) != 0)
        return;
    ParseAndKeep(CreateLongSection(header.m_tableId), found, position);
}

void CDVBSIReceiver::CompleteShortSection()
{
    CDVBSISection* section = CreateShortSection(m_currentTableId);
    if (section == nullptr)
        return;
    CDVBSISectionList::Position position;
    const int found = m_sections.FindShortSection(m_currentTableId, position);
    ParseAndKeep(section, found, position);
}

void CDVBSIReceiver::ParseAndKeep(CDVBSISection* section, int found, CDVBSISectionList::Position position)
{
    if (!section->Parse(m_buffer, m_bytesCollected)) {
        WriteSectionLine(*section, "section dropped, a length in it runs past its end");
        delete section;   // the section held before stays
        return;
    }
    if (section->m_damagedDescriptorLoops != 0)
        WriteSectionLine(*section, "section kept, a damaged descriptor ended a descriptor loop");
    if (found == CDVBSISectionList::NotFound)
        m_sections.AddSection(section);
    else
        m_sections.ReplaceSection(position, section);   // the old object is gone before the report
    if (m_handler)
        m_handler->OnSectionAdd(GetPID(), section);
}

void CDVBSIReceiver::WriteSectionLine(const CDVBSISection& section, const char* outcome)
{
    if (!IsDebugOutputWanted())
        return;
    CString line;
    line.Format("PID 0x%04X, table_id 0x%02X: %s.\n", unsigned(GetPID()), unsigned(section.m_tableId), outcome);
    OutputDebugStringA(line);
}
