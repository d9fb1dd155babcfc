#pragma once

#include <string>

// Writes `bytes` as the whole new content of `path` without ever leaving a
// half-written file behind: the text goes to a temporary file in the same
// folder, is flushed, and then replaces the old file in one step. When any
// step fails the old file is left as it was, the temporary file is removed
// and false is returned.
bool WriteFileAtomically(const std::wstring& path, const std::string& bytes);
