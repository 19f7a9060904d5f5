#pragma once
// A stream analysis as JSON, in the field names of the usual normalized analysis report
// (ts, services, pids, tables, tr101290), or as text for people.
#include "si/CDVBStreamAnalysis.h"

#include <nlohmann/json.hpp>

#include <ostream>

class CAnalysisReport
{
public:
    static nlohmann::json ToJson(const CDVBStreamAnalysis& analysis);
    static void WriteText(std::ostream& out, const CDVBStreamAnalysis& analysis);
};
