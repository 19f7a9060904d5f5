#pragma once
// A Linux DVB tuner through libdvbv5: the frontend tuned with the version 5 properties,
// the demux set to pass the whole stream (PID 0x2000) to the DVR device, read by poll.
// The devices are found by their names under a root (/dev/dvb, or LUM_DVB_DEVICES), as
// the kernel names them, rather than through udev, which containers and chroots lack;
// demuxN and dvrN go with frontendN where the adapter has them, demux0 and dvr0 otherwise.
// libdvbv5's messages go to the debug output.
#include "modules/inputs/dvb/CLinuxDVBDevice.h"

#include <string>
#include <vector>

struct dvb_device;
struct dvb_open_descriptor;

class CLibDVBv5Device : public CLinuxDVBDevice
{
public:
    // Bytes of the DVR's buffer: 0.8 s at 40 Mbit/s, against the kernel's 1.84 MiB.
    static constexpr int DvrBufferBytes = 4 * 1024 * 1024;

    explicit CLibDVBv5Device(std::string root = DefaultRoot()) : m_root(std::move(root)) {}
    ~CLibDVBv5Device() override { Close(); }

    TuneResult Tune(const CLinuxDVBTuning& tuning, std::string& error) override;
    bool ReadSignal(CLinuxDVBSignal& signal) override;
    bool OpenStream(std::string& error) override;
    long Read(BYTE* buffer, std::size_t size, int timeoutMs) override;
    void Close() override;

    // LUM_DVB_DEVICES when set, else /dev/dvb.
    static std::string DefaultRoot();
    // libdvbv5's number of a delivery system's name, -1 when it has none.
    static int DeliverySystemNumber(const std::string& name);
    // The LNBs libdvbv5 knows, by the names a definition gives them.
    static std::vector<std::string> LnbNames();
    static bool IsKnownLnb(const std::string& name);

private:
    TuneResult Refuse(std::string& error, const std::string& why);
    void AddDevice(int type, const char* kind, int number);
    dvb_open_descriptor* OpenDevice(const char* kind, int number, int flags, std::string& error);

    std::string m_root;
    dvb_device* m_dvb = nullptr;
    dvb_open_descriptor* m_frontend = nullptr;
    dvb_open_descriptor* m_demux = nullptr;
    dvb_open_descriptor* m_dvr = nullptr;
    int m_adapter = 0;
    int m_stream = 0;   // the number of the demux and DVR
    long long m_firstUncorrected = -1;
};
