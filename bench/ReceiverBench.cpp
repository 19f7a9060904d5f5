// The receive path: dispatch throughput against memcpy of the same buffer, the receive
// thread's tick interval for a receiver that asked for every millisecond, and the CPU a
// receiver costs over a source that delivers nothing.
#include "core/CDVBPIDReceiver.h"
#include "receiver/CDVBTransportStreamReceiver.h"
#include "core/CDVBTransportStreamSource.h"
#include "platform/MonotonicClock.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <time.h>
#include <vector>

namespace {


class CCountingReceiver : public CDVBPIDReceiver
{
public:
    void OnReceivePacket(std::uint64_t, BYTE* packet) override { m_sum += packet[3]; }
    std::uint64_t m_sum = 0;
};

class CBenchReceiver : public CDVBTransportStreamReceiver
{
public:
    using CDVBTransportStreamReceiver::CDVBTransportStreamReceiver;
    using CDVBTransportStreamReceiver::ProcessBuffer;
};

// The bundled multiplex: four services' video, audio and SI, and null packets.
std::vector<BYTE> LoadSample()
{
    std::ifstream file(LUM_SAMPLE, std::ios::binary);
    std::vector<BYTE> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    bytes.resize(bytes.size() / 188 * 188);
    return bytes;
}

double SecondsOf(void (*work)(std::vector<BYTE>&, std::vector<BYTE>&), std::vector<BYTE>& a,
                 std::vector<BYTE>& b, int rounds)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i)
        work(a, b);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / rounds;
}

// Ten PIDs of the sample registered (video, audio, PAT, SDT, EIT); the rest has no receiver.
void BM_ProcessBuffer(benchmark::State& state)
{
    CDVBTransportStreamSource source;
    CBenchReceiver receiver(&source, nullptr);
    for (WORD pid : {0x100, 0x101, 0x102, 0x103, 0x104, 0x105, 0x106, 0x000, 0x011, 0x012})
        receiver.AddPIDReceiver(pid, new CCountingReceiver);
    std::vector<BYTE> stream = LoadSample();
    std::vector<BYTE> copy(stream.size());

    // memcpy of the same buffer in the same run: the floor that dispatch is measured against
    const double memcpySeconds = SecondsOf(
        [](std::vector<BYTE>& from, std::vector<BYTE>& to) {
            std::memcpy(to.data(), from.data(), from.size());
            benchmark::ClobberMemory();
        },
        stream, copy, 200);

    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        receiver.ProcessBuffer(stream.data(), DWORD(stream.size()));
        benchmark::ClobberMemory();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double perBuffer = seconds / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * std::int64_t(stream.size() / 188));
    state.SetBytesProcessed(state.iterations() * std::int64_t(stream.size()));
    state.counters["memcpy_us"] = memcpySeconds * 1e6;
    state.counters["x_memcpy_speed"] = memcpySeconds / perBuffer;   // at least 0.5 wanted
}
BENCHMARK(BM_ProcessBuffer)->Unit(benchmark::kMicrosecond);

// A source that delivers nothing and notes when it is asked.
class CStampingSource : public CDVBTransportStreamSource
{
public:
    DWORD ReadBuffer(BYTE*, DWORD) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_stamps.size() < m_stamps.capacity())
            m_stamps.push_back(MonotonicNanoseconds());
        return 0;
    }
    std::mutex m_lock;
    std::vector<std::int64_t> m_stamps;
};

class CMillisecondReceiver : public CDVBPIDReceiver
{
public:
    bool RequiresTimeNotifications() override { return true; }
};

void RunReceiving(CDVBTransportStreamSource& source, std::chrono::seconds duration, bool everyMillisecond)
{
    CDVBTransportStreamReceiver receiver(&source, nullptr);
    if (everyMillisecond)
        receiver.AddPIDReceiver(0x1FFE, new CMillisecondReceiver);
    receiver.Initialise();
    receiver.Start();
    std::this_thread::sleep_for(duration);   // the measured stretch
    receiver.Stop();
    receiver.WaitForStop(10000);
    receiver.DeInitialise();
}

void BM_TickInterval(benchmark::State& state)
{
    for (auto _ : state) {
        CStampingSource source;
        source.m_stamps.reserve(20000);
        RunReceiving(source, std::chrono::seconds(5), true);
        std::vector<double> intervals;
        for (std::size_t i = 1; i < source.m_stamps.size(); ++i)
            intervals.push_back(double(source.m_stamps[i] - source.m_stamps[i - 1]) / 1000.0);
        std::sort(intervals.begin(), intervals.end());
        if (intervals.empty())
            continue;
        state.counters["ticks"] = double(intervals.size() + 1);
        state.counters["median_us"] = intervals[intervals.size() / 2];
        state.counters["p99_us"] = intervals[intervals.size() * 99 / 100];
        state.counters["max_us"] = intervals.back();
    }
}
BENCHMARK(BM_TickInterval)->Iterations(1)->Unit(benchmark::kMillisecond);

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void BM_IdleReceivingCpu(benchmark::State& state)
{
    for (auto _ : state) {
        CDVBTransportStreamSource silent;
        const double cpuBefore = ProcessCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        RunReceiving(silent, std::chrono::seconds(30), false);
        const double cpu = ProcessCpuSeconds() - cpuBefore;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        state.counters["cpu_s"] = cpu;
        state.counters["cpu_pct_of_core"] = 100.0 * cpu / wall;
    }
}
BENCHMARK(BM_IdleReceivingCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
