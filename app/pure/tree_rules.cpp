#include "app/pure/tree_rules.h"

int ParentStateAfterUncheck(const int* childStates, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (childStates[i] != kCheckUnchecked)
            return kCheckPartial;
    return kCheckUnchecked;
}

int ParentStateAfterCheck(const int* childStates, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (childStates[i] == kCheckUnchecked || childStates[i] == kCheckPartial)
            return kCheckPartial;
    return kCheckChecked;
}

uint32_t PaintedTextColour(uint32_t entryColour, uint32_t windowText)
{
    if (entryColour == kFoundGreen && windowText != kFoundGreen)
        return kFoundGreen;
    return windowText;
}
