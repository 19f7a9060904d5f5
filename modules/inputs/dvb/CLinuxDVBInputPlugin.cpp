#include "modules/inputs/dvb/CLinuxDVBInputPlugin.h"

#include "modules/inputs/dvb/CLibDVBv5Device.h"
#include "modules/inputs/dvb/CLinuxDVBInputSource.h"
#include "modules/inputs/dvb/CLinuxDVBMultiplexDefinition.h"
#include "modules/inputs/dvb/CLinuxDVBScanReceiver.h"
#include "modules/inputs/dvb/CLinuxDVBScanTable.h"
#include "modules/inputs/common/OpenedOrFailed.h"
#include "plugins/CDefinitionEditorBehaviour.h"

#include <cstdio>
#include <cstdlib>

namespace {

// A value in the wrong unit (MHz for Hz, Hz for kHz) falls outside these.
struct CRange
{
    std::uint32_t m_low;
    std::uint32_t m_high;
    const char* m_unit;
};
constexpr CRange kTerrestrialFrequency{30000000, 1100000000, "Hz"};
constexpr CRange kSatelliteFrequency{950000, 13000000, "kHz"};
constexpr CRange kBandwidth{1700000, 10000000, "Hz"};
constexpr CRange kSymbolRate{100000, 70000000, "symbols/s"};

bool InRange(std::uint32_t value, const CRange& range, const char* what, const std::string& system, CString& problem)
{
    if (value >= range.m_low && value <= range.m_high)
        return true;
    problem.Format("the %s %u is out of range for %s: %u to %u %s", what, value, system.c_str(), range.m_low,
                   range.m_high, range.m_unit);
    return false;
}

}  // namespace

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
    return m_open.Keep(OpenedOrFailed(new CLinuxDVBInputSource(m_deviceFactory(), dvb->m_tuning, m_lockTimeoutMs), m_lastOpenFailure,
                                      m_lastOpenFailureText));
}

int CLinuxDVBInputPlugin::CheckMultiplexDefinition(CDVBMultiplexDefinition* definition, CString& problem)
{
    auto* dvb = dynamic_cast<CLinuxDVBMultiplexDefinition*>(definition);
    if (dvb == nullptr) {
        problem = "not a definition of a tuner";
        return OpenFailureInvalid;
    }
    const CLinuxDVBTuning& tuning = dvb->m_tuning;
    const std::string& system = tuning.m_deliverySystem;
    if (!CLinuxDVBTuning::IsDeliverySystem(system)) {
        std::string known;
        for (const std::string& name : CLinuxDVBTuning::DeliverySystems())
            known += (known.empty() ? "" : ", ") + name;
        problem = ("the delivery system \"" + system + "\" is not one of " + known).c_str();
        return OpenFailureInvalid;
    }
    const bool satellite = tuning.IsSatellite();
    if (!InRange(tuning.m_frequency, satellite ? kSatelliteFrequency : kTerrestrialFrequency, "frequency", system, problem) ||
        !InRange(tuning.m_bandwidthOrSymbolRate, tuning.HasSymbolRate() ? kSymbolRate : kBandwidth,
                 tuning.HasSymbolRate() ? "symbol rate" : "bandwidth", system, problem))
        return OpenFailureInvalid;
    if (satellite && CLinuxDVBTuning::PolarisationNumber(tuning.m_polarisation) == 0) {
        problem = ("the polarisation \"" + tuning.m_polarisation + "\" is not H, V, L or R, which satellite needs").c_str();
        return OpenFailureInvalid;
    }
    if (satellite && !CLibDVBv5Device::IsKnownLnb(tuning.m_lnb)) {
        problem = ("the LNB \"" + tuning.m_lnb + "\" is not one libdvbv5 knows").c_str();
        return OpenFailureInvalid;
    }
    std::string wrong;
    if (!dvb->m_unreadParameters.empty()) {
        CLinuxDVBParameters::Values ignored;
        CLinuxDVBParameters::Parse(dvb->m_unreadParameters, ignored, wrong);
    }
    for (const auto& parameter : tuning.m_parameters)
        if (wrong.empty() && !CLinuxDVBParameters::Takes(system, parameter.first))
            wrong = CLinuxDVBParameters::Format({parameter}) + " is not a parameter of " + system + ", which takes " +
                    CLinuxDVBParameters::NamesFor(system);
    if (!wrong.empty()) {
        problem = wrong.c_str();
        return OpenFailureInvalid;
    }
    return OpenFailureNone;
}

bool CLinuxDVBInputPlugin::CloseMultiplex(CDVBTransportStreamSource* source)
{
    return m_open.Delete(source);
}

CDVBMultiplexDefinition* CLinuxDVBInputPlugin::CreateMultiplexDefinition()
{
    return new CLinuxDVBMultiplexDefinition;
}

bool CLinuxDVBInputPlugin::ConfigureMultiplexDefinition(CDVBMultiplexDefinition* definition)
{
    using Kind = CDefinitionEditorBehaviour::Kind;
    CDefinitionEditorBehaviour editor(this, definition);
    std::vector<CString> systems, lnbs;
    for (const std::string& system : CLinuxDVBTuning::DeliverySystems())
        systems.emplace_back(system.c_str());
    for (const std::string& lnb : CLibDVBv5Device::LnbNames())
        lnbs.emplace_back(lnb.c_str());
    editor.AddField(0, Kind::Text);
    editor.AddChoice(1, systems, false);
    editor.AddField(2, Kind::Number, "in Hz; for satellite the transponder's frequency in kHz");
    editor.AddField(3, Kind::Number, "bandwidth in Hz (terrestrial), symbol rate in symbols/s (cable, satellite)");
    editor.AddField(4, Kind::Number, "the N of /dev/dvb/adapterN");
    editor.AddField(5, Kind::Number, "the N of the adapter's frontendN");
    editor.AddField(6, Kind::Number, "the physical layer pipe of a DVB-T2 multiplex; -1 for none");
    editor.AddChoice(7, {"", "H", "V", "L", "R"}, false, "satellite: H, V, L or R");
    editor.AddChoice(8, lnbs, false, "satellite: the LNB, by libdvbv5's name");
    editor.AddField(9, Kind::Number, "satellite: the position on a DiSEqC switch, 0 to 3; -1 for none");
    editor.AddField(10, Kind::Text, "what the tuner should not search for, by libdvbv5's names: MODULATION=QAM/256 INNER_FEC=3/4");
    return editor.Run();
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
    std::string skipped;   // what this tuner cannot take: the scan goes on without it
    for (const CLinuxDVBTuning& tuning : tunings) {
        CLinuxDVBInputSource source(m_deviceFactory(), tuning, m_lockTimeoutMs);
        if (!source.Open()) {
            if (source.GetFailure() == OpenFailureNoSignal)
                continue;   // nothing on this frequency here
            if (source.GetFailure() == OpenFailureInvalid) {
                char where[48];
                std::snprintf(where, sizeof where, "%s %.3f MHz: ", tuning.m_deliverySystem.c_str(), tuning.FrequencyMHz());
                skipped += where + source.GetFailureText() + "\n";
                continue;
            }
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
    m_lastOpenFailureText = skipped.c_str();
    return true;
}
