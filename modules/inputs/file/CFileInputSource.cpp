#include "modules/inputs/file/CFileInputSource.h"

#include "core/CDVBPCRReceiver.h"
#include "modules/inputs/common/CTransportPacketFramer.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

constexpr std::size_t kPacket = 188;
constexpr std::size_t kReadChunk = 64 * 1024;
// A PCR that goes back, or jumps ahead by more than this, starts a new time line (a loop,
// a splice): the pacing is anchored again instead of stalling or racing.
constexpr std::uint64_t kLargestPcrStep = 90000 * 2;
constexpr std::uint64_t kLargestTdtStep = 90000 * 60;   // a TDT comes at least every 30 s

// The UTC time of a time and date (or time offset) table that begins in the packet, in
// 90 kHz units from an arbitrary origin.
bool TimeTableClock(const BYTE* packet, std::uint64_t& clock)
{
    if ((((packet[1] & 0x1F) << 8) | packet[2]) != 0x14 || !(packet[1] & 0x40) || !(packet[3] & 0x10))
        return false;
    std::size_t at = 4;
    if (packet[3] & 0x20)
        at += 1 + std::size_t(packet[4]);
    if (at >= 188)
        return false;
    at += 1 + std::size_t(packet[at]);   // the pointer field
    if (at + 8 > 188 || (packet[at] != 0x70 && packet[at] != 0x73))
        return false;
    const BYTE* time = packet + at + 3;
    auto bcd = [](BYTE b) { return (b >> 4) * 10 + (b & 0x0F); };
    const std::uint64_t mjd = (std::uint64_t(time[0]) << 8) | time[1];
    clock = ((mjd * 24 + bcd(time[2])) * 3600 + std::uint64_t(bcd(time[3])) * 60 + bcd(time[4])) * 90000;
    return true;
}

}  // namespace

CFileInputSource::CFileInputSource(const CString& path, Pacing pacing, double megabitsPerSecond, bool loop)
    : m_path(path), m_pacing(pacing), m_bitsPerSecond(megabitsPerSecond * 1e6), m_loop(loop)
{
}

CFileInputSource::~CFileInputSource()
{
    Stop();
    if (m_file)
        std::fclose(m_file);
}

bool CFileInputSource::Open()
{
    struct stat info{};
    if (::stat(m_path, &info) != 0 || !S_ISREG(info.st_mode))
        return false;   // a folder reads as nothing, which is not an empty stream
    m_file = std::fopen(m_path, "rb");
    if (m_file == nullptr)
        return false;
    m_packetSize = ReadPacketSize(m_file, m_firstOffset);
    if (m_packetSize == 0) {
        std::fclose(m_file);
        m_file = nullptr;
        return false;
    }
    std::fseek(m_file, 0, SEEK_END);
    m_fileSize = std::uint64_t(std::ftell(m_file));
    std::fseek(m_file, long(m_firstOffset), SEEK_SET);
    return true;
}

std::size_t CFileInputSource::ReadPacketSize(std::FILE* file, std::size_t& firstOffset)
{
    std::vector<BYTE> head(192 * 6);
    const std::size_t n = std::fread(head.data(), 1, head.size(), file);
    // an empty file is a stream that delivers nothing, not a file of something else
    firstOffset = 0;
    return n == 0 ? 188 : CTransportPacketFramer::DetectPacketSize(head.data(), n, firstOffset);
}

bool CFileInputSource::Start()
{
    if (m_file == nullptr)
        return false;
    Stop();
    m_queue.Clear();
    std::fseek(m_file, long(m_firstOffset), SEEK_SET);
    m_startNs = m_clock->GetMonotonicTime();
    m_delivered = 0;
    m_pcrPid = -1;
    m_timeTablePaced = false;
    m_reader = std::thread([this] { ReaderThread(); });
    return true;
}

bool CFileInputSource::Stop()
{
    if (!m_reader.joinable())
        return true;
    m_queue.Close();
    m_reader.join();
    return true;
}

void CFileInputSource::ReaderThread()
{
    CTransportPacketFramer framer(m_packetSize);
    std::vector<BYTE> chunk(kReadChunk);
    std::vector<BYTE> packets;
    bool packetsThisPass = false;
    for (;;) {
        std::size_t n = std::fread(chunk.data(), 1, chunk.size(), m_file);
        packets.clear();
        if (n == 0) {
            framer.Flush();
            framer.TakePackets(packets);
            packetsThisPass = packetsThisPass || !packets.empty();
            // a file that gives no packet at all would loop for ever on nothing
            if (m_loop && packetsThisPass) {
                std::fseek(m_file, long(m_firstOffset), SEEK_SET);
                framer.Reset();   // the last partial packet of the file is not part of the first
                packetsThisPass = false;
            } else if (packets.empty()) {
                m_queue.Finish();
                return;
            }
        } else {
            framer.Feed(chunk.data(), n);
            framer.TakePackets(packets);
            packetsThisPass = packetsThisPass || !packets.empty();
        }
        m_skippedBytes = framer.GetSkippedBytes();
        if (!m_queue.PushWaiting(packets.data(), packets.size()))
            return;
    }
}

