#pragma once
// Component definitions in insertion order; the list owns them.
#include "core/CDVBOwningList.h"
#include "model/CDVBComponentDefinition.h"

class CDVBComponentDefinitionList : public CDVBOwningList<CDVBComponentDefinition>
{
public:
    // Appends a copy; the caller keeps its own object.
    void AddCopy(CDVBComponentDefinition* definition);
    bool ContainsComponentWithDescription(const CString& description) const;
};
