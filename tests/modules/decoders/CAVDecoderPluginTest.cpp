// The libavcodec decoder plug-in loaded as a host loads it, fed by the real receive thread
// from a looping file: video and audio decoders opened, fed and closed a hundred times
// while reception runs (the sanitizer runs look for races and leaks).
#include "core/CDVBPIDReceiver.h"
#include "receiver/CDVBTransportStreamReceiver.h"
#include "core/CDVBTransportStreamSource.h"
#include "decode/CDVBDisplay.h"
#include "model/CDVBComponentDefinition.h"
#include "platform/CEvent.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMDecoderPlugin.h"
#include "tests/plugins/CTestPluginFolder.h"

#include <gtest/gtest.h>

namespace {

struct CFrameEvent : CDVBDisplay
{
    void OnFrame(int width, int height, const unsigned char*, const unsigned char*, const unsigned char*, long long) override
    {
        if (width > 0 && height > 0)
            m_frame.Set();
    }
    CEvent m_frame{true, false};
};

}  // namespace

TEST(CAVDecoderPluginTest, DecodersComeAndGoAHundredTimesWhileAStreamPlays)
{
    if (!CTestPluginFolder::IsManagerFresh())
        GTEST_SKIP() << "needs a process of its own (run it through ctest or --gtest_filter)";
    CTestPluginFolder folder;
    folder.CopyIn(LUM_AV_DECODER_LIBRARY, "LUMAVDecoder.so");
    folder.CopyIn(LUM_AV_DECODER_BACKEND, "libLUMAVDecoderBackend.so");   // beside it, not a plug-in
    folder.CopyIn(LUM_FILE_INPUT_LIBRARY, "LUMFileInput.so");
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    manager->SetPluginFolderPath(folder.Path().c_str());
    ASSERT_EQ(manager->LoadPlugins(), 2);
    auto* input = dynamic_cast<CLUMInputPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeInput, 0));
    auto* decoders = dynamic_cast<CLUMDecoderPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeDecoder, 0));
    ASSERT_TRUE(input && decoders);
    CDVBComponentDefinition unknown;   // no coding named: nothing to decode with
    EXPECT_FALSE(decoders->SupportsComponent(&unknown));
    CDVBMultiplexDefinition* definition = input->CreateMultiplexDefinition();
    definition->ReadFromString((std::string("Modern, ") + LUM_MODERN_STREAM + ", fast, on").c_str());
    input->AddMultiplexDefinition(definition);
    CDVBTransportStreamSource* source = input->OpenMultiplex(definition);
    ASSERT_NE(source, nullptr);
    {
        CDVBTransportStreamReceiver receiver(source, nullptr);
        ASSERT_TRUE(receiver.Initialise());
        receiver.Start();
        CDVBComponentDefinition video, audio;
        video.m_pid = 0x100, video.m_codecName = "h264";
        audio.m_pid = 0x102, audio.m_codecName = "aac";
        for (int round = 0; round < 100; ++round) {
            CFrameEvent display;
            GUID cookie;
            cookie.Data1 = 7;
            CDVBPIDReceiver* opened[2] = {decoders->OpenComponent(&video), decoders->OpenComponent(&audio)};
            ASSERT_TRUE(opened[0] && opened[1]);
            EXPECT_TRUE(opened[0]->RequiresDisplay() && opened[0]->SetDisplay(&display));
            for (CDVBPIDReceiver* decoder : opened) {
                decoder->SetCookie(&cookie);
                receiver.AddPIDReceiver(decoder == opened[0] ? 0x100 : 0x102, decoder);
            }
            ASSERT_EQ(display.m_frame.Wait(20000), WAIT_OBJECT_0) << "round " << round;
            for (CDVBPIDReceiver* decoder : opened) {
                ASSERT_EQ(receiver.RemovePIDReceiverWithCookie(decoder->GetPID(), &cookie), decoder);
                decoder->Stop();
                EXPECT_TRUE(decoders->CloseComponent(decoder));
            }
        }
        receiver.Stop();
        EXPECT_TRUE(receiver.WaitForStop(10000));
        receiver.DeInitialise();
    }
    EXPECT_TRUE(input->CloseMultiplex(source));
    input->DeInitialise();
}
