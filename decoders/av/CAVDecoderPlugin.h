#pragma once
// The decoder plug-in of LUMAVDecoder.so: video (MPEG-2, H.264, HEVC) and audio (MPEG
// audio, AAC, AC-3, E-AC-3) components, decoded with FFmpeg's libavcodec.
#include "plugins/CLUMDecoderPlugin.h"

class CAVDecoderPlugin : public CLUMDecoderPlugin
{
public:
    CString GetName() override { return "LUMAVDecoder"; }
    CString GetDescription() override { return "Decodes video and audio components with FFmpeg's libavcodec."; }
    bool SupportsComponent(CDVBComponentDefinition* component) override;
    CDVBPIDReceiver* OpenComponent(CDVBComponentDefinition* component) override;
    bool CloseComponent(CDVBPIDReceiver* receiver) override;
};
