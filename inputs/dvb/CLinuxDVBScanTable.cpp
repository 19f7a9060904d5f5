#include "inputs/dvb/CLinuxDVBScanTable.h"

#include <libdvbv5/dvb-fe.h>
#include <libdvbv5/dvb-file.h>

#include <algorithm>
#include <cctype>
#include <sys/stat.h>

namespace {

bool IsFile(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::string CLinuxDVBScanTable::PathFor(const std::string& region, const std::string& root)
{
    if (IsFile(region))
        return region;
    const std::size_t slash = region.find('/');
    if (slash == std::string::npos) {   // a satellite: "Astra-19.2E"
        const std::string path = root + "/dvb-s/" + region;
        return region.empty() || !IsFile(path) ? std::string() : path;
    }
    if (slash == 0 || slash + 1 == region.size())
        return std::string();
    std::string country = region.substr(0, slash);
    std::transform(country.begin(), country.end(), country.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const std::string name = country + "-" + region.substr(slash + 1);
    for (const char* folder : {"dvb-t", "dvb-c"}) {
        const std::string path = root + "/" + folder + "/" + name;
        if (IsFile(path))
            return path;
    }
    return std::string();
}

bool CLinuxDVBScanTable::Read(const std::string& path, std::vector<CLinuxDVBTuning>& tunings)
{
    dvb_file* file = dvb_read_file_format(path.c_str(), SYS_UNDEFINED, FILE_DVBV5);
    if (file == nullptr)
        return false;
    for (dvb_entry* entry = file->first_entry; entry; entry = entry->next) {
        uint32_t system = SYS_UNDEFINED, frequency = 0, bandwidth = 0, symbolRate = 0, plp = 0, polarisation = 0;
        dvb_retrieve_entry_prop(entry, DTV_DELIVERY_SYSTEM, &system);
        dvb_retrieve_entry_prop(entry, DTV_FREQUENCY, &frequency);
        dvb_retrieve_entry_prop(entry, DTV_BANDWIDTH_HZ, &bandwidth);
        dvb_retrieve_entry_prop(entry, DTV_SYMBOL_RATE, &symbolRate);
        dvb_retrieve_entry_prop(entry, DTV_POLARIZATION, &polarisation);
        const bool hasPlp = dvb_retrieve_entry_prop(entry, DTV_STREAM_ID, &plp) == 0;
        if (system >= sizeof delivery_system_name / sizeof delivery_system_name[0] || frequency == 0)
            continue;
        CLinuxDVBTuning tuning;
        tuning.m_deliverySystem = delivery_system_name[system];
        tuning.m_frequency = frequency;
        if (system == SYS_DVBS || system == SYS_DVBS2) {
            tuning.m_bandwidthOrSymbolRate = symbolRate;
            tuning.m_polarisation = CLinuxDVBTuning::PolarisationLetter(polarisation);
        } else if (tuning.IsCable()) {
            tuning.m_bandwidthOrSymbolRate = symbolRate;
        } else if (system == SYS_DVBT || system == SYS_DVBT2) {
            tuning.m_bandwidthOrSymbolRate = bandwidth;
        } else {
            continue;   // ATSC, ISDB and the like: not broadcast where this plug-in is used
        }
        if (hasPlp && system == SYS_DVBT2)
            tuning.m_plp = int(plp);
        tunings.push_back(tuning);
    }
    dvb_file_free(file);
    return true;
}
