// Recording throughput to a file on tmpfs, as a ratio to write(2) of the same bytes in the
// same run: what the record thread and its ten recycled buffers cost over the bare writes.
#include "core/CDVBRecorder.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kRead = 192512;   // the default suggested read
constexpr int kReads = 500;       // 96 MB

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_RecordToTmpfs(benchmark::State& state)
{
    const std::string path = "/dev/shm/lumcore_record_bench.ts";
    std::vector<BYTE> read(kRead, 0x47);
    double writeSeconds = 0, recordSeconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (int i = 0; i < kReads; ++i)
            benchmark::DoNotOptimize(::write(file, read.data(), read.size()));
        ::close(file);
        writeSeconds += Seconds(start);

        start = std::chrono::steady_clock::now();
        CDVBRecorder recorder;
        recorder.Start(path.c_str(), kRead);
        for (int i = 0; i < kReads;) {   // a producer that waits for a free buffer: no read lost
            const std::uint64_t dropped = recorder.GetReadsDropped();
            recorder.Record(read.data(), kRead);
            if (recorder.GetReadsDropped() == dropped)
                ++i;
            else
                std::this_thread::yield();
        }
        recorder.Stop();   // every byte written
        recordSeconds += Seconds(start);
    }
    ::unlink(path.c_str());
    const double bytes = double(kRead) * kReads * double(state.iterations());
    state.counters["write_MB_per_s"] = bytes / writeSeconds / 1e6;
    state.counters["record_MB_per_s"] = bytes / recordSeconds / 1e6;
    state.counters["x_write"] = writeSeconds / recordSeconds;   // 1.0: as fast as bare writes
}
BENCHMARK(BM_RecordToTmpfs)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
