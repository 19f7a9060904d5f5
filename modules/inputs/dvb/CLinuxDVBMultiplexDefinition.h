#pragma once
// One multiplex on a tuner: name, delivery system, frequency (Hz; kHz for satellite),
// bandwidth (Hz) or symbol rate (symbols/s), and optionally adapter, frontend, PLP (DVB-T2)
// or input stream (DVB-S2), a satellite's polarisation, LNB and DiSEqC position, and the
// modulation parameters that are fixed. A line reads "BBC A, DVBT, 490000000, 8000000",
// "Mux 1, DVBT2, 545833000, 8000000, 1, 0, 0", "Astra, DVBS2, 11362000, 22000000, 0, 0, -1, H"
// or "Cable, DVBC/ANNEX_A, 346000000, 6900000, 0, 0, -1, , UNIVERSAL, -1, MODULATION=QAM/256".
#include "modules/inputs/dvb/CLinuxDVBTuning.h"
#include "plugins/CDVBMultiplexDefinition.h"

#include <string>

class CLinuxDVBMultiplexDefinition : public CDVBMultiplexDefinition
{
public:
    CString GetName() override { return m_name; }
    bool ReadFieldFromString(int index, const CString& text) override;
    bool WriteFieldToString(int index, CString& text) override;
    int GetRequiredFieldCount() override { return 4; }
    int GetOptionalFieldCount() override { return 7; }
    CString GetFieldName(int index) override;

    CString m_name;
    CLinuxDVBTuning m_tuning;
    std::string m_unreadParameters;   // the parameters as written, when they did not read
};
