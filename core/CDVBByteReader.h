#pragma once
// A bounded, non-owning view over bytes from the stream. Each read succeeds whole, or
// returns false and consumes nothing; lengths are compared, never pointers.
#include "platform/LUMTypes.h"

class CDVBByteReader
{
public:
    CDVBByteReader() = default;
    CDVBByteReader(const BYTE* data, WORD length) : m_data(data), m_remaining(length) {}

    const BYTE* Data() const { return m_data; }
    WORD Remaining() const { return m_remaining; }

    [[nodiscard]] bool ReadByte(BYTE& value)
    {
        if (m_remaining < 1)
            return false;
        value = m_data[0];
        Advance(1);
        return true;
    }
    [[nodiscard]] bool ReadWord(WORD& value)   // big-endian
    {
        if (m_remaining < 2)
            return false;
        value = WORD((m_data[0] << 8) | m_data[1]);
        Advance(2);
        return true;
    }
    [[nodiscard]] bool Read24(DWORD& value)   // big-endian, in the low 24 bits
    {
        if (m_remaining < 3)
            return false;
        value = (DWORD(m_data[0]) << 16) | (DWORD(m_data[1]) << 8) | m_data[2];
        Advance(3);
        return true;
    }
    [[nodiscard]] bool Read32(DWORD& value)
    {
        if (m_remaining < 4)
            return false;
        value = (DWORD(m_data[0]) << 24) | (DWORD(m_data[1]) << 16) | (DWORD(m_data[2]) << 8) | m_data[3];
        Advance(4);
        return true;
    }
    // The next `count` bytes as a reader of their own.
    [[nodiscard]] bool Split(WORD count, CDVBByteReader& part)
    {
        if (count > m_remaining)
            return false;
        part = CDVBByteReader(m_data, count);
        Advance(count);
        return true;
    }

private:
    void Advance(WORD count)
    {
        m_data += count;
        m_remaining = WORD(m_remaining - count);
    }

    const BYTE* m_data = nullptr;
    WORD m_remaining = 0;
};
