#pragma once

#include "kernel/KernelApi.h"

// The real kernel library, started once for the whole test program as the
// downloader starts it, and shut down when the program ends.
KernelApi& TheKernel();
