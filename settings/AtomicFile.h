#pragma once

#include <string>

// Moves the finished temporary file over the target; false when it did not.
using FileReplacer = bool (*)(const std::wstring& temporary, const std::wstring& target);

// Replaces the target with the flushed temporary file in one step that
// survives a crash or power loss.
bool ReplaceByMove(const std::wstring& temporary, const std::wstring& target);

// Writes `bytes` as the whole new content of `path` without ever leaving a
// half-written file behind: the text goes to a temporary file in the same
// folder, which then replaces the old file. When any step fails the old file
// is left as it was, the temporary file is removed and false is returned.
bool WriteFileAtomically(const std::wstring& path, const std::string& bytes,
                         FileReplacer replace = &ReplaceByMove);
