// Section reassembly and the tables behind it: our SI receivers against libdvbpsi's decoders
// on an SI-only multiplex (NIT, SDT, EIT present/following and schedule, TDT, TOT), both
// decoding the descriptors it carries; and the whole receive path (dispatch, sections, model
// updates) on a three-program stream.
#include "receiver/CDVBTransportStreamReceiver.h"
#include "core/CDVBTransportStreamSource.h"
#include "si/CDVBSIHandler.h"
#include "si/CDVBSIReceiver.h"

extern "C" {
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include <dvbpsi/dvbpsi.h>
#include <dvbpsi/psi.h>
#include <dvbpsi/descriptor.h>
#include <dvbpsi/demux.h>
#include <dvbpsi/dr_40.h>
#include <dvbpsi/dr_48.h>
#include <dvbpsi/dr_4d.h>
#include <dvbpsi/dr_58.h>
#include <dvbpsi/dr_5a.h>
#include <dvbpsi/eit.h>
#include <dvbpsi/nit.h>
#include <dvbpsi/pat.h>
#include <dvbpsi/pmt.h>
#include <dvbpsi/sdt.h>
#include <dvbpsi/tot.h>
}

#include "peer_streams.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
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

// Plays the stream in reads of the receiver's default size.
void Play(CBenchReceiver& receiver, std::vector<BYTE>& stream)
{
    for (std::size_t at = 0; at < stream.size(); at += CDVBTransportStreamSource::DefaultBufferSize) {
        const std::size_t n = std::min<std::size_t>(CDVBTransportStreamSource::DefaultBufferSize, stream.size() - at);
        receiver.ProcessBuffer(stream.data() + at, DWORD(n));
    }
}

// libdvbpsi subscribed to the same tables: PAT, the PMTs it names, NIT, SDT, EIT, TDT/TOT;
// like our receiver it decodes the network name, terrestrial delivery, service, short event
// and local time offset descriptors.
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
        for (dvbpsi_sdt_service_t* s = sdt->p_first_service; s != nullptr; s = s->p_next)
            for (dvbpsi_descriptor_t* d = s->p_first_descriptor; d != nullptr; d = d->p_next)
                if (d->i_tag == 0x48)
                    dvbpsi_DecodeServiceDr(d);
        ++static_cast<CDvbpsiReader*>(data)->m_tables;
        dvbpsi_sdt_delete(sdt);
    }
    static void OnNit(void* data, dvbpsi_nit_t* nit)
    {
        for (dvbpsi_descriptor_t* d = nit->p_first_descriptor; d != nullptr; d = d->p_next)
            if (d->i_tag == 0x40)
                dvbpsi_DecodeNetworkNameDr(d);
        for (dvbpsi_nit_ts_t* ts = nit->p_first_ts; ts != nullptr; ts = ts->p_next)
            for (dvbpsi_descriptor_t* d = ts->p_first_descriptor; d != nullptr; d = d->p_next)
                if (d->i_tag == 0x5A)
                    dvbpsi_DecodeTerrDelivSysDr(d);
        ++static_cast<CDvbpsiReader*>(data)->m_tables;
        dvbpsi_nit_delete(nit);
    }
    static void OnEit(void* data, dvbpsi_eit_t* eit)
    {
        for (dvbpsi_eit_event_t* e = eit->p_first_event; e != nullptr; e = e->p_next)
            for (dvbpsi_descriptor_t* d = e->p_first_descriptor; d != nullptr; d = d->p_next)
                if (d->i_tag == 0x4D)
                    dvbpsi_DecodeShortEventDr(d);
        ++static_cast<CDvbpsiReader*>(data)->m_tables;
        dvbpsi_eit_delete(eit);
    }
    static void OnTot(void* data, dvbpsi_tot_t* tot)
    {
        for (dvbpsi_descriptor_t* d = tot->p_first_descriptor; d != nullptr; d = d->p_next)
            if (d->i_tag == 0x58)
                dvbpsi_DecodeLocalTimeOffsetDr(d);
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

// Our SI path as libdvbpsi's is set up: an SI receiver on each SI PID (sections, tables and
// their descriptors), reporting to a handler that counts; the model is not fed.
class COurSIReader : public CDVBSIHandler
{
public:
    COurSIReader()
    {
        for (WORD pid : {0x0000, 0x0010, 0x0011, 0x0012, 0x0014}) {
            m_receivers[pid] = std::make_unique<CDVBSIReceiver>(this);
            m_receivers[pid]->SetPID(pid);
            m_receivers[pid]->Start();
        }
    }
    void Push(BYTE* packet)
    {
        const WORD pid = WORD(((packet[1] & 0x1F) << 8) | packet[2]);
        if (const auto& receiver = m_receivers[pid])
            receiver->OnReceivePacket(m_packets, packet);
        ++m_packets;
    }
    void OnSectionAdd(WORD, CDVBSISection*) override { ++m_tables; }
    std::size_t m_tables = 0;

private:
    std::array<std::unique_ptr<CDVBSIReceiver>, 8192> m_receivers;
    std::uint64_t m_packets = 0;
};

template <typename Reader>
void PushAll(Reader& reader, std::vector<BYTE>& stream)
{
    for (std::size_t at = 0; at < stream.size(); at += 188)
        reader.Push(stream.data() + at);
}

// Cold: fresh readers each pass, every section new to them, as when tuning to a multiplex.
// Warm: the same readers again, the tables repeating as on a tuned multiplex. The two sides
// take turns, a tenth of a second each, five times; each keeps its best turn, so that
// neither is judged on a heap or a clock the other left worse.
void BM_SIOnlyMultiplex(benchmark::State& state)
{
    std::vector<BYTE> stream = Load(LUM_PEER_SI_RICH_TS);
    CDvbpsiReader dvbpsiWarm;
    COurSIReader ourWarm;
    PushAll(dvbpsiWarm, stream);
    PushAll(ourWarm, stream);
    const std::function<void()> work[2][2] = {   // [theirs, ours][cold, warm]
        {[&] {
             CDvbpsiReader reader;
             PushAll(reader, stream);
             benchmark::DoNotOptimize(reader.m_tables);
         },
         [&] { PushAll(dvbpsiWarm, stream); }},
        {[&] {
             COurSIReader reader;
             PushAll(reader, stream);
             benchmark::DoNotOptimize(reader.m_tables);
         },
         [&] { PushAll(ourWarm, stream); }}};
    double best[2][2] = {{1e9, 1e9}, {1e9, 1e9}};
    for (auto _ : state)
        for (int turn = 0; turn < 5; ++turn)
            for (int kind = 0; kind < 2; ++kind)
                for (int side = 0; side < 2; ++side)
                    best[side][kind] = std::min(best[side][kind], MeanSeconds(work[side][kind], 0.1));
    state.counters["cold_MB_per_s"] = double(stream.size()) / best[1][0] / 1e6;
    state.counters["warm_MB_per_s"] = double(stream.size()) / best[1][1] / 1e6;
    state.counters["x_dvbpsi_cold"] = best[0][0] / best[1][0];   // at least 2 wanted
    state.counters["x_dvbpsi_warm"] = best[0][1] / best[1][1];
}
BENCHMARK(BM_SIOnlyMultiplex)->Unit(benchmark::kMillisecond)->Iterations(1);

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
