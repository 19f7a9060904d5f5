#include "plugins/CTestMultiplexBehaviour.h"

#include "receiver/CDVBTransportStreamReceiver.h"
#include "core/CDVBRecoveringSource.h"
#include "core/CDVBTransportStreamSource.h"
#include "model/CDVBStandardTSUpdateHandler.h"
#include "platform/CSingleLock.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "si/CDVBStreamAnalyser.h"

#include <iomanip>
#include <locale>
#include <sstream>

CTestMultiplexBehaviour::CTestMultiplexBehaviour(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition,
                                                 CClock* clock)
    : m_plugin(plugin), m_definition(definition), m_clock(clock)
{
}

CTestMultiplexBehaviour::~CTestMultiplexBehaviour()
{
    Close();
}

CString CTestMultiplexBehaviour::GetCaption() const
{
    return "Testing multiplex [" + m_definition->GetName() + "]";
}

void CTestMultiplexBehaviour::StartTest()
{
    m_started = true;
    m_handler = new CDVBStandardTSUpdateHandler;
    m_source = m_plugin->OpenMultiplex(m_definition);
    if (m_source == nullptr)
        return;   // no receiver over a missing source
    m_receiver = new CDVBTransportStreamReceiver(m_source, m_handler, m_clock);
    m_analyser = new CDVBStreamAnalyser;
    m_receiver->SetStreamAnalyser(m_analyser);
    m_receiver->Initialise();
    m_receiver->Start();
}

void CTestMultiplexBehaviour::OnTimer()
{
    CString text;
    m_warning = false;
    if (!m_started) {
        StartTest();
        if (m_source == nullptr) {
            text = "The multiplex could not be opened.";
            m_warning = true;
        }
    } else if (m_receiver == nullptr) {
        text = m_status;   // it could not be opened: that stays
        m_warning = true;
    } else if (m_receiver->GetSecondsSinceStart() < 1) {
        text = "Looking for service information...";
    } else if (!m_receiver->IsDataBeingReceived()) {
        text.Format("No data is being received %d.", m_receiver->GetSecondsSinceStart());
        m_warning = true;
        const auto* recovering = dynamic_cast<const CDVBRecoveringSource*>(m_source);
        if (recovering && recovering->IsRecovering())
            text += " (reception lost, retuning...)";
    } else {
        CString sourceStatus;
        m_source->GetStatus(sourceStatus);
        // the C locale's decimal point, whatever locale the host set
        std::ostringstream rate;
        rate.imbue(std::locale::classic());
        rate << std::fixed << std::setprecision(2) << m_receiver->GetBitrate() * 0.000001;
        text = ("Data is being received at " + rate.str() + " megabits per second").c_str();
        if (sourceStatus.IsEmpty())
            text += ".";
        else
            text += " [" + sourceStatus + "]";
        // what a technician asks next: is the stream itself whole
        const CDVBStreamAnalysis analysis = m_analyser->GetAnalysis();
        const std::uint64_t gaps = analysis.indicators[CDVBStreamAnalysis::ContinuityCountError].count;
        text += (" (" + std::to_string(gaps) + (gaps == 1 ? " continuity error, " : " continuity errors, ") +
                 analysis.FirstPriorityState() + ")")
                    .c_str();
    }
    m_status = text;

    if (m_handler == nullptr || !m_handler->HaveUpdatesOccurred())
        return;
    if (m_receiver) {
        CSingleLock guard(*m_receiver->GetProgramsSection());
        WORD number = 0;
        int type = 0;
        while (m_handler->RemoveUpdate(number, type))
            if (const CDVBProgram* program = m_receiver->GetProgram(number))
                UpdateRow(program->m_programNumber, program->m_serviceName);
    }
    m_handler->ClearUpdates();
}

void CTestMultiplexBehaviour::UpdateRow(WORD programNumber, const CString& serviceName)
{
    for (auto& row : m_rows) {
        if (row.first == programNumber) {
            if (row.second != serviceName)
                row.second = serviceName;
            return;
        }
    }
    m_rows.emplace_back(programNumber, serviceName);
}

bool CTestMultiplexBehaviour::Stop()
{
    if (m_receiver && !m_stopRequested) {
        m_stopRequested = true;
        m_receiver->Stop();
        m_stopped = m_receiver->WaitForStop(1000);
    }
    return m_stopped;
}

bool CTestMultiplexBehaviour::Close()
{
    const bool stopped = Stop();
    if (m_receiver) {
        m_receiver->DeInitialise();
        delete m_receiver;
        m_receiver = nullptr;
    }
    delete m_analyser;
    m_analyser = nullptr;
    if (m_source) {
        m_plugin->CloseMultiplex(m_source);
        m_source = nullptr;
    }
    delete m_handler;
    m_handler = nullptr;
    return stopped;
}
