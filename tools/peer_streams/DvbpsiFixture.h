#pragma once
// What the two commands of DvbpsiFixture share (DvbpsiFixture.cpp says what they do).
extern "C" {
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include <dvbpsi/dvbpsi.h>
#include <dvbpsi/psi.h>
#include <dvbpsi/descriptor.h>
#include <dvbpsi/dr_5a.h>
}

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

using nlohmann::json;
using Bytes = std::vector<uint8_t>;

// Writes libdvbpsi's errors on standard error and counts them.
void OnMessage(dvbpsi_t*, dvbpsi_msg_level_t level, const char* msg);
extern int g_errors;

std::vector<Bytes> ReadPackets(const std::string& path);   // every whole packet of a file

// The terrestrial delivery system descriptor's one-byte fields, named alike in the config and
// the reading; other_frequency is true or false in both.
using Terrestrial = dvbpsi_terr_deliv_sys_dr_t;
inline const std::pair<const char*, uint8_t Terrestrial::*> kTerrestrialFields[] = {
    {"bandwidth", &Terrestrial::i_bandwidth}, {"priority", &Terrestrial::i_priority},
    {"time_slicing", &Terrestrial::i_time_slice_indicator}, {"mpe_fec", &Terrestrial::i_mpe_fec_indicator},
    {"constellation", &Terrestrial::i_constellation}, {"hierarchy", &Terrestrial::i_hierarchy_information},
    {"code_rate_hp", &Terrestrial::i_code_rate_hp_stream}, {"code_rate_lp", &Terrestrial::i_code_rate_lp_stream},
    {"guard_interval", &Terrestrial::i_guard_interval}, {"transmission_mode", &Terrestrial::i_transmission_mode},
    {"other_frequency", &Terrestrial::i_other_frequency_flag},
};

// DvbpsiMake.cpp and DvbpsiRead.cpp: the commands, with their exit status.
int Make(const std::string& configPath, const std::string& inPath, std::size_t repetitions, const std::string& outPath);
int Read(const std::string& path);
