#include "core/CDVBPCRReceiver.h"

#include "core/CDVBReceiverTiming.h"
#include "platform/CSingleLock.h"

namespace {

constexpr BYTE kPCRFlag = 0x10;
constexpr std::uint64_t kBitsPerPacket = 188 * 8;
constexpr std::uint64_t kClockRate = 90000;

}  // namespace

bool CDVBPCRReceiver::GetPCRFromPacket(BYTE* packet, std::uint64_t& pcr)
{
    BYTE* field = nullptr;
    BYTE length = 0;
    // the PCR needs the flags byte and six bytes after it
    if (!GetPacketAdaptationField(packet, field, length) || length < 7 || !(field[1] & kPCRFlag))
        return false;
    pcr = (std::uint64_t(field[2]) << 25) | (std::uint64_t(field[3]) << 17) | (std::uint64_t(field[4]) << 9) |
          (std::uint64_t(field[5]) << 1) | (field[6] >> 7);
    return true;
}

void CDVBPCRReceiver::OnReceivePacket(std::uint64_t packetNumber, BYTE* packet)
{
    std::uint64_t pcr = 0;
    if (!GetPCRFromPacket(packet, pcr))
        return;
    CSingleLock guard(m_lock);
    if (m_samples.size() == SampleCount)
        m_samples.pop_front();
    m_samples.push_back({packetNumber, pcr});
    m_dirty = true;
}

void CDVBPCRReceiver::UpdateSums()
{
    if (!m_dirty)
        return;
    m_packetSum = 0;
    m_pcrSum = 0;
    for (std::size_t i = 1; i < m_samples.size(); ++i) {
        const Sample& previous = m_samples[i - 1];
        const Sample& current = m_samples[i];
        // a PCR that does not grow (wrap, discontinuity, repeat) says nothing about the rate
        if (current.pcr > previous.pcr) {
            m_pcrSum += current.pcr - previous.pcr;
            m_packetSum += current.packetNumber - previous.packetNumber;
        }
    }
    m_dirty = false;
}

int CDVBPCRReceiver::GetBitrate()
{
    CSingleLock guard(m_lock);
    UpdateSums();
    if (m_pcrSum == 0)
        return 0;
    return int(m_packetSum * kBitsPerPacket * kClockRate / m_pcrSum);
}

bool CDVBPCRReceiver::GetClockAtPacket(std::uint64_t packetNumber, std::int64_t& clock)
{
    CSingleLock guard(m_lock);
    UpdateSums();
    if (m_samples.empty() || m_packetSum == 0)
        return false;
    const Sample& last = m_samples.back();
    // signed: a packet before the newest sample lies behind it, not 2^64 packets ahead
    const auto distance = std::int64_t(packetNumber - last.packetNumber);
    clock = std::int64_t(last.pcr) + distance * std::int64_t(m_pcrSum) / std::int64_t(m_packetSum);
    return true;
}

bool CDVBPCRReceiver::GetClockAtPacket(const CDVBReceiverTiming& receiver, std::int64_t& clock)
{
    CSingleLock guard(m_lock);
    return GetClockAtPacket(receiver.GetPacketsReceived(), clock);
}

bool CDVBPCRReceiver::GetClockAtTime(double frequency, double referenceClock, std::uint64_t referencePackets,
                                     double now, std::int64_t& clock)
{
    CSingleLock guard(m_lock);
    UpdateSums();
    if (m_samples.empty() || m_packetSum == 0)
        return false;
    const int bitrate = GetBitrate();
    if (bitrate == 0)
        return false;   // under a bit per second: no time to speak of
    const Sample& last = m_samples.back();
    const double seconds = double(std::int64_t(referencePackets - last.packetNumber) * std::int64_t(kBitsPerPacket)) / bitrate;
    const double lastArrival = referenceClock - seconds * frequency;
    clock = std::int64_t(last.pcr) + std::int64_t((now - lastArrival) * (double(kClockRate) / frequency));
    return true;
}
