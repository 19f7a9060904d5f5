#include "CDesktopLanguages.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

// ISO 639-1 to the ISO 639-2 code broadcasts use: Europe's languages and the world's widest spoken
const char* const kCodes[][2] = {
    {"ar", "ara"}, {"bg", "bul"}, {"bs", "bos"}, {"ca", "cat"}, {"cs", "ces"}, {"cy", "cym"}, {"da", "dan"},
    {"de", "deu"}, {"el", "ell"}, {"en", "eng"}, {"es", "spa"}, {"et", "est"}, {"eu", "eus"}, {"fa", "fas"},
    {"fi", "fin"}, {"fr", "fra"}, {"ga", "gle"}, {"gd", "gla"}, {"gl", "glg"}, {"he", "heb"}, {"hi", "hin"},
    {"hr", "hrv"}, {"hu", "hun"}, {"is", "isl"}, {"it", "ita"}, {"ja", "jpn"}, {"ko", "kor"}, {"lb", "ltz"},
    {"lt", "lit"}, {"lv", "lav"}, {"mk", "mkd"}, {"mt", "mlt"}, {"nb", "nor"}, {"nl", "nld"}, {"nn", "nor"},
    {"no", "nor"}, {"pl", "pol"}, {"pt", "por"}, {"ro", "ron"}, {"ru", "rus"}, {"sk", "slk"}, {"sl", "slv"},
    {"sq", "sqi"}, {"sr", "srp"}, {"sv", "swe"}, {"tr", "tur"}, {"uk", "ukr"}, {"zh", "zho"},
};

}  // namespace

std::string CDesktopLanguages::ToIso6392(const std::string& code)
{
    std::string lower;
    for (const char c : code)
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    if (lower.size() == 3 && std::all_of(lower.begin(), lower.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
        return lower;
    for (const auto& pair : kCodes)
        if (lower == pair[0])
            return pair[1];
    return std::string();
}

std::vector<std::string> CDesktopLanguages::Parse(const std::string& language, const std::string& locale)
{
    std::vector<std::string> codes;
    const auto add = [&codes](const std::string& name) {
        // "de_AT.UTF-8@euro": the language is before the territory, the code set and the modifier
        const std::string code = ToIso6392(name.substr(0, name.find_first_of("_.@")));
        if (!code.empty() && std::find(codes.begin(), codes.end(), code) == codes.end())
            codes.push_back(code);
    };
    // gettext reads LANGUAGE only where a locale is set
    if (!locale.empty() && locale != "C" && locale != "POSIX")
        for (std::size_t from = 0; from <= language.size();) {
            const std::size_t to = std::min(language.find(':', from), language.size());
            add(language.substr(from, to - from));
            from = to + 1;
        }
    if (locale != "C" && locale != "POSIX")
        add(locale);
    return codes;
}

std::vector<std::string> CDesktopLanguages::Get()
{
    const auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (locale.empty())
            locale = variable(name);
    return Parse(variable("LANGUAGE"), locale);
}
