#pragma once

#include <cstddef>
#include <string>

// Writes `size` bytes to a fresh file beside `path` and moves it over `path`
// in one step, so readers (and other writers) only ever see the old file or
// the whole new one. On failure the old file is untouched and the fresh one
// is removed. A destination that another program holds open for a moment
// (a virus scanner, a reader) is waited for. The folder must exist.
bool WriteFileAtomically(const std::wstring& path, const void* data, size_t size);

// Removes from `folder` the temporary files that writers of another process,
// one that was killed or lost power half-way, left behind. Returns how many.
int RemoveStaleTemporaryFiles(const std::wstring& folder);
