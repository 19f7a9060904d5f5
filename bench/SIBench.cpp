// Section reassembly and the tables behind it: our SI receivers against libdvbpsi's
// decoders on the same SI-rich stream (over 30% SI packets, EIT schedule included), and the
// whole receive path (dispatch, sections, model updates) on a three-program stream.
#include "core/CDVBTransportStreamReceiver.h"
#include "core/CDVBTransportStreamSource.h"

extern "C" {
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include <dvbpsi/dvbpsi.h>
#include <dvbpsi/psi.h>
#include <dvbpsi/descriptor.h>
#include <dvbpsi/demux.h>
#include <dvbpsi/eit.h>
#include <dvbpsi/nit.h>
#include <dvbpsi/pat.h>
#include <dvbpsi/pmt.h>
#include <dvbpsi/sdt.h>
#include <dvbpsi/tot.h>
}

#include "peer_streams.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <array>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class CBenchReceiver : public CDVBTransportStreamReceiver
{
public:
    using CDVBTransportStreamReceiver::CDVBTransportStreamReceiver;
    using CDVBTransportStreamReceiver::ProcessBuffer;
};

std::vector<BYTE> Load(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<BYTE> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    bytes.resize(bytes.size() / 188 * 188);
    return bytes;
}

// Sections in the stream, as libdvbpsi counted them when the stream was made.
double SectionsIn(const std::string& dump)
{
    std::ifstream file(dump);
    const nlohmann::json j = nlohmann::json::parse(file, nullptr, false);
    double sections = 0;
    if (!j.is_discarded())
        for (const auto& count : j["counters"]["sections"])
            sections += count.get<double>();
    return sections;
}

// Plays the stream in reads of the receiver's default size.
void Play(CBenchReceiver& receiver, std::vector<BYTE>& stream)
{
    for (std::size_t at = 0; at < stream.size(); at += CDVBTransportStreamSource::DefaultBufferSize) {
        const std::size_t n = std::min<std::size_t>(CDVBTransportStreamSource::DefaultBufferSize, stream.size() - at);
        receiver.ProcessBuffer(stream.data() + at, DWORD(n));
    }
}

// libdvbpsi subscribed to the same tables: PAT, the PMTs it names, NIT, SDT, EIT, TDT/TOT.
class CDvbpsiReader
{
public:
    CDvbpsiReader()
    {
        Attach(0x0000, 0);
        for (uint16_t pid : {0x0010, 0x0011, 0x0012, 0x0014})
            Attach(pid, 0xFFFFFFFF);
    }
    ~CDvbpsiReader()
    {
        for (std::size_t pid = 0; pid < m_handles.size(); ++pid) {
            dvbpsi_t* h = m_handles[pid];
            if (h == nullptr)
                continue;
            if (dvbpsi_decoder_present(h)) {
                if (pid == 0)
                    dvbpsi_pat_detach(h);
                else if (m_isPmt[pid])
                    dvbpsi_pmt_detach(h);
                else
                    dvbpsi_DetachDemux(h);
            }
            dvbpsi_delete(h);
        }
    }
    void Push(BYTE* packet)
    {
        const uint16_t pid = uint16_t(((packet[1] & 0x1F) << 8) | packet[2]);
        if (dvbpsi_t* h = m_handles[pid])
            dvbpsi_packet_push(h, packet);
    }
    std::size_t m_tables = 0;

private:
    // program 0 for the PAT, 0xFFFFFFFF for a demux, else a program map
    void Attach(uint16_t pid, uint32_t program)
    {
        dvbpsi_t* h = dvbpsi_new(nullptr, DVBPSI_MSG_NONE);
        h->p_sys = this;
        if (pid == 0)
            dvbpsi_pat_attach(h, &OnPat, this);
        else if (program == 0xFFFFFFFF)
            dvbpsi_AttachDemux(h, &OnNewSubtable, this);
        else {
            dvbpsi_pmt_attach(h, uint16_t(program), &OnPmt, this);
            m_isPmt[pid] = true;
        }
        m_handles[pid] = h;
    }
    static void OnPat(void* data, dvbpsi_pat_t* pat)
    {
        auto* self = static_cast<CDvbpsiReader*>(data);
        for (dvbpsi_pat_program_t* p = pat->p_first_program; p != nullptr; p = p->p_next)
            if (p->i_number != 0 && self->m_handles[p->i_pid] == nullptr)
                self->Attach(p->i_pid, p->i_number);
        ++self->m_tables;
        dvbpsi_pat_delete(pat);
    }
    static void OnPmt(void* data, dvbpsi_pmt_t* pmt)
    {
        ++static_cast<CDvbpsiReader*>(data)->m_tables;
        dvbpsi_pmt_delete(pmt);
    }
    static void OnSdt(void* data, dvbpsi_sdt_t* sdt)
    {
        ++static_cast<CDvbpsiReader*>(data)->m_tables;
        dvbpsi_sdt_delete(sdt);
    }
    static void OnNit(void* data, dvbpsi_nit_t* nit)
    {
        ++static_cast<CDvbpsiReader*>(data)->m_tables;
        dvbpsi_nit_delete(nit);
    }
    static void OnEit(void* data, dvbpsi_eit_t* eit)
    {
        ++static_cast<CDvbpsiReader*>(data)->m_tables;
        dvbpsi_eit_delete(eit);
    }
    static void OnTot(void* data, dvbpsi_tot_t* tot)
    {
        ++static_cast<CDvbpsiReader*>(data)->m_tables;
        dvbpsi_tot_delete(tot);
    }
    static void OnNewSubtable(dvbpsi_t* h, uint8_t tableId, uint16_t extension, void* data)
    {
        if (tableId == 0x40 || tableId == 0x41)
            dvbpsi_nit_attach(h, tableId, extension, &OnNit, data);
        else if (tableId == 0x42 || tableId == 0x46)
            dvbpsi_sdt_attach(h, tableId, extension, &OnSdt, data);
        else if (tableId >= 0x4E && tableId <= 0x6F)
            dvbpsi_eit_attach(h, tableId, extension, &OnEit, data);
        else if (tableId == 0x70 || tableId == 0x73)
            dvbpsi_tot_attach(h, tableId, extension, &OnTot, data);
    }

