#pragma once
// What testing a multiplex does, without a user interface: open the definition through
// its input plug-in, receive it, and four times a second (OnTimer) work out the status
// text and the services rows. The Test Multiplex dialog and the lumrx host show it.
#include "platform/CString.h"
#include "platform/LUMTypes.h"

#include <utility>
#include <vector>

class CClock;
class CDVBMultiplexDefinition;
class CDVBStandardTSUpdateHandler;
class CDVBTransportStreamReceiver;
class CDVBStreamAnalyser;
class CDVBTransportStreamSource;
class CLUMInputPlugin;

class CTestMultiplexBehaviour
{
public:
    static constexpr int TimerPeriodMs = 250;

    // None is owned; the receiver's time comes from `clock`, the system's when null.
    CTestMultiplexBehaviour(CLUMInputPlugin* plugin, CDVBMultiplexDefinition* definition, CClock* clock = nullptr);
    ~CTestMultiplexBehaviour();
    CTestMultiplexBehaviour(const CTestMultiplexBehaviour&) = delete;
    CTestMultiplexBehaviour& operator=(const CTestMultiplexBehaviour&) = delete;

    CString GetCaption() const;   // "Testing multiplex [name]"
    // The first tick opens the multiplex and starts the receiver; every tick then updates
    // the status and the rows.
    void OnTimer();
    const CString& GetStatusText() const { return m_status; }
    bool IsStatusWarning() const { return m_warning; }
    // One row per program: its number and service name (as broadcast), in order of
    // appearance; rows are never removed.
    const std::vector<std::pair<WORD, CString>>& GetRows() const { return m_rows; }
    // Stops the receiver; false when it did not stop within a second ("Failed to stop
    // transport stream receiver."), which a view says before Close tears it down.
    bool Stop();
    // Stops the receiver if Stop has not, deletes it and closes the multiplex; false when
    // the receiver did not stop within a second.
    bool Close();

    bool IsOpen() const { return m_source != nullptr; }
    CDVBTransportStreamReceiver* GetReceiver() const { return m_receiver; }
    CDVBTransportStreamSource* GetSource() const { return m_source; }

private:
    void StartTest();
    void UpdateRow(WORD programNumber, const CString& serviceName);

    CLUMInputPlugin* m_plugin;
    CDVBMultiplexDefinition* m_definition;
    CClock* m_clock;
    CDVBTransportStreamSource* m_source = nullptr;
    CDVBTransportStreamReceiver* m_receiver = nullptr;
    CDVBStandardTSUpdateHandler* m_handler = nullptr;
    CDVBStreamAnalyser* m_analyser = nullptr;   // sees every packet, for the continuity and TR 101 290 state
    bool m_started = false;
    bool m_stopRequested = false;
    bool m_stopped = true;
    CString m_status = "Tuning...";
    bool m_warning = false;
    std::vector<std::pair<WORD, CString>> m_rows;
};
