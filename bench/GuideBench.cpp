// The programme guide on a whole multiplex (the bundled sample: four services, EIT
// present/following and schedule): the memory the SI collector and the guide store hold
// once every section has come, and the time the collector takes to write epg/epg.xml.
#include "receiver/CDVBTransportStreamReceiver.h"
#include "core/CDVBTransportStreamSource.h"
#include "model/CDVBGuideStore.h"
#include "model/CDVBSICollector.h"
#include "si/CDVBEITSection.h"

#include "peer_streams.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

struct CGuideReceiver : CDVBTransportStreamReceiver
{
    CGuideReceiver(CDVBTransportStreamSource* source, CDVBTransportStreamUpdateHandler* handler)
        : CDVBTransportStreamReceiver(source, handler)
    {
        AddTableListener(&m_guide);
    }
    using CDVBTransportStreamReceiver::ProcessBuffer;
    CDVBGuideStore m_guide;
};

std::size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

void BM_GuideOfAWholeMultiplex(benchmark::State& state)
{
    std::ifstream file(LUM_SAMPLE_TS, std::ios::binary);
    std::vector<BYTE> stream((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ::mkdir("epg", 0755);
    CDVBTransportStreamSource source;
    for (auto _ : state) {
        const std::size_t before = HeapInUse();
        auto* collector = new CDVBSICollector;
        std::size_t collectorBytes = 0, guideBytes = 0;
        {
            CGuideReceiver receiver(&source, nullptr);
            receiver.Start();   // the SI receivers, no thread
            receiver.SetSICollector(collector);
            const std::size_t withReceiver = HeapInUse();
            receiver.ProcessBuffer(stream.data(), DWORD(stream.size() / 188 * 188));
            // the receiver's own tables are counted too: an upper bound
            collectorBytes = HeapInUse() - withReceiver;
            guideBytes = receiver.m_guide.GetEventCount();
            receiver.SetSICollector(nullptr);
        }
        const auto start = std::chrono::steady_clock::now();
        collector->Update();
        const double writeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        delete collector;
        state.counters["collector_guide_and_tables_KB"] = double(collectorBytes) / 1024;
        state.counters["guide_events"] = double(guideBytes);
        state.counters["epg_write_us"] = writeSeconds * 1e6;
        state.counters["heap_left_KB"] = double(HeapInUse() - before) / 1024;
    }
}
BENCHMARK(BM_GuideOfAWholeMultiplex)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
