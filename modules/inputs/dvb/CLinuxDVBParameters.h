#pragma once
// The modulation parameters a tuner may be told beside frequency and bandwidth or symbol
// rate: modulation, code rates, transmission mode, guard interval, hierarchy, inversion,
// pilot and roll-off, by libdvbv5's names of the properties and values, as dvbv5 channel
// files write them: "MODULATION=QAM/256 INNER_FEC=3/4". Each delivery system takes only
// some of them; what a definition does not fix goes to the tuner as AUTO.
#include <cstdint>
#include <map>
#include <string>

class CLinuxDVBParameters
{
public:
    using Values = std::map<unsigned, std::uint32_t>;   // DTV_ property -> value

    // Reads "NAME=VALUE NAME=VALUE..." (names and values in any case). False with
    // `problem` saying which word is wrong and what it could be; `values` is then unchanged.
    static bool Parse(const std::string& text, Values& values, std::string& problem);
    static std::string Format(const Values& values);

    // Is `property` one of the parameters the delivery system (libdvbv5's name) takes?
    static bool Takes(const std::string& deliverySystem, unsigned property);
    // "MODULATION, INNER_FEC, INVERSION": the parameters of a delivery system.
    static std::string NamesFor(const std::string& deliverySystem);
    // A value within libdvbv5's names for the property.
    static bool IsValid(unsigned property, std::uint32_t value);
    // What the tuner is told when nothing fixes the property: the kernel's AUTO.
    static std::uint32_t AutoValue(unsigned property);
};
