#pragma once
// What a stream analyser found, as a copy a host may keep and read on any thread: the
// stream, its services, every PID seen, every table and the TR 101 290 indicators. The
// counting rules are in docs/analysis.md.
#include "platform/LUMTypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CDVBStreamAnalysis
{
public:
    // First priority, then second, in TR 101 290's order.
    enum Indicator {
        TSSyncLoss,
        SyncByteError,
        PATError,
        ContinuityCountError,
        PMTError,
        PIDError,
        TransportError,
        CRCError,
        PCRRepetitionError,
        PCRDiscontinuityIndicatorError,
        PCRAccuracyError,
        PTSError,
        CATError,
        IndicatorCount
    };
    static constexpr int FirstPriorityCount = PIDError + 1;
    // "TS_sync_loss", "PAT_error"... as TR 101 290 names them.
    static const char* IndicatorName(int indicator);

    struct Count
    {
        std::uint64_t count = 0;
        std::optional<std::uint64_t> firstPacket;
    };

    struct Range
    {
        double mean = 0;
        double min = 0;
        double max = 0;
    };

    struct Service
    {
        WORD id = 0;
        std::optional<WORD> pmtPid;
        std::optional<WORD> pcrPid;
        std::string name;       // UTF-8, empty without an SDT entry
        std::string provider;
        std::optional<int> type;
        std::optional<int> lcn;
        bool lcnVisible = true;
        std::vector<WORD> pids;   // program map, PCR and elementary PIDs, each once, sorted
        std::uint64_t packets = 0;
        double bitrate = 0;
    };

    struct Pid
    {
        WORD pid = 0;
        std::string description;
        std::vector<WORD> serviceIds;
        std::uint64_t packets = 0;
        std::uint64_t af = 0;
        std::uint64_t pcr = 0;
        std::uint64_t pts = 0;
        std::uint64_t dts = 0;
        std::optional<std::int64_t> firstPcr, lastPcr, firstPts, lastPts, firstDts, lastDts;
        std::uint64_t discontinuities = 0;
        std::uint64_t duplicated = 0;
        std::uint64_t unitStart = 0;
        std::uint64_t pes = 0;
        std::uint64_t invalidPesPrefix = 0;
        std::uint64_t scrambled = 0;
        double bitrate = 0;
    };

    struct Table
    {
        WORD pid = 0;
        BYTE tableId = 0;
        WORD tableIdExtension = 0;
        std::uint64_t sections = 0;
        std::uint64_t tables = 0;
        std::uint64_t versions = 0;
        std::optional<int> firstVersion, lastVersion;   // long form only
        std::optional<Range> repetitionPackets;          // two section 0s at least
        std::optional<Range> repetitionMs;
    };

    std::optional<WORD> transportStreamId;
    std::uint64_t packets = 0;
    std::uint64_t invalidSyncs = 0;
    std::uint64_t transportErrors = 0;
    std::optional<double> bitrate;    // bits per second, from the PCR
    std::optional<double> duration;   // seconds, packets at that bitrate
    std::vector<Service> services;    // channel number order where they have one, else by id
    std::vector<Pid> pids;            // by PID
    std::vector<Table> tables;        // by PID, table_id, table_id_extension
    std::array<Count, IndicatorCount> indicators{};

    // The first-priority indicators all at 0.
    bool IsFirstPriorityClean() const;
    // "TR 101 290 first priority: clean", or the indicators that are not with their counts:
    // "TR 101 290 first priority: PAT_error 2, Continuity_count_error 5".
    std::string FirstPriorityState() const;
};
