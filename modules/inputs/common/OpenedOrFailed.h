#pragma once
// What an input plug-in's OpenMultiplex ends with, for sources that open themselves
// (Open, GetFailure, GetFailureText): the source when it opened, else null with the
// failure and its reason kept for the host, and the source deleted.
#include "plugins/CLUMInputPluginExtension.h"
#include "platform/CString.h"

template <class Source>
Source* OpenedOrFailed(Source* source, int& failure, CString& failureText)
{
    if (source->Open()) {
        failure = CLUMInputPluginExtension::OpenFailureNone;
        return source;
    }
    failure = source->GetFailure();
    failureText = source->GetFailureText().c_str();
    delete source;
    return nullptr;
}
