#pragma once

#include "ControlUI.h"

#include <vector>

namespace uitk {

// The one-dimensional layout both stacking containers share: children with
// a fixed extent along the axis keep it, the others share what is left
// equally (within their maximum), hidden and floating children take no room.
// Across the axis a child fills the container unless it has its own size.
struct StackAxis {
    bool vertical = true;
};

void StackItems(const std::vector<CControlUI*>& items, const RECT& rc, StackAxis axis);

} // namespace uitk
