#include "model/CDVBComponentDefinitionList.h"

void CDVBComponentDefinitionList::AddCopy(CDVBComponentDefinition* definition)
{
    push_back(new CDVBComponentDefinition(definition));
}

bool CDVBComponentDefinitionList::ContainsComponentWithDescription(const CString& description) const
{
    for (const CDVBComponentDefinition* definition : *this)
        if (definition->m_description == description)
            return true;
    return false;
}
