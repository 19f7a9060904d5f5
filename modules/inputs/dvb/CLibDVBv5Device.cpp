#include "modules/inputs/dvb/CLibDVBv5Device.h"

#include "platform/DebugOutput.h"

#include <libdvbv5/dvb-demux.h>
extern "C" {   // this header alone has no C++ guard
#include <libdvbv5/dvb-dev.h>
}
#include <libdvbv5/dvb-fe.h>
#include <libdvbv5/dvb-sat.h>
#include <libdvbv5/dvb-v5-std.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

void LogToDebugOutput(int level, const char* format, ...)
{
    const int saved = errno;   // callers report errno after logging
    if (IsDebugOutputWanted()) {
        char line[512];
        va_list arguments;
        va_start(arguments, format);
        const int n = std::snprintf(line, sizeof line, "libdvbv5 (%d): ", level);
        std::vsnprintf(line + n, sizeof line - std::size_t(n) - 1, format, arguments);
        va_end(arguments);
        std::strcat(line, "\n");
        OutputDebugStringA(line);
    }
    errno = saved;
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

std::string Systems(const dvb_v5_fe_parms* frontend)
{
    std::string names;
    for (int i = 0; i < frontend->num_systems; ++i)
        if (const char* name = delivery_system_name[frontend->systems[i]])
            names += (names.empty() ? "" : ", ") + std::string(name);
    return names;
}

// The frequency in MHz within one of the LNB's input ranges?
bool LnbTakes(const dvb_sat_lnb& lnb, unsigned megahertz)
{
    for (const auto& range : lnb.freqrange)
        if (range.high != 0 && megahertz >= range.low && megahertz <= range.high)
            return true;
    return false;
}

}  // namespace

std::string CLibDVBv5Device::DefaultRoot()
{
    const char* root = std::getenv("LUM_DVB_DEVICES");
    return root && *root ? root : "/dev/dvb";
}

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

CLinuxDVBDevice::TuneResult CLibDVBv5Device::Refuse(std::string& error, const std::string& why)
{
    error = why;
    Close();
    return TuneResult::Refused;
}

void CLibDVBv5Device::AddDevice(int type, const char* kind, int number)
{
    // libdvbv5 frees the list with the device, entry by entry, with free().
    auto* list = static_cast<dvb_dev_list*>(std::realloc(m_dvb->devices, sizeof(dvb_dev_list) * std::size_t(m_dvb->num_devices + 1)));
    if (list == nullptr)
        return;
    m_dvb->devices = list;
    dvb_dev_list& entry = list[m_dvb->num_devices++];
    std::memset(&entry, 0, sizeof entry);
    const std::string path = m_root + "/adapter" + std::to_string(m_adapter) + "/" + kind + std::to_string(number);
    const std::string sysname = "dvb" + std::to_string(m_adapter) + "." + kind + std::to_string(number);
    entry.path = ::strdup(path.c_str());
    entry.syspath = ::strdup(path.c_str());
    entry.sysname = ::strdup(sysname.c_str());
    entry.dvb_type = dvb_dev_type(type);
    for (char** text : {&entry.bus_addr, &entry.bus_id, &entry.manufacturer, &entry.product, &entry.serial})
        *text = ::strdup("");   // udev's fields, compared without a look for null

}

dvb_open_descriptor* CLibDVBv5Device::OpenDevice(const char* kind, int number, int flags, std::string& error)
{
    const std::string sysname = "dvb" + std::to_string(m_adapter) + "." + kind + std::to_string(number);
    errno = 0;
    dvb_open_descriptor* descriptor = dvb_dev_open(m_dvb, sysname.c_str(), flags);
    if (descriptor == nullptr)
        error = m_root + "/adapter" + std::to_string(m_adapter) + "/" + kind + std::to_string(number) +
                " cannot be opened: " + (errno ? std::strerror(errno) : "not a DVB device");
    return descriptor;
}

