#pragma once
// The decoder plug-in of LUMAVDecoder.so: video (MPEG-2, H.264, HEVC) and audio (MPEG
// audio, AAC, AC-3, E-AC-3) components, and DVB subtitles, decoded with FFmpeg's libavcodec. The decoders
// live in libLUMAVDecoderBackend.so, loaded with FFmpeg at the first component asked for.
#include "core/CDVBPIDReceiver.h"
#include "plugins/CLUMDecoderPlugin.h"
#include "plugins/COpenedObjects.h"
#include "plugins/CPluginBackend.h"

class CAVDecoderPlugin : public CLUMDecoderPlugin
{
public:
    CAVDecoderPlugin();

    CString GetName() override { return "LUMAVDecoder"; }
    CString GetDescription() override { return "Decodes video, audio and DVB subtitle components with FFmpeg's libavcodec."; }
    bool SupportsComponent(CDVBComponentDefinition* component) override;
    CDVBPIDReceiver* OpenComponent(CDVBComponentDefinition* component) override;
    bool CloseComponent(CDVBPIDReceiver* receiver) override;

private:
    CPluginBackend m_backend;
    COpenedObjects<CDVBPIDReceiver> m_open;
};
