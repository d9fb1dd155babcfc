#pragma once

#include <windows.h>

#include <string>

// Creates `path` and every missing folder above it, walking down from the
// drive. Returns S_OK (0) when the folder exists afterwards, E_INVALIDARG for
// an empty path or one starting with "\" (UNC paths are refused), and
// otherwise the first failing level's Win32 error as an HRESULT; the levels
// made before that failure stay.
HRESULT CreateDirectoryTree(const std::wstring& path);

// The same for a folder of the program's own files, which lies on a network
// share when the program is run from one: a path "\\server\share\..." is
// created from below its share, since neither the server nor the share can
// be made.
HRESULT CreateFolderOnDriveOrShare(const std::wstring& path);

// `path` itself when it is an existing folder, else the nearest folder above
// it that exists (ending in "\"); empty when none does.
std::wstring NearestExistingFolder(std::wstring path);
