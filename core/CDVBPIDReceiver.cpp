#include "core/CDVBPIDReceiver.h"

#include <cstring>

namespace {

constexpr DWORD kPacketSize = 188;
constexpr BYTE kPayloadUnitStart = 0x40;
constexpr BYTE kAdaptationFieldPresent = 2;
constexpr BYTE kPayloadPresent = 1;

BYTE AdaptationFieldControl(const BYTE* packet)
{
    return BYTE((packet[3] >> 4) & 3);
}

}  // namespace

void CDVBPIDReceiver::OnReceivePacket(std::uint64_t, BYTE*) {}

void CDVBPIDReceiver::SetCookie(GUID* cookie)
{
    if (cookie)
        std::memcpy(&m_cookie, cookie, sizeof(GUID));
}

bool CDVBPIDReceiver::HasCookie(GUID* cookie)
{
    return cookie && *cookie == m_cookie;
}

bool CDVBPIDReceiver::GetPacketPayload(BYTE* packet, BYTE*& payload, DWORD& length)
{
    payload = nullptr;
    length = 0;
    const BYTE control = AdaptationFieldControl(packet);
    if (!(control & kPayloadPresent))
        return false;
    if (control & kAdaptationFieldPresent) {
        const BYTE fieldLength = packet[4];
        if (fieldLength < 183) {
            payload = packet + 5 + fieldLength;
            length = 183 - DWORD(fieldLength);
        }
    } else {
        payload = packet + 4;
        length = kPacketSize - 4;
    }
    return payload != nullptr && length > 0;
}

bool CDVBPIDReceiver::GetPacketAdaptationField(BYTE* packet, BYTE*& field, BYTE& length)
{
    field = nullptr;
    length = 0;
    if (!(AdaptationFieldControl(packet) & kAdaptationFieldPresent))
        return false;
    field = packet + 4;
    length = packet[4];
    return length <= 183;
}

void CDVBPIDReceiver::DecodeTimeStamp(const BYTE* b, std::int64_t& value)
{
    value = 0;
    std::int64_t v = (b[0] >> 1) & 7;
    v = (v << 8) | b[1];
    v = (v << 7) | (b[2] >> 1);
    v = (v << 8) | b[3];
    v = (v << 7) | (b[4] >> 1);
    value = v;
}

DWORD CDVBPIDReceiver::GetTimeStampsFromPESData(BYTE* data, DWORD size, std::int64_t& pts,
                                                std::int64_t& dts)
{
    if (size < 6)
        return 0;
    DWORD avail = size - 6;
    const DWORD packetLength = (DWORD(data[4]) << 8) | data[5];
    if (packetLength != 0 && packetLength < avail)
        avail = packetLength;
    if (avail < 3)
        return 0;
    avail -= 3;
    const DWORD headerLength = data[8];
    if (headerLength < avail)
        avail = headerLength;
    const BYTE flags = BYTE(data[7] >> 6);
    const BYTE* p = data + 9;
    DWORD result = 0;
    if ((flags & 2) && avail >= 5) {
        DecodeTimeStamp(p, pts);
        p += 5;
        avail -= 5;
        result = 1;
    }
    if ((flags & 1) && avail >= 5) {
        DecodeTimeStamp(p, dts);
        result |= 2;
    }
    return result;
}

DWORD CDVBPIDReceiver::GetTimeStampsFromPacket(BYTE* packet, std::int64_t& pts, std::int64_t& dts)
{
    if (!(packet[1] & kPayloadUnitStart))
        return 0;
    BYTE* payload = nullptr;
    DWORD length = 0;
    if (!GetPacketPayload(packet, payload, length))
        return 0;
    return GetTimeStampsFromPESData(payload, length, pts, dts);
}

bool CDVBPIDReceiver::GetPESInternalData(BYTE* packet, BYTE*& data, DWORD& size)
{
    if (!GetPacketPayload(packet, data, size))
        return false;
    if (!(packet[1] & kPayloadUnitStart))
        return true;   // a continuation: all of it is elementary stream data
    if (size < 9)
        return false;
    data += 8;
    size -= 8;
    const DWORD headerLength = data[0];
    data += 1;
    size -= 1;
    if (size < headerLength)
        return false;
    data += headerLength;
    size -= headerLength;
    return true;
}
