#pragma once
// Reading what the peers wrote: their JSON files, and text they give as hex.
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>

// Discarded JSON (is_discarded()) when the file is missing or malformed.
inline nlohmann::json ReadJson(const std::string& path) { return nlohmann::json::parse(std::ifstream(path), nullptr, false); }

inline std::string Unhex(const std::string& hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}
