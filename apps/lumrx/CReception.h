#pragma once
// What every receiving command does around its own work: the multiplex named first on the
// command line resolved and opened, the clock the run keeps (real, or simulated and moved
// on here), the receiver started, waited on while the command says so and stopped, and the
// multiplex closed. The source belongs to the input plug-in; this only asks for it back.
#include "platform/CManualClock.h"

#include <functional>
#include <string>

class CDVBFiniteSource;
class CDVBMultiplexDefinition;
class CDVBTransportStreamReceiver;
class CDVBTransportStreamSource;
class CLUMInputPlugin;
class CLumrxHost;
class COutputPath;
struct CLumrxOptions;

class CReception
{
public:
    CReception(CLumrxHost& host, const CLumrxOptions& options);
    ~CReception();
    CReception(const CReception&) = delete;
    CReception& operator=(const CReception&) = delete;

    // The definition or file named; `realTime` asks a file to keep its own pace. False, with
    // the reason given to the host, when nothing takes it.
    bool Resolve(bool realTime);
    // The resolved multiplex, opened. With `out`, where the command will write, checked once
    // the input is open: no command writes over the file it reads, nor `binary` data to a terminal.
    bool Open(const COutputPath* out = nullptr, bool binary = true);
    void Close();

    // From here on the run keeps simulated time: the receiver and a file's pacing wait on
    // a clock moved on only here, a millisecond as soon as the previous one's work is done.
    void Simulate(bool simulate) { m_simulate = simulate; }
    CClock& Clock();
    CManualClock* Simulated() { return m_simulate ? &m_simulated : nullptr; }
    // A quarter of a second of the run's time; false when simulated time stopped moving.
    bool Pause();
    double SecondsSince(std::int64_t start);

    // Starts `receiver` (initialised by the caller) and calls `step` until it returns false
    // or the user interrupts; then stops it, the last read dispatched before this returns.
    void Run(CDVBTransportStreamReceiver& receiver, const std::function<bool()>& step);

    const std::string& Name() const;   // as the user typed it
    CLUMInputPlugin* Plugin() const { return m_plugin; }
    CDVBMultiplexDefinition* Definition() const { return m_definition; }
    CDVBTransportStreamSource* Source() const { return m_source; }
    CDVBFiniteSource* Finite() const { return m_finite; }
    // Whether the file read has ended: one that does not loop ends the run.
    bool HasEnded() const;

private:
    CLumrxHost& m_host;
    const CLumrxOptions& m_options;
    bool m_simulate = false;
    CManualClock m_simulated;
    CLUMInputPlugin* m_plugin = nullptr;
    CDVBMultiplexDefinition* m_definition = nullptr;
    CDVBTransportStreamSource* m_source = nullptr;
    CDVBFiniteSource* m_finite = nullptr;
};
