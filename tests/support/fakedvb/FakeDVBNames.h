#pragma once
// What the device emulation and its udev share: where the fake devices are, their names,
// the kernel's names of the properties, and the log.
#include <cstdint>
#include <set>
#include <string>

namespace fakedvb {

enum class Kind { Frontend, Demux, Dvr };
extern const char* const kKindNames[3];

// LUM_FAKE_DVB_ROOT less trailing slashes; empty when nothing is faked.
std::string rootPath();
// "adapterN/kindM" and nothing more.
bool parseName(const char* rel, Kind& kind);
// FREQUENCY for DTV_FREQUENCY; a number for a command the kernel does not name.
std::string propertyName(uint32_t command);
// The unsigned numbers of a comma-separated list; other items are skipped.
std::set<uint64_t> numbers(const char* s);
// One write per line, so that processes sharing the file do not interleave inside a line.
void logLine(const std::string& path, const std::string& device, const std::string& text);

}  // namespace fakedvb
