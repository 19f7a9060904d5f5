#pragma once
// A device whose read does not come back until the source is taken down: a receiver over
// it cannot stop.
#include "tests/support/CScriptedSource.h"

struct CHangingSource : CScriptedSource
{
    CHangingSource() { m_release.Reset(); }
    // The abandoned thread still runs here and records its own calls: nothing is recorded.
    bool DeInitialise() override
    {
        m_release.Set();
        return true;
    }
};
