#include "tests/support/CRecordingPIDReceiver.h"

void CReceptionLog::Add(const Entry& entry)
{
    std::lock_guard<std::mutex> guard(lock);
    entries.push_back(entry);
}

std::vector<CReceptionLog::Entry> CReceptionLog::Entries() const
{
    std::lock_guard<std::mutex> guard(lock);
    return entries;
}

std::vector<std::uint64_t> CReceptionLog::NumbersOf(int tag) const
{
    std::vector<std::uint64_t> numbers;
    for (const Entry& e : Entries())
        if (e.tag == tag)
            numbers.push_back(e.packetNumber);
    return numbers;
}

CRecordingPIDReceiver::CRecordingPIDReceiver(CReceptionLog* log, int tag, int type, bool wantsTime)
    : m_tag(tag), m_log(log), m_wantsTime(wantsTime)
{
    m_type = type;
}

CRecordingPIDReceiver::~CRecordingPIDReceiver()
{
    ++m_log->deleted;
}

void CRecordingPIDReceiver::OnReceivePacket(std::uint64_t packetNumber, BYTE* packet)
{
    m_log->Add({m_tag, packetNumber, WORD(((packet[1] & 0x1F) << 8) | packet[2])});
}

void CRecordingPIDReceiver::OnEverySecond()
{
    ++m_log->seconds;
}

void CRecordingPIDReceiver::OnEveryMillisecond()
{
    ++m_log->milliseconds;
}
