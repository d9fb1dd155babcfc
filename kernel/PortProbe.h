#pragma once

#include <cstdint>

namespace kernel {

// The first port from `first` to `last` (counting on past 65535 to 0 when
// the range wraps) on which TCP and UDP can both listen; `first` when none
// can, so the session reports the failure itself.
uint16_t FirstFreePort(uint16_t first, uint16_t last);

} // namespace kernel
