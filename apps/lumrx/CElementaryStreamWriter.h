#pragma once
// A pull receiver that writes the elementary stream of its PID to a file, as a decoder
// would read it, and notes the presentation time stamps it was given.
#include "decode/CDVBPullReceiver.h"

#include <cstdio>
#include <vector>

class CElementaryStreamWriter : public CDVBPullReceiver
{
public:
    explicit CElementaryStreamWriter(std::FILE* file);
    ~CElementaryStreamWriter() override;

    // Once reception has stopped: hands over the last, partly filled buffer and waits for
    // the decode thread to write everything.
    void Finish();
    std::uint64_t GetBytesWritten() const { return m_written; }

protected:
    void DecodeStream() override;

private:
    std::FILE* m_file;   // not owned
    std::uint64_t m_written = 0;
};
