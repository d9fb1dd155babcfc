#pragma once

#include <cstddef>

// Whether a fetched body may replace the file it was fetched for. A body
// refused leaves the file as it was and counts as a failed fetch.
using BodyCheck = bool (*)(const char* data, size_t size);
