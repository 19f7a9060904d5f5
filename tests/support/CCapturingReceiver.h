#pragma once
// Plays a transport stream file through the real receiver as fast as it reads, noting as JSON
// what every section it is given holds (the last one of each kind wins, as in libdvbpsi's
// reading, tests/streams): pat, pmts{program}, sdt, nit, eits{table/service/section}, tdt,
// tot, reports{section type} and versions{table/extension} in the order reported. Text is
// hex, byte for byte. Empty JSON when the file cannot be read or does not end within a minute.
#include <nlohmann/json.hpp>

#include <string>

nlohmann::json CaptureStream(const std::string& path);
