#include "workflow/DirectoryTree.h"

namespace {

// A level that exists already, as a folder or a file, counts as created; a
// file in the way shows up as the next level's failure.
DWORD CreateLevel(const std::wstring& level)
{
    if (::CreateDirectoryW(level.c_str(), nullptr))
        return ERROR_SUCCESS;
    const DWORD error = ::GetLastError();
    return error == ERROR_ALREADY_EXISTS ? ERROR_SUCCESS : error;
}

// The end of the level that starts being created at `from`: the next
// separator, skipping the one of a drive root so "D:\" is never a level of
// its own; npos when the level is the whole path.
size_t LevelEnd(const std::wstring& path, size_t from)
{
    size_t end = path.find(L'\\', from);
    if (end != std::wstring::npos && end > 0 && path[end - 1] == L':')
        end = path.find(L'\\', end + 1);
    return end;
}

} // namespace

HRESULT CreateDirectoryTree(const std::wstring& path)
{
    if (path.empty() || path[0] == L'\\')
        return E_INVALIDARG;

    DWORD error = CreateLevel(path);
    if (error != ERROR_PATH_NOT_FOUND)
        return HRESULT_FROM_WIN32(error);

    for (size_t position = 0;;) {
        const size_t end = LevelEnd(path, position);
        const bool whole = end == std::wstring::npos;
        error = CreateLevel(whole ? path : path.substr(0, end));
        if (error != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(error);
        if (whole)
            return S_OK;
        position = end + 1;
    }
}
