#include "CReception.h"

#include "CInterruption.h"
#include "CLumrxHost.h"
#include "CLumrxOptions.h"

#include "apps/common/COutputPath.h"

#include "core/CDVBFiniteSource.h"
#include "core/CDVBTransportStreamSource.h"
#include "platform/CEvent.h"
#include "plugins/CLUMInputPlugin.h"
#include "receiver/CDVBTransportStreamReceiver.h"

#include <unistd.h>

CReception::CReception(CLumrxHost& host, const CLumrxOptions& options) : m_host(host), m_options(options)
{
}

CReception::~CReception()
{
    Close();
}

const std::string& CReception::Name() const
{
    return m_options.arguments[0];
}

bool CReception::Resolve(bool realTime)
{
    return m_host.ResolveMultiplex(Name(), m_options.plugin, realTime, m_plugin, m_definition);
}

bool CReception::Open(const COutputPath* out, bool binary)
{
    m_source = m_plugin->OpenMultiplex(m_definition);
    if (m_source == nullptr) {
        m_host.FailToOpen(m_plugin, Name(), m_definition);
        return false;
    }
    if (out && out->IsBeingRead())
        m_host.Fail(ExitUsage, out->GetPath() + " is the file " + Name() + " is read from: lumrx does not write over what it reads");
    else if (out && binary && out->IsStandardOutput() && ::isatty(STDOUT_FILENO))
        m_host.Fail(ExitUsage, "standard output is a terminal: send it to a file or a program (| ffprobe -)");
    else {
        m_finite = dynamic_cast<CDVBFiniteSource*>(m_source);
        return true;
    }
    Close();
    return false;
}

void CReception::Close()
{
    if (m_source)
        m_plugin->CloseMultiplex(m_source);
    m_source = nullptr;
    m_finite = nullptr;
}

CClock& CReception::Clock()
{
    return m_simulate ? m_simulated : CClock::System();
}

bool CReception::Pause()
{
    constexpr DWORD kQuarterMs = 250;
    if (m_simulate)
        return m_simulated.Run(kQuarterMs, 1000000, 1);
    CEvent never(true, false);
    CEvent* const events[] = {&never};
    CClock& clock = CClock::System();
    clock.WaitUntil(events, 1, clock.GetMonotonicTime() + std::int64_t(kQuarterMs) * 1000000);
    return true;
}

double CReception::SecondsSince(std::int64_t start)
{
    return double(Clock().GetMonotonicTime() - start) / 1e9;
}

void CReception::Run(CDVBTransportStreamReceiver& receiver, const std::function<bool()>& step)
{
    receiver.Start();
    if (m_simulate)
        m_simulated.WaitForWaiters(1);
    while (!CInterruption::IsRequested() && step()) {
    }
    receiver.Stop();
    receiver.WaitForStop(10000);
}

bool CReception::HasEnded() const
{
    return m_finite && m_finite->HasEnded();
}
