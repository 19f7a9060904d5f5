#include "core/CDVBRecordingFilter.h"

// Out of line, so that the class's type information lives in the library.
CDVBRecordingFilter::~CDVBRecordingFilter() = default;
