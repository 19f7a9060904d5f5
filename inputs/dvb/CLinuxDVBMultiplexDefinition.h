#pragma once
// One multiplex on a tuner: name, delivery system, frequency (Hz), bandwidth (Hz) or
// symbol rate (symbols/s), and optionally adapter, frontend and DVB-T2 PLP. A line reads
// "BBC A, DVBT, 490000000, 8000000" or "Mux 1, DVBT2, 545833000, 8000000, 1, 0, 0".
#include "inputs/dvb/CLinuxDVBTuning.h"
#include "plugins/CDVBMultiplexDefinition.h"

class CLinuxDVBMultiplexDefinition : public CDVBMultiplexDefinition
{
public:
    CString GetName() override { return m_name; }
    bool ReadFieldFromString(int index, const CString& text) override;
    bool WriteFieldToString(int index, CString& text) override;
    int GetRequiredFieldCount() override { return 4; }
    int GetOptionalFieldCount() override { return 3; }
    CString GetFieldName(int index) override;

    CString m_name;
    CLinuxDVBTuning m_tuning;
};
