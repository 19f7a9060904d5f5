#include "inputs/dvb/CLinuxDVBInputPlugin.h"

#include "inputs/dvb/CLibDVBv5Device.h"
#include "inputs/dvb/CLinuxDVBInputSource.h"
#include "inputs/dvb/CLinuxDVBMultiplexDefinition.h"
#include "inputs/dvb/CLinuxDVBScanReceiver.h"
#include "inputs/dvb/CLinuxDVBScanTable.h"
#include "inputs/file/OpenedOrFailed.h"

#include <cstdio>
#include <cstdlib>

CLinuxDVBInputPlugin::CLinuxDVBInputPlugin()
    : m_deviceFactory([] { return std::make_unique<CLibDVBv5Device>(); }), m_scanTableRoot(CLinuxDVBScanTable::DefaultRoot)
{
}

CDVBTransportStreamSource* CLinuxDVBInputPlugin::OpenMultiplex(CDVBMultiplexDefinition* definition)
{
    m_lastOpenFailure = OpenFailureUnreadable;
    auto* dvb = dynamic_cast<CLinuxDVBMultiplexDefinition*>(definition);
    if (dvb == nullptr)
        return nullptr;
    return OpenedOrFailed(new CLinuxDVBInputSource(m_deviceFactory(), dvb->m_tuning, m_lockTimeoutMs), m_lastOpenFailure,
                          m_lastOpenFailureText);
}

bool CLinuxDVBInputPlugin::CloseMultiplex(CDVBTransportStreamSource* source)
{
    auto* dvb = dynamic_cast<CLinuxDVBInputSource*>(source);
    delete dvb;
    return dvb != nullptr;
}

CDVBMultiplexDefinition* CLinuxDVBInputPlugin::CreateMultiplexDefinition()
{
    return new CLinuxDVBMultiplexDefinition;
}

bool CLinuxDVBInputPlugin::ScanForMultiplexDefinitions()
{
    const char* region = std::getenv("LUM_DVB_REGION");
    return region && *region && ScanFolder(region);
}

bool CLinuxDVBInputPlugin::ScanFolder(const CString& folder)
{
    m_lastOpenFailure = OpenFailureUnreadable;
    const std::string path = CLinuxDVBScanTable::PathFor(folder.Str(), m_scanTableRoot);
    std::vector<CLinuxDVBTuning> tunings;
    if (path.empty() || !CLinuxDVBScanTable::Read(path, tunings)) {
        m_lastOpenFailureText = ("no initial-tuning file for \"" + folder.Str() + "\" under " + m_scanTableRoot).c_str();
        return false;
    }
    for (const CLinuxDVBTuning& tuning : tunings) {
        CLinuxDVBInputSource source(m_deviceFactory(), tuning, m_lockTimeoutMs);
        if (!source.Open()) {
            if (source.GetFailure() == OpenFailureNoSignal)
                continue;   // nothing on this frequency here
            m_lastOpenFailure = source.GetFailure();   // no tuner: no other frequency will do
            m_lastOpenFailureText = source.GetFailureText().c_str();
            return false;
        }
        std::string name;
        {
            CLinuxDVBScanReceiver receiver(&source);
            receiver.Initialise();
            receiver.Start();
            receiver.WaitForNames(m_namesTimeoutMs);
            receiver.Stop();
            receiver.WaitForStop(10000);
            name = receiver.GetName();
            receiver.DeInitialise();
        }
        if (name.empty()) {   // locked, but no service information came: name it by frequency
            char text[32];
            std::snprintf(text, sizeof text, "%.3f MHz", tuning.FrequencyMHz());
            name = text;
        }
        auto* definition = new CLinuxDVBMultiplexDefinition;
        definition->m_name = name.c_str();
        definition->m_tuning = tuning;
        AddMultiplexDefinition(definition);
    }
    m_lastOpenFailure = OpenFailureNone;
    return true;
}
