#pragma once
// Shows one service's video through the first decoder and display plug-ins loaded: the
// display keeps the latest picture for the host to take (CDVBFrameSnapshot). Play is
// called again until the service's program map has come; Stop hands the decoder back
// before the receiver goes.
#include "decode/CDVBProgramClock.h"
#include "platform/GUID.h"
#include "platform/LUMTypes.h"

#include <cstdint>
#include <vector>

class CDVBComponentDefinition;
class CDVBDisplay;
class CDVBPIDReceiver;
class CDVBTransportStreamReceiver;
class CLUMDecoderPlugin;
class CLUMDisplayPlugin;

class CServicePlayer
{
public:
    enum class State
    {
        Waiting,     // for the program map
        Playing,
        NoVideo,     // a radio or data service
        NoPlugins,   // no decoder or display plug-in loaded
        NoDecoder,   // none for that video's codec
    };

    CServicePlayer() = default;
    CServicePlayer(const CServicePlayer&) = delete;
    CServicePlayer& operator=(const CServicePlayer&) = delete;
    ~CServicePlayer() { Stop(); }

    State Play(CDVBTransportStreamReceiver& receiver, WORD service);
    void Stop();
    WORD GetService() const { return m_service; }
    // False until a picture has been decoded; `rgb` gets width * height * 3 bytes.
    bool GetLatestFrame(std::vector<std::uint8_t>& rgb, int& width, int& height, long long& presentationTime);

    // The first video component of a service, once its program map has come.
    static bool FindVideo(CDVBTransportStreamReceiver& receiver, WORD service, CDVBComponentDefinition& video);
    // 0xFFFF without video; `mapped` says whether the program map has come.
    static WORD VideoPid(CDVBTransportStreamReceiver& receiver, WORD service, bool& mapped);

private:

    CDVBTransportStreamReceiver* m_receiver = nullptr;
    WORD m_service = 0xFFFF;
    State m_state = State::Waiting;
    CLUMDecoderPlugin* m_decoderPlugin = nullptr;
    CLUMDisplayPlugin* m_displayPlugin = nullptr;
    CDVBDisplay* m_display = nullptr;
    CDVBPIDReceiver* m_decoder = nullptr;
    CDVBProgramClock m_clock;
    GUID m_cookie{};
};
