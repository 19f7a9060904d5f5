#pragma once
// A PID receiver that reassembles the PSI/SI sections of its PID from packet payloads
// (several to a packet when a muxer packs them), starting only at a section start and
// dropping a section that lost a packet, checks them, parses each into a section object, keeps the latest of every kind and
// reports new and changed ones to its handler. It owns the sections it keeps, each until one
// of its kind replaces it.
#include "core/CDVBPIDReceiver.h"
#include "si/CDVBSISectionList.h"

#include <vector>

class CDVBSIHandler;

class CDVBSIReceiver : public CDVBPIDReceiver
{
public:
    static constexpr DWORD BufferSize = 4099;   // the largest section (4098 bytes) fits
    // Most sections are shorter: the buffer starts at this and grows for a longer one.
    static constexpr DWORD InitialBufferSize = 1000;

    explicit CDVBSIReceiver(CDVBSIHandler* handler);
    CDVBSIReceiver(const CDVBSIReceiver&) = delete;
    CDVBSIReceiver& operator=(const CDVBSIReceiver&) = delete;

    void Start() override;
    void OnReceivePacket(std::uint64_t packetNumber, BYTE* packet) override;
    virtual void OnSectionComplete();
    virtual void OnSectionAbandoned() {}

    const CDVBSISectionList& GetSections() const { return m_sections; }

protected:
    void AppendSectionData(const BYTE* data, DWORD length, bool start);

    std::vector<BYTE> m_storage;
    BYTE* m_buffer;   // the section being collected, in m_storage
    DWORD m_bytesCollected = 0;
    BYTE m_currentTableId = 0;
    WORD m_currentSectionLength = 0;
    bool m_headerKnown = false;
    DWORD m_expectedLength = 0;
    CDVBSISectionList m_sections;
    CDVBSIHandler* m_handler;   // not owned
    // continuity_counter of the last packet with payload; -1 until one came
    int m_lastContinuityCounter = -1;
    bool m_duplicateSeen = false;

private:
    // False for a packet whose payload must not feed a section: a duplicate, or one
    // marked errored. A gap in the counter abandons the section in progress.
    bool CheckContinuity(const BYTE* packet);
    void AbandonSection();
    void CompleteLongSection();
    void CompleteShortSection();
    // Parses the collected section into `section` (owned from here), then holds and reports
    // it in the place `found` says, or drops it.
    void ParseAndKeep(CDVBSISection* section, int found, CDVBSISectionList::Position position);
    // One line naming the PID and table, for a section dropped or kept damaged.
    void WriteSectionLine(const CDVBSISection& section, const char* outcome);
};
