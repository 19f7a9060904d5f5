#pragma once
// A receiver that notes, as JSON, what every section it is given holds (the last one of
// each kind wins, as in libdvbpsi's dump), then handles it as usual. Text is hex, byte
// for byte. Plays a file through the real receive thread.
#include "core/CDVBTransportStreamReceiver.h"

#include <nlohmann/json.hpp>

#include <mutex>
#include <string>

class CCapturingReceiver : public CDVBTransportStreamReceiver
{
public:
    using CDVBTransportStreamReceiver::CDVBTransportStreamReceiver;

    // The sections seen so far: pat, pmts{number}, sdt, nit, eits{table/service/section},
    // tdt, tot, and counts of reports per table.
    nlohmann::json Captured() const;

    static std::string Hex(const CString& text);

protected:
    void OnSectionUpdate(WORD pid, CDVBSISection* section) override;

private:
    mutable std::mutex m_lock;
    nlohmann::json m_captured = nlohmann::json::object();
};

// Plays `path` through a CCapturingReceiver as fast as it reads; empty JSON when the file
// cannot be read or the play does not end within a minute.
nlohmann::json CaptureStream(const std::string& path);
