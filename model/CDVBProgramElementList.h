#pragma once
// A program's elements in the order they were first created; the list owns them.
#include "core/CDVBOwningList.h"
#include "model/CDVBProgramElement.h"

class CDVBProgramElementList : public CDVBOwningList<CDVBProgramElement>
{
};
