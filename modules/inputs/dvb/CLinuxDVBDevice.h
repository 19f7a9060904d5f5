#pragma once
// The calls a DVB input makes to a tuner, behind which the Linux device (CLibDVBv5Device)
// or a test's fake sits. Every call returns at once or within its time-out, and failures
// are returned with a reason for people.
#include "modules/inputs/dvb/CLinuxDVBSignal.h"
#include "modules/inputs/dvb/CLinuxDVBTuning.h"
#include "platform/LUMTypes.h"

#include <string>

class CLinuxDVBDevice
{
public:
    virtual ~CLinuxDVBDevice() = default;

    enum class TuneResult {
        Tuning,     // locking takes a while after
        NoDevice,   // no such frontend, or it cannot be opened: no other tuning will do
        Refused,    // this tuner cannot take this tuning; another may do
    };
    static constexpr long ReadFailed = -1;      // unplugged, say
    static constexpr long ReadOverflowed = -2;  // the kernel's buffer overflowed and was emptied

    // Opens the frontend of `tuning` and sets it tuning.
    virtual TuneResult Tune(const CLinuxDVBTuning& tuning, std::string& error) = 0;
    virtual bool ReadSignal(CLinuxDVBSignal& signal) = 0;
    // Sets the demux passing every packet to the DVR device and opens that.
    virtual bool OpenStream(std::string& error) = 0;
    // Bytes of the stream within `timeoutMs`, 0 when none came, or ReadFailed or ReadOverflowed.
    virtual long Read(BYTE* buffer, std::size_t size, int timeoutMs) = 0;
    // Closes everything Tune and OpenStream opened.
    virtual void Close() = 0;
};
