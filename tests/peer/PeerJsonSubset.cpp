// PeerJsonSubset: checks that every value in EXPECTED.json is also in ACTUAL.json.
//
// Usage: PeerJsonSubset EXPECTED.json ACTUAL.json [KEY...]
//   Objects: each key of EXPECTED must be in ACTUAL with a matching value (extra keys in ACTUAL
//   are fine). Arrays: same length, elements matched in order. Numbers, strings, booleans, null:
//   equal. With KEYs, only those top-level keys of EXPECTED are compared; a KEY written "?name"
//   is compared only when EXPECTED has it (for tables that only some writer reports carry).
// Used to compare SIStreamWriter's report (what was written) with DvbpsiDump's output (what
// libdvbpsi read back). Prints every mismatch with its JSON path; exit status 1 if any.

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using nlohmann::json;

namespace
{

void Compare(const json& expected, const json& actual, const std::string& path, std::vector<std::string>& out)
{
    if (out.size() >= 50)
        return;
    if (expected.is_object())
    {
        if (!actual.is_object())
        {
            out.push_back(path + ": expected an object, found " + actual.dump());
            return;
        }
        for (auto it = expected.begin(); it != expected.end(); ++it)
        {
            auto found = actual.find(it.key());
            if (found == actual.end())
                out.push_back(path + "." + it.key() + ": missing");
            else
                Compare(it.value(), *found, path + "." + it.key(), out);
        }
        return;
    }
    if (expected.is_array())
    {
        if (!actual.is_array())
        {
            out.push_back(path + ": expected an array, found " + actual.dump());
            return;
        }
        if (expected.size() != actual.size())
            out.push_back(path + ": expected " + std::to_string(expected.size()) + " elements, found " +
                          std::to_string(actual.size()));
        for (std::size_t i = 0; i < expected.size() && i < actual.size(); ++i)
            Compare(expected[i], actual[i], path + "[" + std::to_string(i) + "]", out);
        return;
    }
    // Numbers compare by value so that 1 and 1u (or 1.0) agree.
    const bool equal = (expected.is_number() && actual.is_number()) ? expected.get<double>() == actual.get<double>()
                                                                     : expected == actual;
    if (!equal)
        out.push_back(path + ": expected " + expected.dump() + ", found " + actual.dump());
}

bool Load(const char* path, json& out)
{
    std::ifstream stream(path);
    if (!stream)
    {
        std::fprintf(stderr, "PeerJsonSubset: cannot open %s\n", path);
        return false;
    }
    out = json::parse(stream, nullptr, false);
    if (out.is_discarded())
    {
        std::fprintf(stderr, "PeerJsonSubset: %s is not valid JSON\n", path);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: PeerJsonSubset EXPECTED.json ACTUAL.json [KEY...]\n");
        return 2;
    }
    json expected, actual;
    if (!Load(argv[1], expected) || !Load(argv[2], actual))
        return 2;
    if (argc > 3)
    {
        json selected = json::object();
        for (int i = 3; i < argc; ++i)
        {
            const bool optional = argv[i][0] == '?';
            const std::string key = optional ? argv[i] + 1 : argv[i];
            if (!expected.contains(key))
            {
                if (optional)
                    continue;
                std::fprintf(stderr, "PeerJsonSubset: %s has no key %s\n", argv[1], key.c_str());
                return 2;
            }
            selected[key] = expected.at(key);
        }
        expected = selected;
    }
    std::vector<std::string> mismatches;
    Compare(expected, actual, "$", mismatches);
    for (const std::string& m : mismatches)
        std::fprintf(stderr, "PeerJsonSubset: %s\n", m.c_str());
    if (!mismatches.empty())
    {
        std::fprintf(stderr, "PeerJsonSubset: %s does not match %s\n", argv[2], argv[1]);
        return 1;
    }
    return 0;
}
