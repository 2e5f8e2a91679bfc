#include "app/pure/tree_rules.h"

int ParentStateAfterUncheck(const int* childStates, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (childStates[i] != kCheckUnchecked)
            return kCheckPartial;
    return kCheckUnchecked;
}

int ParentStateAfterCheck(int parentState, const int* childStates, size_t count)
{
    bool anyTicked = false, allTicked = true;
    for (size_t i = 0; i < count; ++i) {
        const bool ticked = childStates[i] != kCheckUnchecked && childStates[i] != kCheckPartial;
        anyTicked = anyTicked || childStates[i] != kCheckUnchecked;
        allTicked = allTicked && ticked;
    }
    if (!anyTicked)
        return kCheckUnchecked;
    return allTicked && parentState == kCheckChecked ? kCheckChecked : kCheckPartial;
}

uint32_t PaintedTextColour(uint32_t entryColour, uint32_t windowText)
{
    if (entryColour == kFoundGreen && windowText != kFoundGreen)
        return kFoundGreen;
    return windowText;
}
