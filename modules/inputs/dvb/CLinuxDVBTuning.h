#pragma once
// Where a tuner goes: the delivery system (libdvbv5's name: "DVBT", "DVBT2", "DVBC/ANNEX_A",
// "DVBS", "DVBS2"), frequency (Hz; kHz for satellite, as the Linux DVB API counts it),
// bandwidth in Hz (terrestrial) or symbol rate in symbols/s (cable, satellite), the PLP
// of a DVB-T2 multiplex or input stream of a DVB-S2 one (-1: none), which adapter and
// frontend, for satellite the polarisation ("H", "V", "L", "R"), the LNB (libdvbv5's name,
// "UNIVERSAL" by default) and the DiSEqC position (-1: no switch), and the modulation
// parameters that are fixed (the rest go out as AUTO).
#include "modules/inputs/dvb/CLinuxDVBParameters.h"

#include <cstdint>
#include <string>
#include <vector>

struct CLinuxDVBTuning
{
    std::string m_deliverySystem = "DVBT";
    std::uint32_t m_frequency = 0;
    std::uint32_t m_bandwidthOrSymbolRate = 0;
    int m_adapter = 0;
    int m_frontend = 0;
    int m_plp = -1;
    std::string m_polarisation;
    std::string m_lnb = "UNIVERSAL";
    int m_satelliteNumber = -1;
    CLinuxDVBParameters::Values m_parameters;

    bool IsCable() const { return m_deliverySystem.rfind("DVBC", 0) == 0; }
    bool IsSatellite() const { return m_deliverySystem.rfind("DVBS", 0) == 0; }
    bool HasSymbolRate() const { return IsCable() || IsSatellite(); }
    double FrequencyMHz() const { return IsSatellite() ? m_frequency / 1e3 : m_frequency / 1e6; }

    // The delivery systems the plug-in tunes, by libdvbv5's names.
    static const std::vector<std::string>& DeliverySystems()
    {
        static const std::vector<std::string> names = {"DVBT", "DVBT2", "DVBC/ANNEX_A", "DVBS", "DVBS2"};
        return names;
    }
    static bool IsDeliverySystem(const std::string& name)
    {
        for (const std::string& known : DeliverySystems())
            if (name == known)
                return true;
        return false;
    }

    // libdvbv5's numbers of the polarisations: 1 to 4 for "H", "V", "L", "R"; 0 for none.
    static unsigned PolarisationNumber(const std::string& letter)
    {
        const std::string letters = "HVLR";
        const std::size_t at = letter.size() == 1 ? letters.find(letter[0]) : std::string::npos;
        return at == std::string::npos ? 0 : unsigned(at + 1);
    }
    static std::string PolarisationLetter(unsigned number)
    {
        return number >= 1 && number <= 4 ? std::string(1, "HVLR"[number - 1]) : std::string();
    }
};
