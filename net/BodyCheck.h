#pragma once

#include <cstddef>
#include <functional>

// Whether a fetched body may replace the file it was fetched for. A body
// refused leaves the file as it was and counts as a failed fetch. It runs on
// the fetcher's thread: what it holds must not change while the fetch runs.
using BodyCheck = std::function<bool(const char* data, size_t size)>;
