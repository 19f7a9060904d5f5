#include "core/CDVBBuffer.h"

#include <cstdlib>

CDVBBuffer::CDVBBuffer(DWORD capacity)
    // malloc(0) may give null; one byte keeps m_data a valid pointer for every capacity
    : m_data(static_cast<BYTE*>(std::malloc(capacity ? capacity : 1))),
      m_position(m_data),
      m_capacity(m_data ? capacity : 0)
{
}

CDVBBuffer::~CDVBBuffer()
{
    std::free(m_data);
}
