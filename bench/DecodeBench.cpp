// The decode path: frames per second of the libavcodec decoder plug-in fed through a pull
// receiver, against `ffmpeg -f null` decoding the same file in the same run; and the pull
// receiver's own delivery rate between the receive thread and a decode thread.
#include "receiver/CDVBTransportStreamReceiver.h"
#include "core/CDVBTransportStreamSource.h"
#include "decode/CDVBDisplay.h"
#include "decode/CDVBPullReceiver.h"
#include "model/CDVBComponentDefinition.h"
#include "plugins/CLUMDecoderPlugin.h"
#include "plugins/CLUMPluginManager.h"

#include "peer_streams.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>
#include <algorithm>
#include <string>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct CCountingDisplay : CDVBDisplay
{
    void OnFrame(int, int, const unsigned char*, const unsigned char*, const unsigned char*, long long) override { ++m_frames; }
    std::atomic<int> m_frames{0};
};

struct CBenchReceiver : CDVBTransportStreamReceiver
{
    using CDVBTransportStreamReceiver::CDVBTransportStreamReceiver;
    using CDVBTransportStreamReceiver::ProcessBuffer;
};

// H.264 video of the committed modern stream, decoded by LUMAVDecoder.so; a frame count
// that falls short of ffmpeg's means frames were lost.
void BM_DecodeAgainstFFmpeg(benchmark::State& state)
{
    const std::string stream = LUM_PEER_STREAM("modern.ts");
    CLUMPluginManager* manager = CLUMPluginManager::GetPluginManager();
    manager->SetPluginFolderPath(LUM_PLUGIN_FOLDER);
    manager->LoadPlugins();
    auto* decoders = static_cast<CLUMDecoderPlugin*>(manager->GetPluginWithType(CLUMPlugin::TypeDecoder, 0));
    if (decoders == nullptr) {
        state.SkipWithError("no decoder plug-in in " LUM_PLUGIN_FOLDER);
        return;
    }
    std::ifstream file(stream, std::ios::binary);
    std::vector<BYTE> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    CDVBComponentDefinition video;
    video.m_pid = 0x100;
    video.m_codecName = "h264";
    double ours = 0, theirs = 0;
    int frames = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        CDVBTransportStreamSource source;
        CBenchReceiver receiver(&source, nullptr);
        CCountingDisplay display;
        CDVBPIDReceiver* decoder = decoders->OpenComponent(&video);
        decoder->SetDisplay(&display);
        GUID cookie;
        cookie.Data1 = 1;
        decoder->SetCookie(&cookie);
        receiver.AddPIDReceiver(0x100, decoder);
        // sixteen packets at a time, a moment apart, so that the ring of 64 buffers (a
        // PES packet each) is never overrun as it would be by the whole file at once
        for (std::size_t at = 0; at + 188 <= bytes.size(); at += 16 * 188) {
            const std::size_t n = std::min<std::size_t>(16 * 188, bytes.size() / 188 * 188 - at);
            receiver.ProcessBuffer(bytes.data() + at, DWORD(n));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        receiver.RemovePIDReceiverWithCookie(0x100, &cookie);
        decoder->Stop();   // decodes what is queued, then ends
        frames = display.m_frames;
        decoders->CloseComponent(decoder);
        ours += Seconds(start);

        start = std::chrono::steady_clock::now();
        const int status = std::system(("ffmpeg -v error -threads 1 -i " + stream + " -map 0:v -f null -").c_str());
        theirs += Seconds(start);
        if (status != 0)
            state.SkipWithError("ffmpeg failed");
    }
    state.counters["frames"] = frames;
    state.counters["frames_per_s"] = frames * double(state.iterations()) / ours;
    state.counters["ffmpeg_frames_per_s"] = frames * double(state.iterations()) / theirs;   // ffmpeg's whole process
    state.counters["x_ffmpeg"] = theirs / ours;
}
BENCHMARK(BM_DecodeAgainstFFmpeg)->Unit(benchmark::kMillisecond)->Iterations(5);

// Bytes through a pull receiver's ring: written as the receive thread writes, read by its
// decode thread.
struct CSinkReceiver : CDVBPullReceiver
{
    CSinkReceiver() : CDVBPullReceiver(64, 65536) {}
    ~CSinkReceiver() override { StopAndWait(); }
    using CDVBPullReceiver::WriteCompressedData;
    void DecodeStream() override
    {
        std::vector<BYTE> chunk(65536);
        while (DWORD n = ReadCompressedData(chunk.data(), DWORD(chunk.size())))
            m_read += n;
    }
    std::atomic<std::uint64_t> m_read{0};
};

void BM_PullReceiverDelivery(benchmark::State& state)
{
    std::vector<BYTE> data(184, 0x47);
    const std::uint64_t total = 256ULL << 20;
    double seconds = 0;
    for (auto _ : state) {
        CSinkReceiver sink;
        sink.SetPID(0x100);
        const auto start = std::chrono::steady_clock::now();
        for (std::uint64_t written = 0; written < total;)
            written += sink.WriteCompressedData(data.data(), DWORD(data.size()));   // a full ring waits here
        while (sink.m_read < total)
            benchmark::DoNotOptimize(sink.m_read.load());
        seconds += Seconds(start);
    }
    state.counters["MB_per_s"] = double(total) * double(state.iterations()) / seconds / 1e6;
}
BENCHMARK(BM_PullReceiverDelivery)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
