#include "modules/inputs/dvb/CLinuxDVBScanTable.h"

#include <libdvbv5/dvb-fe.h>
#include <libdvbv5/dvb-file.h>

#include <algorithm>
#include <cctype>
#include <fstream>
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
        for (const char* folder : {"/dvb-s/", "/dvb-legacy/dvb-s/"})
            if (!region.empty() && IsFile(root + folder + region))
                return root + folder + region;
        return std::string();
    }
    if (slash == 0 || slash + 1 == region.size())
        return std::string();
    std::string country = region.substr(0, slash);
    std::transform(country.begin(), country.end(), country.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const std::string name = country + "-" + region.substr(slash + 1);
    for (const char* folder : {"dvb-t", "dvb-c", "dvb-legacy/dvb-t", "dvb-legacy/dvb-c"}) {
        const std::string path = root + "/" + folder + "/" + name;
        if (IsFile(path))
            return path;
    }
    return std::string();
}

bool CLinuxDVBScanTable::Read(const std::string& path, std::vector<CLinuxDVBTuning>& tunings)
{
    // The files of dtv-scan-tables open with "[name]"; those of dvb-legacy/ are one line
    // per multiplex ("T 490000000 8MHz ..."). Either reader complains on the terminal about
    // the other's files, so the file says which it is first.
    std::ifstream text(path);
    char first = 0;
    for (std::string line; first == 0 && std::getline(text, line);) {
        const std::size_t at = line.find_first_not_of(" \t\r");
        if (at != std::string::npos && line[at] != '#')
            first = line[at];
    }
    dvb_file* file = dvb_read_file_format(path.c_str(), SYS_UNDEFINED, first == '[' ? FILE_DVBV5 : FILE_CHANNEL);
    if (file == nullptr)
        return false;
    for (dvb_entry* entry = file->first_entry; entry; entry = entry->next) {
        uint32_t system = SYS_UNDEFINED, frequency = 0;
        dvb_retrieve_entry_prop(entry, DTV_DELIVERY_SYSTEM, &system);
        dvb_retrieve_entry_prop(entry, DTV_FREQUENCY, &frequency);
        if (system >= sizeof delivery_system_name / sizeof delivery_system_name[0] || delivery_system_name[system] == nullptr ||
            !CLinuxDVBTuning::IsDeliverySystem(delivery_system_name[system]) || frequency == 0)
            continue;   // ATSC, ISDB and the like: not broadcast where this plug-in is used
        CLinuxDVBTuning tuning;
        tuning.m_deliverySystem = delivery_system_name[system];
        tuning.m_frequency = frequency;
        // Every property the entry gives, as dvbv5-zap sends them; libdvbv5 has already
        // filled what the file leaves out, with values out of range for some (PILOT).
        for (unsigned i = 0; i < entry->n_props; ++i) {
            const unsigned property = entry->props[i].cmd;
            const uint32_t value = entry->props[i].u.data;
            if (property == DTV_BANDWIDTH_HZ || property == DTV_SYMBOL_RATE)
                tuning.m_bandwidthOrSymbolRate = value;
            else if (property == DTV_STREAM_ID)
                tuning.m_plp = value == NO_STREAM_ID_FILTER ? -1 : int(value & 0xFF);   // a PLP or input stream is 8 bits
            else if (property == DTV_POLARIZATION)
                tuning.m_polarisation = CLinuxDVBTuning::PolarisationLetter(value);
            else if (CLinuxDVBParameters::Takes(tuning.m_deliverySystem, property) && CLinuxDVBParameters::IsValid(property, value))
                tuning.m_parameters[property] = value;
        }
        if (tuning.IsSatellite()) {
            if (entry->lnb && *entry->lnb)
                tuning.m_lnb = entry->lnb;
            if (entry->sat_number >= 0)
                tuning.m_satelliteNumber = entry->sat_number;
        }
        tunings.push_back(tuning);
    }
    dvb_file_free(file);
    return true;
}
