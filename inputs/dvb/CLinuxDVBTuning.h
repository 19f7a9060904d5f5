#pragma once
// Where a tuner goes: the delivery system (libdvbv5's name: "DVBT", "DVBT2", "DVBC/ANNEX_A"),
// frequency in Hz, bandwidth in Hz (terrestrial) or symbol rate in symbols/s (cable),
// the PLP of a DVB-T2 multiplex (-1: none), and which adapter and frontend.
#include <cstdint>
#include <string>

struct CLinuxDVBTuning
{
    std::string m_deliverySystem = "DVBT";
    std::uint32_t m_frequency = 0;
    std::uint32_t m_bandwidthOrSymbolRate = 0;
    int m_adapter = 0;
    int m_frontend = 0;
    int m_plp = -1;

    bool IsCable() const { return m_deliverySystem.rfind("DVBC", 0) == 0; }
};
