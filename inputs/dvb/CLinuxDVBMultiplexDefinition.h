#pragma once
// One multiplex on a tuner: name, delivery system, frequency (Hz; kHz for satellite),
// bandwidth (Hz) or symbol rate (symbols/s), and optionally adapter, frontend, DVB-T2 PLP,
// and a satellite's polarisation and LNB. A line reads "BBC A, DVBT, 490000000, 8000000",
// "Mux 1, DVBT2, 545833000, 8000000, 1, 0, 0" or "Astra, DVBS2, 11362000, 22000000, 0, 0, -1, H".
#include "inputs/dvb/CLinuxDVBTuning.h"
#include "plugins/CDVBMultiplexDefinition.h"

class CLinuxDVBMultiplexDefinition : public CDVBMultiplexDefinition
{
public:
    CString GetName() override { return m_name; }
    bool ReadFieldFromString(int index, const CString& text) override;
    bool WriteFieldToString(int index, CString& text) override;
    int GetRequiredFieldCount() override { return 4; }
    int GetOptionalFieldCount() override { return 5; }
    CString GetFieldName(int index) override;

    CString m_name;
    CLinuxDVBTuning m_tuning;
};
