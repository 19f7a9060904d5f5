// SIStreamWriter's parts shared between its source files: the config model, the sections made
// from it, and the functions that read the config (SIStreamWriterConfig.cpp) and make the
// sections with libdvbpsi (SIStreamWriterTables.cpp). The tool itself is SIStreamWriter.cpp.
#pragma once

#include "DvbpsiIncludes.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace siw
{

constexpr uint16_t kPatPid = 0x0000;
constexpr uint16_t kNitPid = 0x0010;
constexpr uint16_t kSdtPid = 0x0011;
constexpr uint16_t kEitPid = 0x0012;
constexpr uint16_t kTdtPid = 0x0014;

// ---------------------------------------------------------------------------------------------
// Config model

struct Event
{
    uint16_t eventId = 0;
    long long start = 0;
    uint32_t durationBcd = 0;
    uint8_t runningStatus = 0;
    bool freeCa = false;
    std::string language = "eng";
    std::vector<uint8_t> name;
    std::vector<uint8_t> text;
};

struct Service
{
    uint16_t serviceId = 0;
    uint8_t pfVersion = 0;
    uint8_t scheduleVersion = 0;
    std::optional<Event> present;
    std::optional<Event> following;
    std::vector<Event> schedule;
};

struct Terrestrial
{
    uint32_t frequency10Hz = 0;
    uint8_t bandwidth = 0, priority = 1, timeSlicing = 1, mpeFec = 1, constellation = 0, hierarchy = 0;
    uint8_t codeRateHp = 0, codeRateLp = 0, guardInterval = 0, transmissionMode = 0, otherFrequency = 0;
};

struct NitTs
{
    uint16_t tsid = 0;
    uint16_t onid = 0;
    std::optional<Terrestrial> terrestrial;
};

struct Nit
{
    uint16_t networkId = 0;
    uint8_t version = 0;
    std::vector<uint8_t> name;
    std::vector<NitTs> transportStreams;
};

struct SdtService
{
    uint16_t serviceId = 0;
    uint8_t serviceType = 1;
    uint8_t runningStatus = 4;
    bool freeCa = false;
    bool eitSchedule = false;
    bool eitPf = false;
    std::vector<uint8_t> provider;
    std::vector<uint8_t> name;
};

struct Sdt
{
    uint8_t version = 0;
    std::vector<SdtService> services;
};

struct LocalTimeOffset
{
    std::string country;
    uint8_t regionId = 0;
    uint8_t polarity = 0;
    uint16_t offsetBcd = 0;
    long long timeOfChange = 0;
    uint16_t nextOffsetBcd = 0;
};

// A section sent only in part: its first packets go out, then the next section on the PID starts
// in a new packet with payload_unit_start_indicator set and the continuity counter running on.
struct CutSection
{
    enum class Table
    {
        Sdt,
        EitPf
    };
    Table table = Table::Sdt;
    std::size_t repetition = 0;
    std::size_t keepPackets = 1;
    std::vector<SdtService> services; // Table::Sdt
    uint16_t serviceId = 0;           // Table::EitPf
    Event event;                      // Table::EitPf
};

struct Config
{
    bool tsidGiven = false;
    uint16_t tsid = 0;
    uint16_t onid = 0;
    Nit nit;
    std::optional<Sdt> sdt;
    std::vector<Service> services;
    long long utc = 0;
    long stepSeconds = 1;
    std::vector<LocalTimeOffset> localTimeOffsets;
    std::size_t eitSectionMaxBytes = 4096;
    bool dropPat = false;
    bool dropPmt = false;
    std::vector<CutSection> cutSections;
};

// Reads a config (already merged with "update" where wanted); on failure error names the JSON path.
bool ReadConfig(const nlohmann::json& root, Config& cfg, std::string& error);

// The config with its "update" merged in (services matched by service_id); without "update", a
// copy of the config.
bool ApplyUpdate(const nlohmann::json& base, nlohmann::json& merged, std::string& error);

// ---------------------------------------------------------------------------------------------
// Sections made with libdvbpsi

struct Section
{
    uint16_t pid = 0;
    std::vector<uint8_t> bytes;
};

struct EitSection
{
    Section section;
    uint8_t tableId = 0;
    uint16_t serviceId = 0;
    uint8_t version = 0;
    uint8_t number = 0;
    uint8_t last = 0;
    uint8_t segmentLast = 0;
    uint8_t lastTableId = 0;
    std::vector<Event> events;
};

struct Carousel
{
    std::vector<Section> nit;
    std::vector<Section> sdt; // empty unless the config has "sdt"
    std::vector<EitSection> eit;
};

// A libdvbpsi handle for the generators; errors are printed, nothing else.
struct DvbpsiHandle
{
    DvbpsiHandle();
    ~DvbpsiHandle();
    DvbpsiHandle(const DvbpsiHandle&) = delete;
    DvbpsiHandle& operator=(const DvbpsiHandle&) = delete;
    dvbpsi_t* handle = nullptr;
};

bool GenerateCarousel(dvbpsi_t* h, const Config& cfg, Carousel& out, std::string& error);
bool GenerateTimeTables(dvbpsi_t* h, const Config& cfg, long long utc, Section& tdt, Section& tot, std::string& error);
bool GenerateCutSection(dvbpsi_t* h, const Config& cfg, const CutSection& cut, Section& out, std::string& error);

} // namespace siw
