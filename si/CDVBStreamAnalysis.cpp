#include "si/CDVBStreamAnalysis.h"

const char* CDVBStreamAnalysis::IndicatorName(int indicator)
{
    static const char* const names[IndicatorCount] = {
        "TS_sync_loss",         "Sync_byte_error",      "PAT_error",
        "Continuity_count_error", "PMT_error",          "PID_error",
        "Transport_error",      "CRC_error",            "PCR_repetition_error",
        "PCR_discontinuity_indicator_error", "PCR_accuracy_error", "PTS_error",
        "CAT_error"};
    return indicator >= 0 && indicator < IndicatorCount ? names[indicator] : "";
}

bool CDVBStreamAnalysis::IsFirstPriorityClean() const
{
    for (int i = 0; i < FirstPriorityCount; ++i)
        if (indicators[i].count != 0)
            return false;
    return true;
}

std::string CDVBStreamAnalysis::FirstPriorityState() const
{
    std::string faults;
    for (int i = 0; i < FirstPriorityCount; ++i)
        if (indicators[i].count != 0)
            faults += (faults.empty() ? "" : ", ") + std::string(IndicatorName(i)) + " " + std::to_string(indicators[i].count);
    return "TR 101 290 first priority: " + (faults.empty() ? std::string("clean") : faults);
}
