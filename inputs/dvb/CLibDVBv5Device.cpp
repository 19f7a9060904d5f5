#include "inputs/dvb/CLibDVBv5Device.h"

#include <libdvbv5/dvb-demux.h>
#include <libdvbv5/dvb-fe.h>
#include <libdvbv5/dvb-sat.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int kDemuxBufferBytes = 4 * 1024 * 1024;   // a quarter of a second at 100 Mbit/s

std::string DevicePath(int adapter, const char* device, int number)
{
    return "/dev/dvb/adapter" + std::to_string(adapter) + "/" + device + std::to_string(number);
}

void ReadStat(dvb_v5_fe_parms* frontend, unsigned command, CLinuxDVBSignal::Scale& scale, double& decibels, double& percent)
{
    const dtv_stats* stat = dvb_fe_retrieve_stats_layer(frontend, command, 0);
    scale = CLinuxDVBSignal::None;
    if (stat == nullptr)
        return;
    if (stat->scale == FE_SCALE_DECIBEL) {
        scale = CLinuxDVBSignal::Decibel;
        decibels = stat->svalue / 1000.0;   // drivers report thousandths of a dB
    } else if (stat->scale == FE_SCALE_RELATIVE) {
        scale = CLinuxDVBSignal::Relative;
        percent = stat->uvalue * 100.0 / 65535.0;
    }
}

}  // namespace

int CLibDVBv5Device::DeliverySystemNumber(const std::string& name)
{
    for (unsigned i = 0; i < sizeof delivery_system_name / sizeof delivery_system_name[0]; ++i)
        if (delivery_system_name[i] && name == delivery_system_name[i])
            return int(i);
    return -1;
}

std::vector<std::string> CLibDVBv5Device::LnbNames()
{
    std::vector<std::string> names;
    for (int i = 0; const dvb_sat_lnb* lnb = dvb_sat_get_lnb(i); ++i)
        names.emplace_back(lnb->alias);
    return names;
}

bool CLibDVBv5Device::IsKnownLnb(const std::string& name)
{
    return dvb_sat_search_lnb(name.c_str()) >= 0;
}

bool CLibDVBv5Device::Tune(const CLinuxDVBTuning& tuning, std::string& error)
{
    Close();
    m_adapter = tuning.m_adapter;
    const std::string path = DevicePath(tuning.m_adapter, "frontend", tuning.m_frontend);
    if (::access(path.c_str(), F_OK) != 0) {
        error = "no " + path + " (no DVB tuner on this machine, or no driver)";
        return false;
    }
    const int system = DeliverySystemNumber(tuning.m_deliverySystem);
    if (system < 0) {
        error = "unknown delivery system \"" + tuning.m_deliverySystem + "\"";
        return false;
    }
    m_frontend = dvb_fe_open(tuning.m_adapter, tuning.m_frontend, 0, 0);
    if (m_frontend == nullptr) {
        error = path + " cannot be opened: " + std::strerror(errno);
        return false;
    }
    if (dvb_set_compat_delivery_system(m_frontend, unsigned(system)) != 0) {
        error = "the tuner does not receive " + tuning.m_deliverySystem;
        return false;
    }
    if (tuning.IsSatellite()) {   // libdvbv5 sets the LNB's voltage and tone from these
        const int lnb = dvb_sat_search_lnb(tuning.m_lnb.c_str());
        if (lnb < 0) {
            error = "unknown LNB \"" + tuning.m_lnb + "\"";
            return false;
        }
        m_frontend->lnb = dvb_sat_get_lnb(lnb);
        dvb_fe_store_parm(m_frontend, DTV_POLARIZATION, CLinuxDVBTuning::PolarisationNumber(tuning.m_polarisation));
    }
    dvb_fe_store_parm(m_frontend, DTV_FREQUENCY, tuning.m_frequency);
    if (tuning.HasSymbolRate())
        dvb_fe_store_parm(m_frontend, DTV_SYMBOL_RATE, tuning.m_bandwidthOrSymbolRate);
    else if (tuning.m_bandwidthOrSymbolRate != 0)
        dvb_fe_store_parm(m_frontend, DTV_BANDWIDTH_HZ, tuning.m_bandwidthOrSymbolRate);
    if (tuning.m_plp >= 0)
        dvb_fe_store_parm(m_frontend, DTV_STREAM_ID, unsigned(tuning.m_plp));
    if (dvb_fe_set_parms(m_frontend) != 0) {
        error = "the tuner refused the parameters: " + std::string(std::strerror(errno));
        return false;
    }
    return true;
}

bool CLibDVBv5Device::ReadSignal(CLinuxDVBSignal& signal)
{
    if (m_frontend == nullptr || dvb_fe_get_stats(m_frontend) != 0)
        return false;
    uint32_t status = 0;
    dvb_fe_retrieve_stats(m_frontend, DTV_STATUS, &status);
    signal.m_locked = (status & FE_HAS_LOCK) != 0;
    signal.m_hasCarrier = (status & (FE_HAS_SIGNAL | FE_HAS_CARRIER)) != 0;
    ReadStat(m_frontend, DTV_STAT_SIGNAL_STRENGTH, signal.m_strengthScale, signal.m_strengthDbm, signal.m_strengthPercent);
    ReadStat(m_frontend, DTV_STAT_CNR, signal.m_snrScale, signal.m_snrDb, signal.m_snrPercent);
    return true;
}

bool CLibDVBv5Device::OpenStream(std::string& error)
{
    m_demux = dvb_dmx_open(m_adapter, 0);
    if (m_demux < 0 || dvb_set_pesfilter(m_demux, 0x2000, DMX_PES_OTHER, DMX_OUT_TS_TAP, kDemuxBufferBytes) != 0) {
        error = DevicePath(m_adapter, "demux", 0) + " cannot pass the stream: " + std::strerror(errno);
        return false;
    }
    const std::string dvr = DevicePath(m_adapter, "dvr", 0);
    m_dvr = ::open(dvr.c_str(), O_RDONLY | O_NONBLOCK);
    if (m_dvr < 0) {
        error = dvr + " cannot be opened: " + std::strerror(errno);
        return false;
    }
    return true;
}

long CLibDVBv5Device::Read(BYTE* buffer, std::size_t size, int timeoutMs)
{
    pollfd descriptor{m_dvr, POLLIN, 0};
    const int ready = ::poll(&descriptor, 1, timeoutMs);
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    if (ready == 0)
        return 0;
    const ssize_t n = ::read(m_dvr, buffer, size);
    if (n >= 0)
        return long(n);
    // The driver's buffer overflowed (the stream goes on) or nothing is there after all.
    return errno == EOVERFLOW || errno == EAGAIN || errno == EINTR ? 0 : -1;
}

void CLibDVBv5Device::Close()
{
    if (m_dvr >= 0)
        ::close(m_dvr);
    if (m_demux >= 0)
        dvb_dmx_close(m_demux);
    if (m_frontend)
        dvb_fe_close(m_frontend);
    m_dvr = m_demux = -1;
    m_frontend = nullptr;
}