template <class PacketAt>
std::size_t CFileInputSource::PacketsDue(std::size_t queued, PacketAt packetAt, std::int64_t now)
{
    std::size_t due = queued;
    if (m_pacing == Pacing::Fixed) {
        const double seconds = double(now - m_startNs) / 1e9;
        const double bytes = std::min(seconds * m_bitsPerSecond / 8.0, 1e18);   // stays an integer
        const auto allowed = std::uint64_t(bytes) / kPacket;
        const std::uint64_t sent = m_delivered / kPacket;
        due = std::min<std::uint64_t>(due, allowed > sent ? allowed - sent : 0);
    } else if (m_pacing == Pacing::ProgramClock) {
        // Up to the first packet whose PCR lies in the future; a stream without PCR keeps
        // to the clock of its time and date tables.
        for (std::size_t i = 0; i < due; ++i) {
            BYTE* packet = packetAt(i);
            std::uint64_t pcr = 0;
            const int pid = ((packet[1] & 0x1F) << 8) | packet[2];
            const bool isPcr = (m_pcrPid < 0 || pid == m_pcrPid) && CDVBPCRReceiver::GetPCRFromPacket(packet, pcr);
            if (!isPcr && (m_pcrPid >= 0 || !TimeTableClock(packet, pcr)))
                continue;
            if (isPcr ? m_pcrPid < 0 || pcr < m_lastPcr || pcr - m_lastPcr > kLargestPcrStep
                      : !m_timeTablePaced || pcr < m_lastPcr || pcr - m_lastPcr > kLargestTdtStep) {
                m_pcrPid = isPcr ? pid : -1;
                m_timeTablePaced = !isPcr;
                m_anchorPcr = pcr;
                m_anchorNs = now;
            }
            const std::int64_t dueNs = m_anchorNs + std::int64_t((pcr - m_anchorPcr) * 1000000000ULL / 90000);
            if (dueNs > now)
                return i;
            m_lastPcr = pcr;
        }
    }
    return due;
}

DWORD CFileInputSource::ReadBuffer(BYTE* buffer, DWORD size)
{
    // no time passes on a simulated clock while the disk is read: the read waits for it,
    // and finds what a real-time one would
    if (m_clock->IsSimulated() && m_reader.joinable())
        m_queue.WaitFor(size / kPacket * kPacket, std::chrono::seconds(10));
    const std::int64_t now = m_clock->GetMonotonicTime();
    const DWORD n = m_queue.ReadDue(buffer, size, [&](std::size_t queued, auto packetAt) {
        return PacketsDue(queued, packetAt, now);
    });
    m_delivered += n;
    return n;
}

bool CFileInputSource::HasEnded()
{
    return m_queue.HasEnded();
}

void CFileInputSource::GetStatus(CString& status)
{
    const int slash = m_path.ReverseFind('/');
    const CString name = slash < 0 ? m_path : m_path.Mid(slash + 1);
    // what has been handed out, not what the reader has read ahead
    double played = double(m_delivered) * double(m_packetSize) / double(kPacket);
    const double pass = double(m_fileSize) - double(m_firstOffset);
    if (m_loop && pass > 0)
        played = std::fmod(played, pass);   // where in the file this pass is
    played += double(m_firstOffset);
    const bool ended = HasEnded();
    const bool byTimeTable = m_timeTablePaced;
    const bool paced = m_pcrPid >= 0 || byTimeTable || m_delivered == 0;
    const double percent =
        ended || m_fileSize == 0 ? 100.0 : std::min(100.0, 100.0 * played / double(m_fileSize));
    status.Format("%s, %.0f%% played", static_cast<const char*>(name), percent);
    if (m_pacing == Pacing::ProgramClock && !paced)
        status += ", without PCR or TDT: as fast as it is read";
    else if (m_pacing == Pacing::ProgramClock)
        status += byTimeTable ? ", in real time by its TDT" : ", in real time";
    else if (m_pacing == Pacing::Fixed)
        status.AppendFormat(", at %.2f Mbit/s", m_bitsPerSecond / 1e6);
    else
        status += ", as fast as it is read";
    if (m_skippedBytes > 0)
        status.AppendFormat(", %llu bytes skipped to resync", static_cast<unsigned long long>(m_skippedBytes));
    if (ended)
        status += ", at its end";
}