CLinuxDVBDevice::TuneResult CLibDVBv5Device::Tune(const CLinuxDVBTuning& tuning, std::string& error)
{
    Close();
    m_adapter = tuning.m_adapter;
    const std::string adapter = m_root + "/adapter" + std::to_string(m_adapter) + "/";
    const std::string path = adapter + "frontend" + std::to_string(tuning.m_frontend);
    if (::access(path.c_str(), F_OK) != 0) {
        error = "no " + path + " (no DVB tuner on this machine, or no driver)";
        return TuneResult::NoDevice;
    }
    const int system = DeliverySystemNumber(tuning.m_deliverySystem);
    if (system < 0)
        return Refuse(error, "unknown delivery system \"" + tuning.m_deliverySystem + "\"");
    const bool satellite = tuning.IsSatellite();
    const dvb_sat_lnb* lnb = nullptr;
    if (satellite) {
        const int polarisation = int(CLinuxDVBTuning::PolarisationNumber(tuning.m_polarisation));
        if (polarisation == 0)   // libdvbv5 would take none for horizontal
            return Refuse(error, "satellite needs a polarisation: H, V, L or R");
        const int index = dvb_sat_search_lnb(tuning.m_lnb.c_str());
        if (index < 0)
            return Refuse(error, "unknown LNB \"" + tuning.m_lnb + "\"");
        lnb = dvb_sat_get_lnb(index);
        if (!LnbTakes(*lnb, tuning.m_frequency / 1000))
            return Refuse(error, std::to_string(tuning.m_frequency / 1000) + " MHz is outside what the LNB " + tuning.m_lnb +
                                     " receives");
    }

    m_dvb = dvb_dev_alloc();
    if (m_dvb == nullptr) {
        error = "out of memory";
        return TuneResult::NoDevice;
    }
    dvb_dev_set_log(m_dvb, 0, LogToDebugOutput);
    m_stream = ::access((adapter + "demux" + std::to_string(tuning.m_frontend)).c_str(), F_OK) == 0 ? tuning.m_frontend : 0;
    AddDevice(DVB_DEVICE_FRONTEND, "frontend", tuning.m_frontend);
    AddDevice(DVB_DEVICE_DEMUX, "demux", m_stream);
    AddDevice(DVB_DEVICE_DVR, "dvr", m_stream);
    m_frontend = OpenDevice("frontend", tuning.m_frontend, O_RDWR, error);
    if (m_frontend == nullptr) {
        Close();
        return TuneResult::NoDevice;
    }
    dvb_v5_fe_parms* frontend = m_dvb->fe_parms;
    if (dvb_set_compat_delivery_system(frontend, unsigned(system)) != 0)
        return Refuse(error, "the tuner does not receive " + tuning.m_deliverySystem + " (it receives " + Systems(frontend) + ")");

    // Every property of the delivery system is sent: what the tuning does not fix as AUTO,
    // so that the driver searches rather than takes libdvbv5's zeros (QPSK, 2K, 1/32...).
    for (const unsigned* property = dvb_v5_delivery_system[frontend->current_sys]; property && *property; ++property) {
        std::uint32_t value = CLinuxDVBParameters::AutoValue(*property);
        const auto fixed = tuning.m_parameters.find(*property);
        if (fixed != tuning.m_parameters.end())
            value = fixed->second;
        switch (*property) {
        case DTV_FREQUENCY: value = tuning.m_frequency; break;
        case DTV_BANDWIDTH_HZ:
        case DTV_SYMBOL_RATE: value = tuning.m_bandwidthOrSymbolRate; break;
        case DTV_STREAM_ID: value = tuning.m_plp >= 0 ? std::uint32_t(tuning.m_plp) : NO_STREAM_ID_FILTER; break;
        case DTV_POLARIZATION: value = CLinuxDVBTuning::PolarisationNumber(tuning.m_polarisation); break;
        default: break;
        }
        dvb_fe_store_parm(frontend, *property, value);
    }
    if (satellite) {   // libdvbv5 sets voltage, tone and DiSEqC from these
        frontend->lnb = lnb;
        frontend->sat_number = tuning.m_satelliteNumber;
    }
    const int result = dvb_fe_set_parms(frontend);
    if (result < 0) {
        const int code = -result;
        const std::string reason = std::strerror(code);
        if (code == EINVAL || code == EOPNOTSUPP || code == ERANGE)
            return Refuse(error, "the tuner refused the parameters: " + reason);
        error = path + " failed to tune: " + reason;
        Close();
        return TuneResult::NoDevice;
    }
    m_firstUncorrected = -1;
    return TuneResult::Tuning;
}

