#pragma once
// A Linux DVB tuner through libdvbv5: the frontend tuned with the version 5 properties,
// the demux set to pass the whole stream (PID 0x2000) to the DVR device, read by poll.
#include "inputs/dvb/CLinuxDVBDevice.h"

#include <string>
#include <vector>

struct dvb_v5_fe_parms;

class CLibDVBv5Device : public CLinuxDVBDevice
{
public:
    ~CLibDVBv5Device() override { Close(); }

    bool Tune(const CLinuxDVBTuning& tuning, std::string& error) override;
    bool ReadSignal(CLinuxDVBSignal& signal) override;
    bool OpenStream(std::string& error) override;
    long Read(BYTE* buffer, std::size_t size, int timeoutMs) override;
    void Close() override;

    // libdvbv5's number of a delivery system's name, -1 when it has none.
    static int DeliverySystemNumber(const std::string& name);
    // The LNBs libdvbv5 knows, by the names a definition gives them.
    static std::vector<std::string> LnbNames();
    static bool IsKnownLnb(const std::string& name);

private:
    dvb_v5_fe_parms* m_frontend = nullptr;
    int m_adapter = 0;
    int m_demux = -1;
    int m_dvr = -1;
};
