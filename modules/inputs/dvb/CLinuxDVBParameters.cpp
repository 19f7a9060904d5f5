#include "modules/inputs/dvb/CLinuxDVBParameters.h"

#include "modules/inputs/dvb/CLibDVBv5Device.h"

#include <libdvbv5/dvb-fe.h>
#include <libdvbv5/dvb-v5-std.h>

#include <sstream>
#include <strings.h>

namespace {

constexpr unsigned kParameters[] = {DTV_MODULATION,        DTV_CODE_RATE_HP,   DTV_CODE_RATE_LP, DTV_INNER_FEC,
                                    DTV_TRANSMISSION_MODE, DTV_GUARD_INTERVAL, DTV_HIERARCHY,    DTV_INVERSION,
                                    DTV_PILOT,             DTV_ROLLOFF};

bool IsParameter(unsigned property)
{
    for (unsigned known : kParameters)
        if (known == property)
            return true;
    return false;
}

std::string Join(const char* const* names)
{
    std::string text;
    for (; names && *names; ++names)
        text += (text.empty() ? "" : ", ") + std::string(*names);
    return text;
}

}  // namespace

bool CLinuxDVBParameters::IsValid(unsigned property, std::uint32_t value)
{
    const char* const* names = dvb_attr_names(int(property));
    for (std::uint32_t i = 0; names && names[i]; ++i)
        if (i == value)
            return true;
    return false;
}

std::uint32_t CLinuxDVBParameters::AutoValue(unsigned property)
{
    switch (property) {
    case DTV_MODULATION: return QAM_AUTO;
    case DTV_CODE_RATE_HP:
    case DTV_CODE_RATE_LP:
    case DTV_INNER_FEC: return FEC_AUTO;
    case DTV_TRANSMISSION_MODE: return TRANSMISSION_MODE_AUTO;
    case DTV_GUARD_INTERVAL: return GUARD_INTERVAL_AUTO;
    case DTV_HIERARCHY: return HIERARCHY_AUTO;
    case DTV_INVERSION: return INVERSION_AUTO;
    case DTV_PILOT: return PILOT_AUTO;
    case DTV_ROLLOFF: return ROLLOFF_AUTO;
    default: return 0;
    }
}

bool CLinuxDVBParameters::Takes(const std::string& deliverySystem, unsigned property)
{
    const int system = CLibDVBv5Device::DeliverySystemNumber(deliverySystem);
    if (system < 0 || !IsParameter(property))
        return false;
    for (const unsigned* p = dvb_v5_delivery_system[system]; p && *p; ++p)
        if (*p == property)
            return true;
    return false;
}

std::string CLinuxDVBParameters::NamesFor(const std::string& deliverySystem)
{
    std::string text;
    for (unsigned property : kParameters)
        if (Takes(deliverySystem, property))
            text += (text.empty() ? "" : ", ") + std::string(dvb_cmd_name(int(property)));
    return text;
}

bool CLinuxDVBParameters::Parse(const std::string& text, Values& values, std::string& problem)
{
    Values read;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        unsigned property = 0;
        for (unsigned known : kParameters)
            if (::strcasecmp(name.c_str(), dvb_cmd_name(int(known))) == 0)
                property = known;
        if (property == 0) {
            std::string known;
            for (unsigned p : kParameters)
                known += (known.empty() ? "" : ", ") + std::string(dvb_cmd_name(int(p)));
            problem = "\"" + name + "\" is not a tuning parameter: " + known;
            return false;
        }
        const std::string value = equals == std::string::npos ? std::string() : word.substr(equals + 1);
        const char* const* names = dvb_attr_names(int(property));
        std::uint32_t number = 0;
        while (names[number] && ::strcasecmp(names[number], value.c_str()) != 0)
            ++number;
        if (names[number] == nullptr) {
            problem = "\"" + value + "\" is not a value of " + dvb_cmd_name(int(property)) + ": " + Join(names);
            return false;
        }
        read[property] = number;
    }
    values = std::move(read);
    return true;
}

std::string CLinuxDVBParameters::Format(const Values& values)
{
    std::string text;
    for (const auto& [property, value] : values)
        if (IsParameter(property) && IsValid(property, value))
            text += (text.empty() ? "" : " ") + std::string(dvb_cmd_name(int(property))) + "=" +
                    dvb_attr_names(int(property))[value];
    return text;
}