bool CLibDVBv5Device::ReadSignal(CLinuxDVBSignal& signal)
{
    if (m_frontend == nullptr)
        return false;
    dvb_v5_fe_parms* frontend = m_dvb->fe_parms;
    if (dvb_fe_get_stats(frontend) != 0)
        return false;
    uint32_t status = 0;
    dvb_fe_retrieve_stats(frontend, DTV_STATUS, &status);
    signal.m_locked = (status & FE_HAS_LOCK) != 0;
    signal.m_hasCarrier = (status & (FE_HAS_SIGNAL | FE_HAS_CARRIER)) != 0;
    ReadStat(frontend, DTV_STAT_SIGNAL_STRENGTH, signal.m_strengthScale, signal.m_strengthDbm, signal.m_strengthPercent);
    ReadStat(frontend, DTV_STAT_CNR, signal.m_snrScale, signal.m_snrDb, signal.m_snrPercent);
    signal.m_bitErrorRate = -1;
    signal.m_uncorrectedBlocks = -1;
    if (frontend->has_v5_stats) {   // the version 3 counts have no scale to show
        fecap_scale_params scale = FE_SCALE_NOT_AVAILABLE;
        const float rate = dvb_fe_retrieve_ber(frontend, 0, &scale);
        if (scale == FE_SCALE_COUNTER && rate >= 0)
            signal.m_bitErrorRate = rate;
        const dtv_stats* blocks = dvb_fe_retrieve_stats_layer(frontend, DTV_STAT_ERROR_BLOCK_COUNT, 0);
        if (blocks && blocks->scale == FE_SCALE_COUNTER) {
            if (m_firstUncorrected < 0)   // the driver counts from its own start
                m_firstUncorrected = (long long)blocks->uvalue;
            signal.m_uncorrectedBlocks = (long long)blocks->uvalue - m_firstUncorrected;
        }
    }
    return true;
}

bool CLibDVBv5Device::OpenStream(std::string& error)
{
    // The DVR first, so that its buffer is the large one before packets flow into it.
    m_dvr = OpenDevice("dvr", m_stream, O_RDONLY | O_NONBLOCK, error);
    if (m_dvr == nullptr)
        return false;
    if (dvb_dev_set_bufsize(m_dvr, DvrBufferBytes) != 0)
        LogToDebugOutput(LOG_WARNING, "the DVR keeps the kernel's buffer");
    m_demux = OpenDevice("demux", m_stream, O_RDWR, error);
    if (m_demux == nullptr)
        return false;
    const int result = dvb_dev_dmx_set_pesfilter(m_demux, 0x2000, DMX_PES_OTHER, DMX_OUT_TS_TAP, 0);
    if (result < 0) {
        error = m_root + "/adapter" + std::to_string(m_adapter) + "/demux" + std::to_string(m_stream) +
                " cannot pass the stream: " + std::strerror(-result);
        return false;
    }
    return true;
}

long CLibDVBv5Device::Read(BYTE* buffer, std::size_t size, int timeoutMs)
{
    if (m_dvr == nullptr)
        return ReadFailed;
    pollfd descriptor{dvb_dev_get_fd(m_dvr), POLLIN, 0};
    const int ready = ::poll(&descriptor, 1, timeoutMs);
    if (ready < 0)
        return errno == EINTR ? 0 : ReadFailed;
    if (ready == 0)
        return 0;
    const ssize_t n = dvb_dev_read(m_dvr, buffer, size);
    if (n >= 0)
        return long(n);
    if (n == -EOVERFLOW)
        return ReadOverflowed;
    return n == -EAGAIN || n == -EINTR ? 0 : ReadFailed;
}

void CLibDVBv5Device::Close()
{
    if (m_dvb)
        dvb_dev_free(m_dvb);   // closes what is open, the LNB's power off first
    m_dvb = nullptr;
    m_frontend = m_demux = m_dvr = nullptr;
}