    std::array<dvbpsi_t*, 8192> m_handles{};
    std::array<bool, 8192> m_isPmt{};
};

// Runs `work` repeatedly for about `seconds` and returns the mean time of one run.
template <typename Work>
double MeanSeconds(Work work, double seconds = 0.5)
{
    int runs = 0;
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    do {
        work();
        ++runs;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (elapsed < seconds);
    return elapsed / runs;
}

void ReportRates(benchmark::State& state, double bytes, double sections, double seconds)
{
    state.counters["MB_per_s"] = bytes / seconds / 1e6;
    state.counters["sections_per_s"] = sections / seconds;
}

// Fresh readers each run: every section is new to them, as when tuning to a multiplex.
void BM_SIRichStream(benchmark::State& state)
{
    std::vector<BYTE> stream = Load(LUM_PEER_THREE_PROGRAMS_TS);
    const double sections = SectionsIn(LUM_PEER_STREAM("three_programs.dvbpsi.json"));
    CDVBTransportStreamSource source;
    const double dvbpsiSeconds = MeanSeconds([&] {
        CDvbpsiReader reader;
        for (std::size_t at = 0; at < stream.size(); at += 188)
            reader.Push(stream.data() + at);
        benchmark::DoNotOptimize(reader.m_tables);
    });
    double ours = 0;
    int runs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CBenchReceiver receiver(&source, nullptr);
        receiver.Start();   // the SI receivers; no thread
        Play(receiver, stream);
        ours += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++runs;
    }
    ReportRates(state, double(stream.size()), sections, ours / runs);
    state.counters["dvbpsi_MB_per_s"] = double(stream.size()) / dvbpsiSeconds / 1e6;
    state.counters["x_dvbpsi_speed"] = dvbpsiSeconds / (ours / runs);
}
BENCHMARK(BM_SIRichStream)->Unit(benchmark::kMillisecond);

// The whole receive path on three programs, read as fast as possible: first play (every
// table new) and steady state (tables repeating, as on a tuned multiplex).
void BM_FullReceivePath(benchmark::State& state)
{
    std::vector<BYTE> stream = Load(LUM_PEER_THREE_PROGRAMS_TS);
    CDVBTransportStreamSource source;
    const double firstSeconds = MeanSeconds([&] {
        CBenchReceiver receiver(&source, nullptr);
        receiver.Start();
        Play(receiver, stream);
    });
    CBenchReceiver receiver(&source, nullptr);
    receiver.Start();
    Play(receiver, stream);
    for (auto _ : state)
        Play(receiver, stream);
    state.SetBytesProcessed(state.iterations() * std::int64_t(stream.size()));
    const double bits = double(stream.size()) * 8;
    state.counters["first_play_Mbit_per_s"] = bits / firstSeconds / 1e6;
    state.counters["steady_Mbit_per_s"] =
        benchmark::Counter(bits * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FullReceivePath)->Unit(benchmark::kMillisecond);

}  // namespace
