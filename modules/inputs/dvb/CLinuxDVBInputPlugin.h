#pragma once
// The input plug-in of LUMLinuxDVBInput.so: DVB-T/T2, DVB-C and DVB-S/S2 tuners through the
// Linux DVB API version 5 (libdvbv5). A scan tries each entry of a dtv-scan-tables file
// and adds the multiplexes that lock, named after their network and transport stream;
// entries the tuner cannot take (DVB-T2 on a DVB-T tuner) are skipped.
#include "modules/inputs/dvb/CLinuxDVBDevice.h"
#include "plugins/CLUMInputPlugin.h"
#include "plugins/CLUMInputPluginExtension.h"
#include "plugins/COpenedObjects.h"

#include <functional>
#include <memory>

class CLinuxDVBInputPlugin : public CLUMInputPlugin, public CLUMInputPluginExtension
{
public:
    using DeviceFactory = std::function<std::unique_ptr<CLinuxDVBDevice>()>;

    CLinuxDVBInputPlugin();

    CString GetName() override { return "LUMLinuxDVBInput"; }
    CString GetDescription() override { return "Receives DVB-T, DVB-T2, DVB-C and DVB-S/S2 through Linux DVB tuners."; }

    CDVBTransportStreamSource* OpenMultiplex(CDVBMultiplexDefinition* definition) override;
    bool CloseMultiplex(CDVBTransportStreamSource* source) override;
    CDVBMultiplexDefinition* CreateMultiplexDefinition() override;
    // The delivery system and its tuning values, checked as lumrx add checks them.
    bool ConfigureMultiplexDefinition(CDVBMultiplexDefinition* definition) override;
    // Scans the region of LUM_DVB_REGION ("uk/CrystalPalace", "Astra-19.2E"); false without one.
    bool ScanForMultiplexDefinitions() override;

    CDVBMultiplexDefinition* CreateDefinitionForLocation(const CString&, bool) override { return nullptr; }
    int GetLastOpenFailure() override { return m_lastOpenFailure; }
    CString GetLastOpenFailureText() override { return m_lastOpenFailureText; }
    // The delivery system known, frequency, bandwidth or symbol rate within what the
    // delivery system uses, for satellite a polarisation and an LNB libdvbv5 knows, and
    // parameters that read and belong to the delivery system.
    int CheckMultiplexDefinition(CDVBMultiplexDefinition* definition, CString& problem) override;
    // `folder` is a region of dtv-scan-tables ("COUNTRY/REGION" or a satellite's name) or
    // an initial-tuning file. After a scan that succeeds, GetLastOpenFailureText holds the
    // entries skipped, a line each with why.
    bool ScanFolder(const CString& folder) override;
    bool RemoveMultiplexDefinition(CDVBMultiplexDefinition* definition) override { return DeleteMultiplexDefinition(definition); }

    // What tests change: the device, how long a tuner may take to lock and how long a scan
    // waits for a multiplex's names, and where the scan tables are.
    void SetDeviceFactory(DeviceFactory factory) { m_deviceFactory = std::move(factory); }
    void SetTimeouts(DWORD lockMs, DWORD namesMs) { m_lockTimeoutMs = lockMs; m_namesTimeoutMs = namesMs; }
    void SetScanTableRoot(const std::string& root) { m_scanTableRoot = root; }

private:
    DeviceFactory m_deviceFactory;
    DWORD m_lockTimeoutMs = 5000;
    DWORD m_namesTimeoutMs = 15000;   // a NIT comes every 10 s at the least
    std::string m_scanTableRoot;
    COpenedObjects<CDVBTransportStreamSource> m_open;
    int m_lastOpenFailure = OpenFailureNone;
    CString m_lastOpenFailureText;
};
