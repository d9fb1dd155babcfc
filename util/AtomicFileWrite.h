#pragma once

#include <cstddef>
#include <string>

// Writes `size` bytes to a fresh file beside `path` and moves it over `path`
// in one step, so readers (and other writers) only ever see the old file or
// the whole new one. On failure the old file is untouched and the fresh one
// is removed. The folder must exist.
bool WriteFileAtomically(const std::wstring& path, const void* data, size_t size);
