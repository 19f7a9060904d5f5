#pragma once
// The languages the desktop's user reads, as ISO 639-2 codes in the order preferred: from
// LANGUAGE ("de:en"), else LC_ALL, LC_MESSAGES and LANG ("de_AT.UTF-8"), as gettext reads
// them. "C" and "POSIX" name none.
#include <string>
#include <vector>

class CDesktopLanguages
{
public:
    static std::vector<std::string> Get();
    // What Get reads, given: `language` is LANGUAGE's value, `locale` the first of the others set.
    static std::vector<std::string> Parse(const std::string& language, const std::string& locale);
    // "de" -> "deu"; a three-letter code as it is; empty for what is not known.
    static std::string ToIso6392(const std::string& code);
};
