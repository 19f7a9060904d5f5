// The stream analyser against memcpy of the same bytes (the bundled sample, repeated to 29 MB
// so that neither runs from cache), and what attaching it adds to the receive path, as a
// share of one core at 40 Mbit/s.
#include "core/CDVBTransportStreamSource.h"
#include "receiver/CDVBTransportStreamReceiver.h"
#include "si/CDVBStreamAnalyser.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr double kPacketsPerSecondAt40Mbit = 40e6 / (188 * 8);
constexpr std::size_t kRead = CDVBTransportStreamSource::DefaultBufferSize;

const std::vector<BYTE>& Stream()
{
    static const std::vector<BYTE> stream = [] {
        std::ifstream file(LUM_SAMPLE, std::ios::binary);
        std::vector<BYTE> one((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        one.resize(one.size() / 188 * 188);
        std::vector<BYTE> many;
        for (int i = 0; i < 8; ++i)
            many.insert(many.end(), one.begin(), one.end());
        return many;
    }();
    return stream;
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Each iteration copies the stream, then analyses it in reads of the receiver's size.
void BM_AnalyseAgainstMemcpy(benchmark::State& state)
{
    const std::vector<BYTE>& stream = Stream();
    std::vector<BYTE> copy(stream.size());
    double copying = 0, analysing = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        std::memcpy(copy.data(), stream.data(), stream.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
        copying += Seconds(std::chrono::steady_clock::now() - start);

        CDVBStreamAnalyser analyser;
        start = std::chrono::steady_clock::now();
        for (std::size_t at = 0; at < stream.size(); at += kRead)
            analyser.AnalysePackets(stream.data() + at, DWORD(std::min(kRead, stream.size() - at)));
        analysing += Seconds(std::chrono::steady_clock::now() - start);
        benchmark::DoNotOptimize(analyser.GetCount(0));
        state.SetIterationTime(Seconds(std::chrono::steady_clock::now() - start));
    }
    const double packets = double(stream.size() / 188) * double(state.iterations());
    state.SetBytesProcessed(std::int64_t(stream.size()) * state.iterations());
    state.counters["x_memcpy"] = copying / analysing;   // 1: as fast as copying the bytes
    state.counters["ns_per_packet"] = analysing * 1e9 / packets;
}
BENCHMARK(BM_AnalyseAgainstMemcpy)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);

class CBenchReceiver : public CDVBTransportStreamReceiver
{
public:
    using CDVBTransportStreamReceiver::CDVBTransportStreamReceiver;
    using CDVBTransportStreamReceiver::ProcessBuffer;
};

// The receive path (dispatch, sections, model) without and with the analyser attached.
void BM_ReceivePathWithAnalyser(benchmark::State& state)
{
    std::vector<BYTE> stream = Stream();
    CDVBTransportStreamSource source;
    double plain = 0, analysed = 0;
    for (auto _ : state) {
        for (const bool attach : {false, true}) {
            CBenchReceiver receiver(&source, nullptr);
            CDVBStreamAnalyser analyser;
            if (attach)
                receiver.SetStreamAnalyser(&analyser);
            receiver.Start();
            const auto start = std::chrono::steady_clock::now();
            for (std::size_t at = 0; at < stream.size(); at += kRead)
                receiver.ProcessBuffer(stream.data() + at, DWORD(std::min(kRead, stream.size() - at)));
            (attach ? analysed : plain) += Seconds(std::chrono::steady_clock::now() - start);
            receiver.Stop();
        }
    }
    const double packets = double(stream.size() / 188) * double(state.iterations());
    const double added = (analysed - plain) / packets;   // seconds a packet
    state.counters["added_ns_per_packet"] = added * 1e9;
    state.counters["added_pct_of_core_at_40Mbit"] = 100 * added * kPacketsPerSecondAt40Mbit;
}
BENCHMARK(BM_ReceivePathWithAnalyser)->Iterations(5)->Unit(benchmark::kMillisecond);

}   // namespace
