#include "StackLayout.h"

#include <algorithm>

namespace uitk {
namespace {

// The control seen along and across the stacking axis.
struct Extents {
    int fixedAlong, fixedAcross, maxAlong, maxAcross;
    int padBefore, padAfter, padStart, padEnd;
};

Extents ExtentsOf(const CControlUI* item, StackAxis axis)
{
    const RECT& pad = item->GetPadding();
    if (axis.vertical)
        return {item->GetFixedHeight(), item->GetFixedWidth(), item->GetMaxHeight(), item->GetMaxWidth(),
                int(pad.top), int(pad.bottom), int(pad.left), int(pad.right)};
    return {item->GetFixedWidth(), item->GetFixedHeight(), item->GetMaxWidth(), item->GetMaxHeight(),
            int(pad.left), int(pad.right), int(pad.top), int(pad.bottom)};
}

bool Flows(const CControlUI* item) { return item->IsVisible() && !item->IsFloat(); }

int Capped(int value, int maximum) { return maximum > 0 ? std::min(value, maximum) : value; }

} // namespace

void StackItems(const std::vector<CControlUI*>& items, const RECT& rc, StackAxis axis)
{
    int along = axis.vertical ? rc.bottom - rc.top : rc.right - rc.left;
    int across = axis.vertical ? rc.right - rc.left : rc.bottom - rc.top;

    int fixedTotal = 0, flexible = 0;
    for (const CControlUI* item : items) {
        if (!Flows(item))
            continue;
        Extents e = ExtentsOf(item, axis);
        fixedTotal += e.padBefore + e.padAfter + e.fixedAlong;
        if (e.fixedAlong == 0)
            ++flexible;
    }
    int remaining = std::max(0, along - fixedTotal);

    int cursor = axis.vertical ? rc.top : rc.left;
    int start = axis.vertical ? rc.left : rc.top;
    int flexibleSeen = 0;
    for (CControlUI* item : items) {
        if (!Flows(item))
            continue;
        Extents e = ExtentsOf(item, axis);
        int length = e.fixedAlong;
        if (length == 0) {
            // The last flexible child takes the remainder of the division.
            ++flexibleSeen;
            int share = flexibleSeen == flexible ? remaining - remaining / flexible * (flexible - 1)
                                                 : remaining / flexible;
            length = Capped(share, e.maxAlong);
        }
        int width = e.fixedAcross > 0 ? e.fixedAcross
                                      : Capped(std::max(0, across - e.padStart - e.padEnd), e.maxAcross);
        cursor += e.padBefore;
        int a0 = cursor, b0 = start + e.padStart;
        RECT pos = axis.vertical ? RECT{b0, a0, b0 + width, a0 + length} : RECT{a0, b0, a0 + length, b0 + width};
        item->SetPos(pos);
        cursor += length + e.padAfter;
    }
}

} // namespace uitk
