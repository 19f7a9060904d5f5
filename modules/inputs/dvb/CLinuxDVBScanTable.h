#pragma once
// The initial-tuning files of dtv-scan-tables (/usr/share/dvb): a region "uk/CrystalPalace"
// names dvb-t/uk-CrystalPalace (or dvb-c/...), a satellite "Astra-19.2E" names
// dvb-s/Astra-19.2E; read with libdvbv5's reader, which also reads the one-line files of
// dvb-legacy/.
#include "modules/inputs/dvb/CLinuxDVBTuning.h"

#include <string>
#include <vector>

class CLinuxDVBScanTable
{
public:
    static constexpr const char* DefaultRoot = "/usr/share/dvb";

    // The file of "COUNTRY/REGION" under `root`, or `region` itself when it names a file;
    // empty when there is none.
    static std::string PathFor(const std::string& region, const std::string& root = DefaultRoot);
    // The DVB-T/T2, DVB-C and DVB-S/S2 entries of the file (others are skipped), with all
    // they say: modulation parameters, a satellite's LNB and DiSEqC position. False when
    // the file cannot be read.
    static bool Read(const std::string& path, std::vector<CLinuxDVBTuning>& tunings);
};
