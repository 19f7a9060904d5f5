// Small helpers shared by the peer tools: CRC, DVB time coding, TS packet I/O, hex and text.
// Header-only so each tool is a single translation unit plus this file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace peer
{

constexpr std::size_t kPacketSize = 188;
constexpr uint16_t kNullPid = 0x1FFF;

// CRC-32/MPEG-2: poly 0x04C11DB7, init 0xFFFFFFFF, no reflection, no final xor.
inline uint32_t Crc32Mpeg2(const uint8_t* data, std::size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
    {
        crc ^= static_cast<uint32_t>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : (crc << 1);
    }
    return crc;
}

inline uint16_t PacketPid(const uint8_t* packet)
{
    return static_cast<uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
}

// Reads a whole TS file; fails on a size that is not a multiple of 188 or a lost sync byte,
// because every stream these tools handle is made whole by FFmpeg or by the writer.
inline bool ReadTsFile(const std::string& path, std::vector<uint8_t>& out, std::string& error)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
    {
        error = "cannot open " + path;
        return false;
    }
    out.clear();
    uint8_t buffer[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        out.insert(out.end(), buffer, buffer + got);
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError)
    {
        error = "read error on " + path;
        return false;
    }
    if (out.empty() || out.size() % kPacketSize != 0)
    {
        error = path + ": size " + std::to_string(out.size()) + " is not a non-zero multiple of 188";
        return false;
    }
    for (std::size_t offset = 0; offset < out.size(); offset += kPacketSize)
    {
        if (out[offset] != 0x47)
        {
            error = path + ": sync byte missing at offset " + std::to_string(offset);
            return false;
        }
    }
    return true;
}

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& data, std::string& error)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
    {
        error = "cannot create " + path;
        return false;
    }
    const bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), file) == data.size();
    const bool closed = std::fclose(file) == 0;
    if (!ok || !closed)
    {
        error = "write error on " + path;
        return false;
    }
    return true;
}

inline bool WriteTextFile(const std::string& path, const std::string& text, std::string& error)
{
    return WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()), error);
}

inline std::string Hex(const uint8_t* data, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i)
    {
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 0x0F]);
    }
    return out;
}

inline std::string Hex(const std::vector<uint8_t>& data)
{
    return Hex(data.data(), data.size());
}

inline bool FromHex(const std::string& text, std::vector<uint8_t>& out)
{
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    out.clear();
    std::string digits;
    for (char c : text)
    {
        if (c != ' ')
            digits.push_back(c);
    }
    if (digits.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < digits.size(); i += 2)
    {
        const int high = nibble(digits[i]);
        const int low = nibble(digits[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

// Each byte taken as one Latin-1 code point, so any byte string becomes valid UTF-8 for JSON.
inline std::string Latin1ToUtf8(const uint8_t* data, std::size_t size)
{
    std::string out;
    for (std::size_t i = 0; i < size; ++i)
    {
        const uint8_t b = data[i];
        if (b < 0x80)
        {
            out.push_back(static_cast<char>(b));
        }
        else
        {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return out;
}

inline uint32_t ToBcd(unsigned value)
{
    return static_cast<uint32_t>(((value / 10) << 4) | (value % 10));
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
inline long DaysFromCivil(long y, unsigned m, unsigned d)
{
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

constexpr long kMjdOfUnixEpoch = 40587;

// A UTC instant as seconds since 1970, parsed from "YYYY-MM-DD HH:MM:SS" (a 'T' also works).
inline bool ParseUtc(const std::string& text, long long& secondsSinceEpoch)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char sep = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d", &y, &mo, &d, &sep, &h, &mi, &s) != 7)
        return false;
    if ((sep != ' ' && sep != 'T') || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 ||
        y < 1900 || h < 0 || mi < 0 || s < 0)
        return false;
    secondsSinceEpoch = static_cast<long long>(DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d))) *
                            86400 + h * 3600 + mi * 60 + s;
    return true;
}

// "HH:MM:SS" (hours up to 99) or "HH:MM" as seconds.
inline bool ParseDuration(const std::string& text, long& seconds)
{
    int h = 0, m = 0, s = 0;
    const int fields = std::sscanf(text.c_str(), "%2d:%2d:%2d", &h, &m, &s);
    if (fields < 2 || h < 0 || m < 0 || m > 59 || s < 0 || s > 59)
        return false;
    seconds = h * 3600L + m * 60L + s;
    return true;
}

struct DvbTime
{
    uint16_t mjd = 0;
    uint32_t bcd = 0; // hh mm ss, 6 BCD digits
    uint64_t Raw40() const { return (static_cast<uint64_t>(mjd) << 24) | bcd; }
};

inline DvbTime ToDvbTime(long long secondsSinceEpoch)
{
    const long long days = secondsSinceEpoch >= 0 ? secondsSinceEpoch / 86400 : (secondsSinceEpoch - 86399) / 86400;
    const long long rest = secondsSinceEpoch - days * 86400;
    DvbTime t;
    t.mjd = static_cast<uint16_t>(days + kMjdOfUnixEpoch);
    const unsigned h = static_cast<unsigned>(rest / 3600);
    const unsigned m = static_cast<unsigned>(rest / 60 % 60);
    const unsigned s = static_cast<unsigned>(rest % 60);
    t.bcd = (ToBcd(h) << 16) | (ToBcd(m) << 8) | ToBcd(s);
    return t;
}

// Durations in BCD allow up to 99 hours.
inline bool DurationToBcd(long seconds, uint32_t& bcd)
{
    if (seconds < 0 || seconds > 99 * 3600 + 59 * 60 + 59)
        return false;
    const unsigned h = static_cast<unsigned>(seconds / 3600);
    const unsigned m = static_cast<unsigned>(seconds / 60 % 60);
    const unsigned s = static_cast<unsigned>(seconds % 60);
    bcd = (ToBcd(h) << 16) | (ToBcd(m) << 8) | ToBcd(s);
    return true;
}

} // namespace peer
