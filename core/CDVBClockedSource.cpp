#include "core/CDVBClockedSource.h"

// Defined here so that the class's type information lives in the library, where plug-ins
// and hosts meet it.
CDVBClockedSource::~CDVBClockedSource() = default;
